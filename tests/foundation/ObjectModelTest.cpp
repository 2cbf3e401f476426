#include <gtest/gtest.h>

#include <cstring>

#include "foundation/ConsolePresenter.h"
#include "foundation/Messages.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TList.h"
#include "foundation/TParamStr.h"
#include "foundation/TStr.h"

namespace {

struct TNode : TLink {
  explicit TNode(int v, int* releases = nullptr) : value(v), releaseCount(releases) {}
  ~TNode() override {
    if (releaseCount) ++*releaseCount;
  }
  int value;
  int* releaseCount;
};

std::vector<int> Values(const TList& list) {
  std::vector<int> values;
  for (TLink* l = list.GetHead(); l; l = l->GetNext()) values.push_back(static_cast<TNode*>(l)->value);
  return values;
}

TEST(TList, AddRemoveKeepsHeadTailAndCount) {
  TList list;
  TNode a(1), b(2), c(3);
  list.AddHead(&a);
  EXPECT_EQ(list.GetHead(), &a);
  EXPECT_EQ(list.GetTail(), &a);
  list.AddTail(&b);
  list.AddHead(&c);
  EXPECT_EQ(Values(list), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(list.GetCount(), 3);
  list.Remove(&a);
  EXPECT_EQ(Values(list), (std::vector<int>{3, 2}));
  EXPECT_EQ(a.GetNext(), nullptr);
  EXPECT_FALSE(a.HasPrev());
  EXPECT_EQ(list.RemoveTail(), &b);
  EXPECT_EQ(list.RemoveHead(), &c);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetHead(), nullptr);
  EXPECT_EQ(list.GetTail(), nullptr);
  EXPECT_EQ(list.RemoveHead(), nullptr);
  EXPECT_EQ(list.RemoveTail(), nullptr);
}

TEST(TList, RemoveWhileWalking) {
  TList list;
  TNode a(1), b(2), c(3);
  list.AddTail(&a);
  list.AddTail(&b);
  list.AddTail(&c);
  TLink* position = &b;
  list.RemoveForward(position);
  EXPECT_EQ(position, &c);
  position = &c;
  list.RemoveBackward(position);
  EXPECT_EQ(position, &a);
  EXPECT_EQ(Values(list), (std::vector<int>{1}));
  list.RemoveAll();
}

TEST(TList, PrependAndAppendMoveWholeLists) {
  TList list, other, empty;
  TNode a(1), b(2), c(3), d(4);
  list.AddTail(&a);
  list.AddTail(&b);
  list.PrependList(empty);
  EXPECT_EQ(Values(list), (std::vector<int>{1, 2}));
  other.AddTail(&c);
  other.AddTail(&d);
  list.PrependList(other);
  EXPECT_EQ(Values(list), (std::vector<int>{3, 4, 1, 2}));
  EXPECT_TRUE(other.IsEmpty());
  EXPECT_EQ(other.GetHead(), nullptr);
  list.Remove(&c);
  list.Remove(&d);
  other.AddTail(&c);
  other.AddTail(&d);
  list.AppendList(other);
  EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.GetTail(), &d);
  list.RemoveAll();
}

TEST(TList, DeleteAllReleasesEveryLink) {
  int releases = 0;
  TList list;
  for (int i = 0; i < 5; ++i) list.AddTail(new TNode(i, &releases));
  list.DeleteAll();
  EXPECT_EQ(releases, 5);
  EXPECT_TRUE(list.IsEmpty());
}

TEST(EIterator, AppendsAndWalksValues) {
  TList list;
  EIterator<TStr>::Append(list, "a");
  EIterator<TStr>::Append(list, "b");
  std::string joined;
  for (EIterator<TStr> it(list); !it.AtEnd(); it.Next()) joined += it.Value().Text();
  EXPECT_EQ(joined, "ab");
  list.DeleteAll();
}

TEST(TStr, ConstructionAndOperations) {
  TStr empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_STREQ(empty.Text(), "");
  TStr s("Hello");
  EXPECT_EQ(s.Length(), 5);
  EXPECT_EQ(s + " World", "Hello World");
  s += "!";
  EXPECT_EQ(s, "Hello!");
  EXPECT_EQ(s.Mid(1, 3), "ell");
  EXPECT_EQ(s.Mid(4, 100), "o!");
  EXPECT_EQ(s.Mid(10, 1), "");
  EXPECT_EQ(s.Find("l"), 2);
  EXPECT_EQ(s.Find("x"), -1);
  EXPECT_EQ(TStr(s).ToUpper(), "HELLO!");
  EXPECT_EQ(TStr(s).ToLower(), "hello!");
  EXPECT_EQ(TStr("7").PadFront(3, '0'), "007");
  EXPECT_EQ(TStr("7").PadEnd(3, '.'), "7..");
  EXPECT_EQ(TStr("long").PadEnd(2, '.'), "long");
  EXPECT_EQ(TStr::FromInt(-42), "-42");
  EXPECT_EQ(TStr::FromReal(0.5, "%.2f"), "0.50");
  const uint8_t pascal[] = {3, 'a', 'b', 'c', 'x'};
  EXPECT_EQ(TStr::FromLengthPrefixed(pascal), "abc");
}

TEST(TStr, ReplaceAllDoesNotSearchInsertedText) {
  EXPECT_EQ(TStr("a-b-c").ReplaceAll("-", "--"), "a--b--c");
  EXPECT_EQ(TStr("aaa").ReplaceAll("a", "ba"), "bababa");
  EXPECT_EQ(TStr("none").ReplaceAll("x", "y"), "none");
}

TEST(TStr, NumberParsingAnswersTheRest) {
  uint32_t u = 0;
  EXPECT_EQ(TStr("123abc").ParseUnsigned(u), "abc");
  EXPECT_EQ(u, 123u);
  int32_t i = 0;
  EXPECT_EQ(TStr("-17 rest").ParseSigned(i), " rest");
  EXPECT_EQ(i, -17);
  double r = 0;
  EXPECT_EQ(TStr("2.5x").ParseReal(r), "x");
  EXPECT_DOUBLE_EQ(r, 2.5);
}

TEST(TStr, ExportCutsAt255AndTurnsLineFeeds) {
  uint8_t buffer[256];
  std::string longText(300, 'x');
  EXPECT_EQ(TStr(longText.c_str()).ExportLengthPrefixed(buffer), 256);
  EXPECT_EQ(buffer[0], 255);
  EXPECT_EQ(buffer[255], 'x');
  TStr("a\nb").ExportLengthPrefixed(buffer);
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(buffer[2], 13);
}

TEST(TStr, FormatReal) {
  struct Case {
    double value;
    int width;
    const char* expected;
  };
  const Case cases[] = {
      {0.0005, 4, "0"},       {12345.0, 4, ">>"},   {-12345.0, 4, "<<"},  {0.00005, 5, "0"},
      {0.005, 4, "0.005"},    {0.05, 4, "0.05"},    {0.5, 4, "0.5"},      {1.25, 4, "1.25"},
      {123456.0, 5, ">>"},    {-123456.0, 5, "<<"}, {0.0005, 5, "0.0005"}, {2.5, 5, "2.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(TStr::FormatReal(c.value, c.width), c.expected) << c.value;
  // -12345 at width 5 falls through to "%3.5g".
  EXPECT_EQ(TStr::FormatReal(-12345.0, 5), TStr::FromReal(-12345.0, "%3.5g"));
}

TEST(TParamStr, PutsParametersInOrder) {
  TParamStr open("Can not open file $1.");
  open.SetParam(1, TStr("/tmp/x.wav"));
  EXPECT_EQ(open.GetText(), "Can not open file /tmp/x.wav.");

  TParamStr range("Value of $1 has to be between $2 and $3.");
  range.SetParam(1, TStr("Delay"));
  range.SetParam(2, 0.5);
  range.SetParam(3, 2.0);
  EXPECT_EQ(range.GetText(), "Value of Delay has to be between 0.5 and 2.");

  TParamStr twice("$1 and $1");
  twice.SetParam(1, TStr("x"));
  EXPECT_EQ(twice.GetText(), "x and x");

  TParamStr unset("a$1b$4");
  unset.SetParam(4, TStr("never"));
  EXPECT_EQ(unset.GetText(), "ab$4");
}

TEST(TParamStr, FirstParameterMayCarryTheSecondKey) {
  TParamStr m("[$1]");
  m.SetParam(1, TStr("$2"));
  m.SetParam(2, TStr("two"));
  EXPECT_EQ(m.GetText(), "[two]");
}

TEST(TParamStr, ParameterContainingItsOwnKeyTerminates) {
  TParamStr m("Can not open file $1 ($1).");
  m.SetParam(1, TStr("we$1ird$1"));
  EXPECT_EQ(m.GetText(), "Can not open file we$1ird$1 (we$1ird$1).");
}

TEST(ShowMessage, KindsAndAnswers) {
  TScriptedPresenter presenter;
  struct Case {
    int kind;
    EAnswer answer;
    int result;
    uint32_t flags;
  };
  const Case cases[] = {
      {0, EAnswer::Ok, ButtonOk, 0x2030},       {1, EAnswer::Cancel, ButtonCancel, 0x2031},
      {2, EAnswer::Yes, ButtonYes, 0x2034},     {2, EAnswer::No, ButtonNo, 0x2034},
      {3, EAnswer::Cancel, ButtonCancel, 0x2033}, {7, EAnswer::Other, ButtonOk, 0x2000},
  };
  for (const Case& c : cases) {
    presenter.Answer(c.answer);
    EXPECT_EQ(ShowMessage(TParamStr("text"), TParamStr("caption"), c.kind), c.result);
    EXPECT_EQ(presenter.shown.back().flags, c.flags);
  }
  EXPECT_EQ(presenter.shown.back().caption, "caption");
}

TEST(ShowMessage, ConsolePresenterNeverChoosesTheDestructiveAnswer) {
  EXPECT_EQ(TConsolePresenter::SafeAnswer(0x2030), EAnswer::Ok);
  EXPECT_EQ(TConsolePresenter::SafeAnswer(0x2031), EAnswer::Cancel);
  EXPECT_EQ(TConsolePresenter::SafeAnswer(0x2034), EAnswer::No);
  EXPECT_EQ(TConsolePresenter::SafeAnswer(0x2033), EAnswer::Cancel);
}

TEST(Errors, ThrowErrorStoresThePendingMessage) {
  TScriptedPresenter presenter;
  TParamStr message("Can not open file $1.");
  message.SetParam(1, TStr("a.tsn"));
  try {
    ThrowError(&message);
  } catch (EError e) {
    EXPECT_EQ(e, 0);
  }
  EXPECT_EQ(GetPendingError(), &message);
  ShowPendingError();
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "Can not open file a.tsn.");
  EXPECT_EQ(presenter.shown[0].caption, GetErrorCaption());
  EXPECT_EQ(GetPendingError(), nullptr);
}

TEST(Errors, ErrorInsideADestructorKeepsTheFirstMessage) {
  TParamStr first("first"), second("second");
  struct TThrowsOnDestroy {
    TParamStr* message;
    ~TThrowsOnDestroy() {
      RunDestructorBody([this] { ThrowError(message); });
    }
  };
  try {
    TThrowsOnDestroy object{&second};
    ThrowError(&first);
  } catch (EError) {
  }
  EXPECT_EQ(GetPendingError(), &first);
  EXPECT_EQ(GetDestructorDepth(), 0);
  ClearPendingError();
}

TEST(Errors, SystemErrorCarriesTheSystemText) {
  try {
    ThrowSystemError(ENOENT);
  } catch (EError) {
  }
  ASSERT_NE(GetPendingError(), nullptr);
  EXPECT_EQ(GetPendingError()->GetText(), std::strerror(ENOENT));
  ClearPendingError();
  EXPECT_NO_THROW(RethrowPending());
}

TEST(Errors, OutOfMemoryForms) {
  TScriptedPresenter presenter;
  struct TFailsToConstruct {
    TFailsToConstruct() { throw 1; }
  };
  EXPECT_EQ(CreateOrReport<TFailsToConstruct>(), nullptr);
  ShowOutOfMemory(EOutOfMemory::String);
  ShowOutOfMemory(EOutOfMemory::Object);
  EXPECT_EQ(presenter.Texts(), (std::vector<TStr>{"Out of Memory ! I'm so sorry, but there's nothing more I can do now.",
                                                  "TStr: Out of Memory !!!", "Out of Memory !!!"}));
  try {
    ThrowOutOfMemory();
  } catch (EError) {
  }
  EXPECT_EQ(GetPendingError()->GetText(), "Memory is low. Cannot finish operation!");
  ClearPendingError();
}

TEST(IBase, IdentityIsTheOnlyEquality) {
  TBase a, b;
  EXPECT_TRUE(a == a);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a != b);
  EXPECT_FALSE(a != a);
}

}  // namespace
