// Message boxes on the toolkit: every kind with its buttons, default button, icon and
// answers; a message from a second thread shown on the user-interface thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <thread>

#include "UiTest.h"
#include "pc/ui/TQtEventLoop.h"
#include "pc/ui/TQtMessagePresenter.h"

namespace {
class QtMessagesTest : public ::testing::Test {
protected:
  void SetUp() override {
    OffscreenApplication();
    loop = std::make_unique<TQtEventLoop>();
    presenter = std::make_unique<TQtMessagePresenter>(*loop);
    previous = SetMessagePresenter(presenter.get());
  }
  void TearDown() override { SetMessagePresenter(previous); }

  std::unique_ptr<TQtEventLoop> loop;
  std::unique_ptr<TQtMessagePresenter> presenter;
  IMessagePresenter* previous = nullptr;
};

struct TSeen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  bool onUserInterfaceThread = false;
};

// Notes what the box shows, then clicks press (or presses Escape for NoButton).
void Answer(QMessageBox::StandardButton press, TSeen& seen) {
  WhenModalShows([press, &seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen.buttons.push_back(box->standardButton(button));
    std::sort(seen.buttons.begin(), seen.buttons.end());
    seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    seen.onUserInterfaceThread = QThread::currentThread() == QApplication::instance()->thread();
    if (press == QMessageBox::NoButton)
      box->close();  // the close box: the escape button
    else
      box->button(press)->click();
  });
}

TEST_F(QtMessagesTest, EachKindShowsItsButtonsAndAnswersWhatWasChosen) {
  using B = QMessageBox;
  struct TCase {
    int kind;
    std::vector<B::StandardButton> buttons;
    B::StandardButton defaultButton;
    B::StandardButton press;  // NoButton: Escape
    int result;
  };
  const TCase cases[] = {
      {0, {B::Ok}, B::Ok, B::Ok, ButtonOk},
      {0, {B::Ok}, B::Ok, B::NoButton, ButtonOk},
      {1, {B::Ok, B::Cancel}, B::Ok, B::Ok, ButtonOk},
      {1, {B::Ok, B::Cancel}, B::Ok, B::Cancel, ButtonCancel},
      {1, {B::Ok, B::Cancel}, B::Ok, B::NoButton, ButtonCancel},
      {2, {B::Yes, B::No}, B::Yes, B::Yes, ButtonYes},
      {2, {B::Yes, B::No}, B::Yes, B::No, ButtonNo},
      {2, {B::Yes, B::No}, B::Yes, B::NoButton, ButtonNo},
      {3, {B::Yes, B::No, B::Cancel}, B::Yes, B::No, ButtonNo},
      {3, {B::Yes, B::No, B::Cancel}, B::Yes, B::Cancel, ButtonCancel},
      {3, {B::Yes, B::No, B::Cancel}, B::Yes, B::NoButton, ButtonCancel},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " press " << c.press);
    TSeen seen;
    Answer(c.press, seen);
    TParamStr text("Can not open file $1.");
    text.SetParam(1, TStr("/tmp/take 1.wav"));
    EXPECT_EQ(ShowMessage(text, TParamStr("Thudra"), c.kind), c.result);
    EXPECT_EQ(seen.title, "Thudra");
    EXPECT_EQ(seen.text, "Can not open file /tmp/take 1.wav.");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    std::vector<B::StandardButton> expected = c.buttons;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen.buttons, expected);
    EXPECT_EQ(seen.defaultButton, c.defaultButton);
  }
}

TEST_F(QtMessagesTest, APlainMessageHasNoIconAndTheFlagsChooseIconAndDefaultButton) {
  TSeen plain;
  Answer(QMessageBox::Ok, plain);
  ShowPlainMessage("Empty ValueName in IRegistry", "Uups");
  EXPECT_EQ(plain.title, "Uups");
  EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
  EXPECT_EQ(plain.buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});

  // Question icon, Yes/No/Cancel with the second button as default.
  TSeen question;
  Answer(QMessageBox::Yes, question);
  EXPECT_EQ(presenter->Present("Save?", "Thudra", 0x20 | 0x100 | MessageFlags::YesNoCancel), EAnswer::Yes);
  EXPECT_EQ(question.icon, QMessageBox::Question);
  EXPECT_EQ(question.defaultButton, QMessageBox::No);
}

TEST_F(QtMessagesTest, AMessageFromAnotherThreadIsShownOnTheUserInterfaceThread) {
  TSeen seen;
  Answer(QMessageBox::No, seen);
  std::atomic<int> result{-1};
  std::thread device([&] { result = ShowMessage(TParamStr("The port went away."), TParamStr("Thudra"), 2); });
  EXPECT_TRUE(ProcessUntil([&] { return result.load() != -1; }));
  device.join();
  EXPECT_EQ(result.load(), ButtonNo);
  EXPECT_TRUE(seen.onUserInterfaceThread);
  EXPECT_EQ(seen.text, "The port went away.");
}

TEST_F(QtMessagesTest, AThreadWaitingWhileTheProgramQuitsGetsTheAnswerThatDoesNothing) {
  std::atomic<int> result{-1};
  std::thread device([&] { result = ShowMessage(TParamStr("Late news."), TParamStr("Thudra"), 2); });
  // The user-interface thread does not run its loop: it is quitting, as at shutdown
  // while it waits for such a thread to end.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  loop->PostQuit(0);
  device.join();
  EXPECT_EQ(result.load(), ButtonNo);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
}  // namespace
