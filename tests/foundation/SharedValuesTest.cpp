#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "foundation/TMemoryRegistry.h"
#include "foundation/TShared.h"
#include "foundation/TTView.h"

namespace {

using TLog = std::vector<std::string>;

// An observer that writes its tag into a shared log whenever it is told.
struct TObserver : TBase {
  TObserver(const char* observerTag, TLog& sharedLog) : tag(observerTag), log(sharedLog) {}
  void OnChange(TShared*) { log.push_back(tag); }
  std::string tag;
  TLog& log;
};

// A receiver whose handler lives in a virtual base reached over two paths.
struct TDiamondRoot : virtual TBase {
  explicit TDiamondRoot(TLog* sharedLog) : log(sharedLog) {}
  void OnChange(TShared* source) { log->push_back(tag + ":" + std::string(std::string_view(source->GetName()))); }
  TLog* log;
  std::string tag = "root";
};
struct TDiamondLeft : virtual TDiamondRoot {
  TDiamondLeft() : TDiamondRoot(nullptr) {}
  int left = 1;
};
struct TDiamondRight : virtual TDiamondRoot {
  TDiamondRight() : TDiamondRoot(nullptr) {}
  int right = 2;
};
struct TDiamond : TDiamondLeft, TDiamondRight {
  explicit TDiamond(TLog* sharedLog) : TDiamondRoot(sharedLog) { tag = "diamond"; }
};

// A byte stream in memory.
class TStringStream : public TBase, public TInOut {
public:
  int64_t Tell() override { return position; }
  void Seek(int64_t to) override { position = static_cast<size_t>(to); }
  TStr GetStreamName() const override { return "memory"; }
  std::string bytes;

protected:
  int64_t DeviceRead(void* buffer, int64_t count) override {
    const size_t n = std::min(static_cast<size_t>(count), bytes.size() - std::min(position, bytes.size()));
    std::memcpy(buffer, bytes.data() + position, n);
    position += n;
    return static_cast<int64_t>(n);
  }
  int64_t DeviceWrite(const void* buffer, int64_t count) override {
    bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    return count;
  }

private:
  size_t position = 0;
};

// Settings in memory under the product key, for the duration of a test.
class TMemorySettings {
public:
  TMemorySettings() : previous(SetRegistryBackend(&memory)) { IRegistry::Open("Thudra"); }
  ~TMemorySettings() { SetRegistryBackend(previous); }
  TMemoryRegistry::TValues& Values() { return memory.Values("Software\\Velmora\\Thudra"); }
  uint32_t Dword(const std::string& name) {
    uint32_t value = 0;
    std::memcpy(&value, Values().at(name).data.data(), sizeof value);
    return value;
  }

private:
  TMemoryRegistry memory;
  IRegistryBackend* previous;
};

// ---- Notification ------------------------------------------------------------

TEST(SharedValues, NotifiesInRegistrationOrderAndSkipsTheSender) {
  TLog log;
  TObserver x("X", log), y("Y", log), z("Z", log);
  TSharedCnt value("Volume", 0, 10);
  value.AddObserver(&x, &TObserver::OnChange, "", false);
  value.AddObserver(&y, &TObserver::OnChange, "", false);
  value.AddObserver(&z, &TObserver::OnChange, "", false);

  value.Set(5, &x);
  EXPECT_EQ(log, (TLog{"Y", "Z"}));
  log.clear();
  value.Set(5, nullptr);  // the same value again still notifies
  EXPECT_EQ(log, (TLog{"X", "Y", "Z"}));
  EXPECT_EQ(value.Get(), 5);
}

TEST(SharedValues, NotifyNowCallsTheNewObserverOnceAndShowsTheCurrentSlot) {
  TLog log;
  TObserver now("now", log), later("later", log);
  TSharedReal value("Rate");
  value.AddObserver(&later, &TObserver::OnChange, "", false);
  EXPECT_TRUE(log.empty());

  TNotified::TSlot* seen = nullptr;
  struct TWatcher : TBase {
    TSharedReal* value;
    TNotified::TSlot** seen;
    void OnChange(TShared* source) { *seen = source->GetCurrent(); }
  } watcher;
  watcher.value = &value;
  watcher.seen = &seen;
  TNotified::TSlot* slot = value.AddObserver(&watcher, &TWatcher::OnChange, "", true);
  EXPECT_EQ(seen, slot);
  EXPECT_EQ(value.GetCurrent(), nullptr);
  EXPECT_TRUE(log.empty());

  value.AddObserver(&now, &TObserver::OnChange, "", true);
  EXPECT_EQ(log, (TLog{"now"}));
}

TEST(SharedValues, HandlersOfReceiversWithVirtualBasesGetTheirOwnObject) {
  TLog log;
  TDiamond diamond(&log);
  TSharedBoolean value("Loop");
  value.AddObserver(&diamond, &TDiamondRoot::OnChange, "", false);
  value.Toggle(nullptr);
  EXPECT_EQ(log, (TLog{"diamond:Loop"}));
  // The sender test compares the one IBase part, whichever interface names it.
  value.Toggle(static_cast<TDiamondRight*>(&diamond));
  EXPECT_EQ(log.size(), 1u);
}

TEST(SharedValues, RemoveObserverEndsTheFirstRegistrationOnly) {
  TLog log;
  TObserver x("X", log), y("Y", log);
  TSharedCnt value("Count");
  value.AddObserver(&x, &TObserver::OnChange, "", false);
  value.AddObserver(&y, &TObserver::OnChange, "", false);
  value.AddObserver(&x, &TObserver::OnChange, "", false);
  value.RemoveObserver(&x);
  value.RemoveObserver(nullptr);  // nobody registered as null: nothing happens
  value.Set(1, nullptr);
  EXPECT_EQ(log, (TLog{"Y", "X"}));
  EXPECT_EQ(value.GetObserverCount(), 2);
}

TEST(SharedValues, ObserversMayLeaveWhileTheValueNotifies) {
  TLog log;
  TSharedCnt value("Count");
  struct TLeaver : TBase {
    TSharedCnt* value;
    TLog* log;
    const IBase* alsoRemove = nullptr;
    void OnChange(TShared*) {
      log->push_back("leaver");
      value->RemoveObserver(this);
      if (alsoRemove) value->RemoveObserver(alsoRemove);
    }
  } leaver;
  TObserver after("after", log), last("last", log);
  leaver.value = &value;
  leaver.log = &log;
  leaver.alsoRemove = &after;
  value.AddObserver(&leaver, &TLeaver::OnChange, "", false);
  value.AddObserver(&after, &TObserver::OnChange, "", false);
  value.AddObserver(&last, &TObserver::OnChange, "", false);

  value.Set(1, nullptr);
  EXPECT_EQ(log, (TLog{"leaver", "last"}));
  EXPECT_EQ(value.GetObserverCount(), 1);
  log.clear();
  value.Set(2, nullptr);
  EXPECT_EQ(log, (TLog{"last"}));
}

TEST(SharedValues, HandlersSettingOtherValuesRunDepthFirst) {
  TLog log;
  TSharedCnt first("First"), second("Second");
  struct TChain : TBase {
    TSharedCnt* next;
    TLog* log;
    void OnFirst(TShared*) {
      log->push_back("first");
      next->Set(7, this);
    }
  } chain;
  chain.next = &second;
  chain.log = &log;
  TObserver onSecond("second", log), afterFirst("after first", log);
  first.AddObserver(&chain, &TChain::OnFirst, "", false);
  first.AddObserver(&afterFirst, &TObserver::OnChange, "", false);
  second.AddObserver(&onSecond, &TObserver::OnChange, "", false);
  first.Set(1, nullptr);
  EXPECT_EQ(log, (TLog{"first", "second", "after first"}));
}

TEST(SharedValues, DestroyingAValueReleasesItsSlots) {
  int released = 0;
  struct TCountedSlot : TNotified::TSlot {
    explicit TCountedSlot(int* counter) : TSlot("", nullptr, {}), count(counter) {}
    ~TCountedSlot() override { ++*count; }
    int* count;
  };
  {
    TSharedStr value("Name");
    value.AddObserver(new TCountedSlot(&released), false);
    value.AddObserver(new TCountedSlot(&released), true);  // a slot without handler is harmless
  }
  EXPECT_EQ(released, 2);
}

// ---- Values and ranges -------------------------------------------------------

TEST(SharedValues, CounterRangeIsTestedButNotEnforced) {
  TSharedCnt value("Voices", 0, 10);
  EXPECT_TRUE(value.IsInRange(0));
  EXPECT_TRUE(value.IsInRange(10));
  EXPECT_FALSE(value.IsInRange(11));
  EXPECT_FALSE(value.IsInRange(-1));
  value.Set(11, nullptr);
  EXPECT_EQ(value.Get(), 11);
}

TEST(SharedValues, RangeMessagesNameTheValueAsTheReceiverKnowsIt) {
  TLog log;
  TObserver named("named", log), unnamed("unnamed", log), stranger("stranger", log);
  TSharedCnt counter("Voices", 0, 10);
  counter.AddObserver(&named, &TObserver::OnChange, "Polyphony", false);
  counter.AddObserver(&unnamed, &TObserver::OnChange, "", false);
  EXPECT_EQ(std::string(counter.GetRangeMessage(&named).GetText()),
            "The value of 'Polyphony' must be between 0 and 10.");
  EXPECT_EQ(std::string(counter.GetRangeMessage(&unnamed).GetText()),
            "The value of 'Voices' must be between 0 and 10.");
  EXPECT_EQ(std::string(counter.GetRangeMessage(&stranger).GetText()),
            "The value of 'Voices' must be between 0 and 10.");

  TSharedReal real("Rate", 0.5f, 2.0f);
  TParamStr& message = real.GetRangeMessage(nullptr);
  EXPECT_EQ(std::string(message.GetTemplate()), "The value of '$1' must be between $2 and $3.");
  EXPECT_EQ(std::string(message.GetParam(2)), "0.5");
  EXPECT_EQ(std::string(message.GetParam(3)), "2");
  EXPECT_EQ(std::string(message.GetText()), "The value of 'Rate' must be between 0.5 and 2.");
  EXPECT_TRUE(real.IsInRange(0.5f));
  EXPECT_TRUE(real.IsInRange(2.0f));
  EXPECT_FALSE(real.IsInRange(2.01f));
  EXPECT_FALSE(real.IsInRange(std::bit_cast<float>(0x7FC00000u)));  // NaN

  TSharedCnt wide("Offset", -100000, 2000000);
  EXPECT_EQ(std::string(wide.GetRangeMessage(nullptr).GetText()),
            "The value of 'Offset' must be between -100000 and 2000000.");
  TSharedPnt point("Pos");
  TSharedArea area("Window");
  EXPECT_TRUE(point.IsInRange({-5, 1 << 30}));
  EXPECT_TRUE(area.IsInRange({10, 10, -10, -10}));
}

TEST(SharedValues, ToggleTwiceRestoresAndNotifiesTwice) {
  TLog log;
  TObserver x("X", log);
  TSharedBoolean value("Through");
  value.AddObserver(&x, &TObserver::OnChange, "", false);
  value.Toggle(nullptr);
  EXPECT_EQ(value.Get(), 1);
  value.Toggle(nullptr);
  EXPECT_EQ(value.Get(), 0);
  EXPECT_EQ(log.size(), 2u);
  value.Set(5, nullptr);  // stored as given; a toggle of anything but 0 gives 0
  value.Toggle(nullptr);
  EXPECT_EQ(value.Get(), 0);
}

TEST(SharedValues, LoadAndSaveUseTheStoreUnderTheirOwnName) {
  TMemorySettings settings;
  TLog log;
  TObserver x("X", log);
  TSharedCnt count("UndoMax", 0, 100);
  count.AddObserver(&x, &TObserver::OnChange, "", false);
  count.Load(20);  // nothing stored: the default, and everybody is told
  EXPECT_EQ(count.Get(), 20);
  EXPECT_EQ(log, (TLog{"X"}));
  count.Set(-3, nullptr);
  count.Save();
  EXPECT_EQ(settings.Dword("UndoMax"), 0xFFFFFFFDu);

  TSharedReal rate("RateFactor");
  rate.Set(0.5f, nullptr);
  rate.Save();
  EXPECT_EQ(settings.Values().at("RateFactor").kind, RegistryDword);
  EXPECT_EQ(settings.Dword("RateFactor"), 0x3F000000u);

  TSharedBoolean flag("UndoEnabled");
  flag.Set(1, nullptr);
  flag.Save();
  TSharedStr text("Kit");
  text.Set("Rock Kit", nullptr);
  text.Save();
  EXPECT_EQ(settings.Values().at("Kit").data, std::string("Rock Kit", 9));
  TSharedPnt pos("Pos");
  pos.Set({-4, 9}, nullptr);
  pos.Save();
  EXPECT_EQ(settings.Dword("PosX"), 0xFFFFFFFCu);
  EXPECT_EQ(settings.Dword("PosY"), 9u);
  TSharedArea window("Wnd");
  window.Set({1, 2, 3, 4}, nullptr);
  window.Save();
  EXPECT_EQ(settings.Dword("WndX0"), 1u);
  EXPECT_EQ(settings.Dword("WndY0"), 2u);
  EXPECT_EQ(settings.Dword("WndX1"), 3u);
  EXPECT_EQ(settings.Dword("WndY1"), 4u);

  TSharedCnt count2("UndoMax", 0, 100);
  count2.Load(20);
  EXPECT_EQ(count2.Get(), -3);
  TSharedReal rate2("RateFactor");
  rate2.Load(1.0f);
  EXPECT_EQ(rate2.Get(), 0.5f);
  TSharedBoolean flag2("UndoEnabled");
  flag2.Load(0);
  EXPECT_EQ(flag2.Get(), 1);
  TSharedStr text2("Kit");
  text2.Load("none");
  EXPECT_EQ(std::string(text2.Get()), "Rock Kit");
  TSharedPnt pos2("Pos");
  pos2.Load({});
  EXPECT_EQ(pos2.Get(), (TPnt{-4, 9}));
  TSharedArea window2("Wnd");
  window2.Load({});
  EXPECT_EQ(window2.Get(), (TArea{1, 2, 3, 4}));
  TSharedReal missing("NotThere");
  missing.Load(44100.0f);
  EXPECT_EQ(missing.Get(), 44100.0f);
}

TEST(SharedValues, StreamsRoundTripEveryKindAndNotify) {
  TStringStream stream;
  stream.SetByteOrder(BigEndian);
  TSharedCnt count("Count");
  TSharedReal real("Real");
  TSharedBoolean flag("Flag");
  TSharedStr text("Text");
  TSharedPnt point("Point");
  TSharedArea area("Area");
  count.Set(-7, nullptr);
  real.Set(1.5f, nullptr);
  flag.Set(1, nullptr);
  text.Set("a\nb", nullptr);
  point.Set({3, -4}, nullptr);
  area.Set({1, 2, 3, 4}, nullptr);
  count.Write(stream);
  real.Write(stream);
  flag.Write(stream);
  text.Write(stream);
  point.Write(stream);
  area.Write(stream);
  EXPECT_EQ(stream.bytes.substr(0, 4), std::string("\xFF\xFF\xFF\xF9", 4));

  TLog log;
  TObserver x("X", log);
  TSharedCnt count2("Count");
  TSharedReal real2("Real");
  TSharedBoolean flag2("Flag");
  TSharedStr text2("Text");
  TSharedPnt point2("Point");
  TSharedArea area2("Area");
  count2.AddObserver(&x, &TObserver::OnChange, "", false);
  area2.AddObserver(&x, &TObserver::OnChange, "", false);
  stream.Seek(0);
  count2.Read(stream);
  real2.Read(stream);
  flag2.Read(stream);
  text2.Read(stream);
  point2.Read(stream);
  area2.Read(stream);
  EXPECT_EQ(count2.Get(), -7);
  EXPECT_EQ(real2.Get(), 1.5f);
  EXPECT_EQ(flag2.Get(), 1);
  EXPECT_EQ(std::string(text2.Get()), "a\nb");
  EXPECT_EQ(point2.Get(), (TPnt{3, -4}));
  EXPECT_EQ(area2.Get(), (TArea{1, 2, 3, 4}));
  EXPECT_EQ(log.size(), 2u);

  // A stream that ends early raises the file error and leaves the value as it was.
  TSharedArea area3("Area");
  area3.Set({9, 9, 9, 9}, nullptr);
  stream.Seek(static_cast<int64_t>(stream.bytes.size()) - 4);
  EXPECT_THROW(area3.Read(stream), EError);
  EXPECT_EQ(area3.Get(), (TArea{9, 9, 9, 9}));
  ClearPendingError();
}

// ---- Views -------------------------------------------------------------------

class TTestView : public TTView {
public:
  explicit TTestView(const char* viewName = "view") : TTView(viewName) {}
  void OnValue(TShared* source) {
    log.push_back(std::string(std::string_view(source->GetName())));
    slotDuringHandler = dynamic_cast<TViewSlot*>(source->GetCurrent());
    if (auto* cnt = dynamic_cast<TCntViewSlot*>(slotDuringHandler)) cachedDuringHandler = cnt->GetCached();
  }
  void Redraw(const TArea& area) override { redrawn.push_back(area); }
  int32_t RunSave() { return ++saves; }
  int32_t CanSave() { return 1; }

  TLog log;
  std::vector<TArea> redrawn;
  TViewSlot* slotDuringHandler = nullptr;
  int32_t cachedDuringHandler = -1;
  int32_t saves = 0;
};

TEST(Views, BindMakesTheMostSpecificSlot) {
  TTestView view;
  TSharedBoolean flag("Flag");
  TSharedStr text("Text");
  TSharedCnt count("Count");
  TSharedReal real("Real");
  TSharedPnt point("Point");
  TTestView other("other");  // a view is itself a shared value
  EXPECT_NE(dynamic_cast<TTView::TBooleanViewSlot*>(view.Bind(&flag, &view, &TTestView::OnValue, "", false)), nullptr);
  EXPECT_NE(dynamic_cast<TTView::TStrViewSlot*>(view.Bind(&text, &view, &TTestView::OnValue, "", false)), nullptr);
  EXPECT_NE(dynamic_cast<TTView::TCntViewSlot*>(view.Bind(&count, &view, &TTestView::OnValue, "", false)), nullptr);
  EXPECT_NE(dynamic_cast<TTView::TRealViewSlot*>(view.Bind(&real, &view, &TTestView::OnValue, "", false)), nullptr);
  TTView::TViewSlot* plain = view.Bind(&point, &view, &TTestView::OnValue, "", false);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(dynamic_cast<TTView::TCntViewSlot*>(plain), nullptr);
  EXPECT_EQ(dynamic_cast<TTView::TBooleanViewSlot*>(plain), nullptr);
  EXPECT_EQ(dynamic_cast<TTView::TStrViewSlot*>(plain), nullptr);
  EXPECT_EQ(dynamic_cast<TTView::TRealViewSlot*>(plain), nullptr);
  EXPECT_NE(view.Bind(&other, &view, &TTestView::OnValue, "", false), nullptr);
}

TEST(Views, TheCacheHoldsThePreviousValueDuringTheHandler) {
  TTestView view;
  TSharedCnt count("Count");
  count.Set(3, nullptr);
  auto* slot = dynamic_cast<TTView::TCntViewSlot*>(view.Bind(&count, &view, &TTestView::OnValue, "Voices", true));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(view.cachedDuringHandler, 0);  // first call: nothing cached yet
  EXPECT_EQ(slot->GetCached(), 3);
  count.Set(8, nullptr);
  EXPECT_EQ(view.slotDuringHandler, slot);
  EXPECT_EQ(view.cachedDuringHandler, 3);
  EXPECT_EQ(slot->GetCached(), 8);
  EXPECT_EQ(std::string(count.GetNameFor(&view)), "Voices");

  TSharedStr text("Text");
  TSharedReal real("Real");
  TSharedBoolean flag("Flag");
  auto* textSlot = dynamic_cast<TTView::TStrViewSlot*>(view.Bind(&text, &view, &TTestView::OnValue, "", false));
  auto* realSlot = dynamic_cast<TTView::TRealViewSlot*>(view.Bind(&real, &view, &TTestView::OnValue, "", false));
  auto* flagSlot = dynamic_cast<TTView::TBooleanViewSlot*>(view.Bind(&flag, &view, &TTestView::OnValue, "", false));
  text.Set("kick", nullptr);
  real.Set(0.25f, nullptr);
  flag.Set(1, nullptr);
  EXPECT_EQ(std::string(textSlot->GetCached()), "kick");
  EXPECT_EQ(realSlot->GetCached(), 0.25f);
  EXPECT_TRUE(flagSlot->GetCached());
}

TEST(Views, AnAreaBindingRedrawsInsteadOfCallingAHandler) {
  TTestView view;
  TTestView controller("controller");
  TSharedCnt count("Count");
  const TArea meter{10, 20, 110, 40};
  auto* slot = dynamic_cast<TTView::TCntViewSlot*>(view.Bind(&count, meter, "", false));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->GetReceiver(), static_cast<IBase*>(&view));
  count.Set(4, &controller);
  EXPECT_EQ(view.redrawn, (std::vector<TArea>{meter}));
  EXPECT_TRUE(view.log.empty());
  EXPECT_EQ(slot->GetCached(), 4);
  count.Set(5, &view);  // the view's own change does not come back to it
  EXPECT_EQ(view.redrawn.size(), 1u);
}

TEST(Views, CommandsAreFoundInTheViewThenInItsChildrenDepthFirst) {
  TTestView root("root"), first("first"), grandchild("grandchild"), second("second");
  root.AddChild(&first);
  root.AddChild(&second);
  first.AddChild(&grandchild);

  root.AddCommand(1010, 1, 2, 3, &root, &TTestView::RunSave, &TTestView::CanSave);
  first.AddCommand(1010, 0, 0, 0, &first, &TTestView::RunSave, &TTestView::CanSave);
  grandchild.AddCommand(1200, 0, 0, 0, &grandchild, &TTestView::RunSave);
  second.AddCommand(1200, 0, 0, 0, &second, &TTestView::RunSave, &TTestView::CanSave);
  second.AddCommand(1300, 0, 0, 0);

  TTView* holder = nullptr;
  TTView::TCmd* command = root.FindCommand(1010, &holder);
  ASSERT_NE(command, nullptr);
  EXPECT_EQ(holder, &root);
  EXPECT_EQ(command->GetWord(1), 1);
  EXPECT_EQ(command->GetWord(3), 3);
  EXPECT_EQ(root.ExecuteCommand(1010), 1);
  EXPECT_EQ(root.saves, 1);
  EXPECT_EQ(first.saves, 0);

  root.FindCommand(1200, &holder);
  EXPECT_EQ(holder, &grandchild);
  EXPECT_EQ(root.ExecuteCommand(1200), 1);
  EXPECT_EQ(grandchild.saves, 1);
  EXPECT_EQ(root.QueryCommand(1200), 0);  // the grandchild's command has no query

  EXPECT_EQ(root.ExecuteCommand(1300), 1);  // no handler
  EXPECT_EQ(root.QueryCommand(1300), 0);
  EXPECT_EQ(root.ExecuteCommand(4242), 0);  // nobody has it
  EXPECT_EQ(root.QueryCommand(4242), 0);
  EXPECT_EQ(root.QueryCommand(1010), 1);
  EXPECT_EQ(second.QueryCommand(1200), 1);  // a child searches only below itself
  EXPECT_EQ(grandchild.ExecuteCommand(1010), 0);
}

TEST(Views, ChildrenLeaveTheTreeWhenEitherSideIsDestroyed) {
  TTestView root("root");
  auto* child = new TTestView("child");
  root.AddChild(child);
  child->AddCommand(7, 0, 0, 0, [] { return 42; });
  EXPECT_EQ(root.ExecuteCommand(7), 42);
  child->Release();
  EXPECT_TRUE(root.GetChildren().IsEmpty());
  EXPECT_EQ(root.ExecuteCommand(7), 0);

  TTestView orphan("orphan");
  {
    TTestView parent("parent");
    parent.AddChild(&orphan);
    EXPECT_EQ(orphan.GetParent(), &parent);
    parent.AddChild(&parent);  // a cycle is refused
    orphan.AddChild(&parent);
    EXPECT_EQ(parent.GetParent(), nullptr);
  }
  EXPECT_EQ(orphan.GetParent(), nullptr);
}

}  // namespace
