// The frame on the toolkit: created with its window name and style, the menu bar in
// the non-client margin, exact client sizes through the editor window's placement,
// the icon; the menu bar built from the host's menu model; the computer keyboard.
#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include "UiTest.h"
#include "host/TMenu.h"
#include "pc/ui/TQtFrame.h"
#include "pc/ui/TQtKeyboard.h"
#include "pc/ui/TQtMenuBar.h"
#include "plughost/TVSTWnd.h"

namespace {
class QtFrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    OffscreenApplication();
    previous = SetFrameFactory(&factory);
  }
  void TearDown() override { SetFrameFactory(previous); }

  TQtFrameFactory factory;
  IFrameFactory* previous = nullptr;
};

TEST_F(QtFrameTest, TheFrameIsAFixedSizeWindowWithSystemMenuAndMinimizeBox) {
  TVSTWnd window(nullptr);
  auto* frame = dynamic_cast<TQtFrame*>(window.GetFrame());
  ASSERT_NE(frame, nullptr);
  QWidget* widget = frame->Widget();
  EXPECT_EQ(widget->objectName(), "Hostlet");
  EXPECT_EQ(widget->windowTitle(), "Hostlet") << "the window name until the title is set";
  const Qt::WindowFlags flags = widget->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  window.SetTitle("Thudra");
  EXPECT_EQ(widget->windowTitle(), "Thudra");
  EXPECT_EQ(window.GetFrame()->GetText(), "Thudra");
  EXPECT_TRUE(QFile::exists(TQtFrame::IconPath(5003))) << "icon 5003 is among the program's resources";
  window.GetFrame()->SetLargeIcon(5003);
  EXPECT_FALSE(widget->windowIcon().isNull());
}

TEST_F(QtFrameTest, WithTheMenuBarTheClientAreaStillGetsExactlyTheRequestedSize) {
  std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
  TVSTWnd window(nullptr);
  IFrameWnd* frame = window.GetFrame();
  frame->AttachMenu(menu.get());
  EXPECT_EQ(frame->GetMenu(), menu.get());
  for (const TArea& size : {TArea{0, 0, 400, 300}, TArea{0, 0, 720, 440}, TArea{0, 0, 160, 90}}) {
    window.SetPlacement({120, 80}, size);
    EXPECT_EQ(frame->GetClientRect(), (TArea{0, 0, size.Width(), size.Height()}));
    const TArea outer = frame->GetWindowRect();
    auto* widget = dynamic_cast<TQtFrame*>(frame)->Widget();
    const int menuBar = widget->MenuBarHeight();
    EXPECT_GT(menuBar, 0);
    EXPECT_EQ(outer.Height(), size.Height() + menuBar) << "the menu bar is a non-client margin";
    EXPECT_EQ(outer.Width(), size.Width());
    EXPECT_EQ(widget->minimumSize(), widget->maximumSize()) << "no sizing";
    EXPECT_EQ(widget->Client()->y(), menuBar);
  }
  window.SetPlacement({0, 0}, {0, 0, 300, 200});
  EXPECT_EQ(frame->GetWindowRect().left, 120) << "a zero position keeps the corner";
  EXPECT_EQ(frame->GetWindowRect().top, 80);
}

// ---- The menu bar ------------------------------------------------------------------------

class TCommands : public TQtMenuBar::ICommands {
public:
  void Execute(int32_t id) override { executed.push_back(id); }
  bool IsEnabled(int32_t id) override { return disabled.count(id) == 0; }
  bool IsChecked(int32_t id) override { return checked.count(id) != 0; }
  std::vector<int32_t> executed;
  std::set<int32_t> disabled, checked;
};

std::vector<QString> Texts(const QMenu& menu) {
  std::vector<QString> texts;
  for (QAction* action : menu.actions()) texts.push_back(action->isSeparator() ? QString("-") : action->text());
  return texts;
}

QMenu* MenuNamed(QMenuBar& bar, const QString& title) {
  for (QAction* action : bar.actions())
    if (action->text() == title) return action->menu();
  return nullptr;
}

TEST_F(QtFrameTest, TheMenuBarShowsTheMenuModelAndAsksForStateWhenAMenuOpens) {
  std::unique_ptr<TMenu> model(TMenu::CreateMainMenu());
  QMenuBar bar;
  TCommands commands;
  commands.disabled = {Command::audioSettings};
  TQtMenuBar menus(bar, *model, &commands);
  std::vector<QString> titles;
  for (QAction* action : bar.actions()) titles.push_back(action->text());
  EXPECT_EQ(titles, (std::vector<QString>{"&File", "&System", "&Help"}));
  QMenu* file = MenuNamed(bar, "&File");
  EXPECT_EQ(Texts(*file), (std::vector<QString>{"&Open Session...", "&Save Session", "Sav&e Session As...", "-",
                                                "&Load Kit...", "Save &Kit...", "-", "E&xit"}));

  // Two recent files as the file menu object inserts them once the window exists:
  // they show when the menu opens next.
  for (int i = 0; i < 2; ++i) {
    TMenu::TItem item;
    item.id = 1021 + i;
    item.text = i == 0 ? "/home/drums/.../a.tsn" : "b.tsn";
    model->FindSubmenu("&File")->InsertBefore(Command::exit, std::move(item));
  }
  TMenu::TItem separator;
  separator.id = Command::recentSeparator;
  separator.separator = true;
  model->FindSubmenu("&File")->InsertBefore(Command::exit, std::move(separator));
  Q_EMIT file->aboutToShow();
  EXPECT_EQ(Texts(*file),
            (std::vector<QString>{"&Open Session...", "&Save Session", "Sav&e Session As...", "-", "&Load Kit...",
                                  "Save &Kit...", "-", "/home/drums/.../a.tsn", "b.tsn", "-", "E&xit"}));
  QMenu* system = MenuNamed(bar, "&System");
  EXPECT_EQ(Texts(*system), (std::vector<QString>{"Stop &Audio", "-", "Audio &Port", "Audio &Settings...",
                                                  "Audio &Routing...", "-", "&MIDI Settings..."}));
  QMenu* port = system->actions()[2]->menu();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(Texts(*port), (std::vector<QString>{"&Soundcard", "&ASIO"}));
  EXPECT_EQ(Texts(*MenuNamed(bar, "&Help")), (std::vector<QString>{"&About"}));
  EXPECT_FALSE(menus.Action(Command::audioSettings)->isEnabled());
  EXPECT_TRUE(menus.Action(Command::midiSettings)->isEnabled());

  // The commands change the model and the host's answers; the menu shows them when
  // it opens.
  model->SetItemText(Command::toggleAudio, "Run &Audio");
  model->CheckItem(Command::portSoundcard, true);
  model->EnableItem(Command::midiSettings, false);
  commands.disabled.clear();
  commands.checked = {Command::portAsio};
  Q_EMIT system->aboutToShow();
  EXPECT_EQ(menus.Action(Command::toggleAudio)->text(), "Run &Audio");
  EXPECT_TRUE(menus.Action(Command::audioSettings)->isEnabled());
  EXPECT_FALSE(menus.Action(Command::midiSettings)->isEnabled()) << "disabled in the model";
  EXPECT_TRUE(menus.Action(Command::portSoundcard)->isChecked());
  EXPECT_TRUE(menus.Action(Command::portAsio)->isChecked()) << "checked by the host";
  EXPECT_FALSE(menus.Action(Command::exit)->isChecked());

  // Choosing runs the command once the menu's own events are done.
  menus.Action(Command::toggleAudio)->trigger();
  menus.Action(1022)->trigger();
  EXPECT_TRUE(commands.executed.empty());
  EXPECT_TRUE(ProcessUntil([&] { return commands.executed.size() == 2; }));
  EXPECT_EQ(commands.executed, (std::vector<int32_t>{Command::toggleAudio, 1022}));
}

// ---- The keyboard -------------------------------------------------------------------------

class QtKeyboardTest : public QtFrameTest {
protected:
  void SetUp() override {
    QtFrameTest::SetUp();
    keyboard = std::make_unique<TQtKeyboard>([this](int32_t modifier, int32_t scan, bool down, bool repeat) {
      keys.push_back({modifier, scan, down});
      EXPECT_FALSE(repeat);
    });
    QApplication::instance()->installEventFilter(keyboard.get());
    window = std::make_unique<TVSTWnd>(nullptr);
    window->SetPlacement({10, 10}, {0, 0, 200, 100});
    target = dynamic_cast<TQtFrame*>(window->GetFrame())->Widget()->Client();
  }
  void TearDown() override {
    QApplication::instance()->removeEventFilter(keyboard.get());
    QtFrameTest::TearDown();
  }
  void Send(QWidget* to, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, quint32 keyCode,
            bool autoRepeat = false) {
    QKeyEvent event(type, key, modifiers, keyCode, 0, 0, QString(), autoRepeat);
    QApplication::sendEvent(to, &event);
  }

  struct TKey {
    int32_t modifier, scan;
    bool down;
    bool operator==(const TKey& o) const { return modifier == o.modifier && scan == o.scan && down == o.down; }
  };
  std::vector<TKey> keys;
  std::unique_ptr<TQtKeyboard> keyboard;
  std::unique_ptr<TVSTWnd> window;
  QWidget* target = nullptr;
};

TEST_F(QtKeyboardTest, KeysGoToTheHostWithModifierScanCodeAndDirection) {
  constexpr quint32 keyQ = 24, key1 = 10;  // X11 key codes
  Send(target, QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, keyQ);
  Send(target, QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, keyQ, true);  // auto-repeat
  Send(target, QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier, keyQ, true);
  Send(target, QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier, keyQ);
  Send(target, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50);  // the modifier itself
  Send(target, QEvent::KeyPress, Qt::Key_Q, Qt::ShiftModifier, keyQ);
  Send(target, QEvent::KeyRelease, Qt::Key_Q, Qt::ShiftModifier, keyQ);
  Send(target, QEvent::KeyPress, Qt::Key_1, Qt::ControlModifier, key1);
  Send(target, QEvent::KeyPress, Qt::Key_1, Qt::ControlModifier | Qt::ShiftModifier, key1);
  Send(target, QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, key1);
  Send(target, QEvent::KeyPress, Qt::Key_F, Qt::AltModifier, 41);  // the menu's access key
  EXPECT_EQ(keys, (std::vector<TKey>{{0, 0x10, true},
                                     {0, 0x10, false},
                                     {1, 0x10, true},
                                     {0, 0x10, false},
                                     {2, 0x02, true},
                                     {1, 0x02, true},
                                     {0, 0x02, false}}));
}

TEST_F(QtKeyboardTest, AKeyHeldWhenTheKeyboardGoesElsewhereIsReleased) {
  QMenu popup;
  Send(target, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38);
  Send(target, QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, 39);
  Send(&popup, QEvent::KeyPress, Qt::Key_D, Qt::NoModifier, 40);  // not a frame's
  Send(&popup, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 38);
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(target->window(), &deactivate);
  EXPECT_EQ(keys, (std::vector<TKey>{{0, 0x1E, true}, {0, 0x1F, true}, {0, 0x1E, false}, {0, 0x1F, false}}));
}
}  // namespace
