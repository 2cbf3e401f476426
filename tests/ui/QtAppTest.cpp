// The application object on the toolkit's loop: the same start-up steps as without a
// window, now on a frame of the toolkit, and the normal shutdown when the loop ends.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "HostFixture.h"
#include "foundation/IRegistry.h"
#include "UiTest.h"
#include "host/THost.h"
#include "host/TMenu.h"
#include "pc/host/DApp.h"
#include "pc/ui/TQtEventLoop.h"
#include "pc/ui/TQtFrame.h"
#include "pc/ui/TQtMenuBar.h"
#include "plughost/TVSTWnd.h"

namespace {
class QtAppTest : public HostFixture {
protected:
  void SetUp() override {
    OffscreenApplication();
    HostFixture::SetUp();
    previousFrames = SetFrameFactory(&frames);
  }
  void TearDown() override {
    SetFrameFactory(previousFrames);
    HostFixture::TearDown();
  }
  TQtFrameFactory frames;
  IFrameFactory* previousFrames = nullptr;
};

TEST_F(QtAppTest, TheEditorsFrameBecomesTheShownMainWindowAndExitEndsTheLoop) {
  TFakePlugin::Get().chunk = {1, 2};
  IRegistry::SetString("File1", "/home/drummer/sets/live/first.tsn");
  IRegistry::SetString("File2", "second.tsn");
  TQtEventLoop loop;
  int idles = 0;
  {
    DApp app(sources, &loop);
    // Exit from the menu once the loop runs and the idle timer has ticked.
    QTimer::singleShot(300, [&] {
      const std::vector<int32_t> calls = TFakePlugin::Get().Opcodes();
      idles = static_cast<int>(std::count(calls.begin(), calls.end(), effEditIdle));
      auto* frame = dynamic_cast<TQtFrame*>(app.GetFrame()->GetFrame());
      ASSERT_NE(frame, nullptr);
      EXPECT_TRUE(frame->Widget()->isVisible());
      EXPECT_EQ(frame->Widget()->windowTitle(), "Thudra");
      EXPECT_EQ(frame->GetLargeIcon(), 5003);
      EXPECT_EQ(frame->GetClientRect(), (TArea{0, 0, 400, 300})) << "the fake plug-in's editor";
      EXPECT_EQ(frame->GetWindowRect().left, 100);
      ASSERT_NE(frame->MenuModel(), nullptr);
      TQtMenuBar& menus = *frame->MenuModel();
      // Opening File shows the recent files read from the settings; opening System
      // shows the port's check mark and the Stop/Run Audio label as the host has them.
      QMenu* file = menus.Bar().actions()[0]->menu();
      QMenu* system = menus.Bar().actions()[1]->menu();
      Q_EMIT file->aboutToShow();
      ASSERT_NE(menus.Action(1021), nullptr);
      EXPECT_EQ(menus.Action(1021)->text(), "/.../first.tsn");
      EXPECT_EQ(menus.Action(1022)->text(), "second.tsn");
      Q_EMIT system->aboutToShow();
      EXPECT_TRUE(menus.Action(Command::portSoundcard)->isChecked());
      EXPECT_FALSE(menus.Action(Command::portAsio)->isChecked());
      EXPECT_EQ(menus.Action(Command::toggleAudio)->text(), "Stop &Audio");
      app.GetHost()->Execute(Command::toggleAudio);
      Q_EMIT system->aboutToShow();
      EXPECT_EQ(menus.Action(Command::toggleAudio)->text(), "Run &Audio");
      EXPECT_FALSE(TFakePlugin::Get().IsActive()) << "audio stopped";
      menus.Action(Command::toggleAudio)->trigger();
      ASSERT_TRUE(ProcessUntil([] { return TFakePlugin::Get().IsActive(); })) << "the menu runs audio again";
      Q_EMIT system->aboutToShow();
      EXPECT_EQ(menus.Action(Command::toggleAudio)->text(), "Stop &Audio");
      menus.Action(Command::exit)->trigger();
    });
    EXPECT_EQ(app.Run(), 0);
  }
  EXPECT_GE(idles, 3) << "the idle timer runs on the toolkit's loop";
  EXPECT_TRUE(std::filesystem::exists(LastSessionPath()));
  EXPECT_EQ(TApp::GetMainWindow(), nullptr);
}
}  // namespace
