// The application object on the toolkit's loop: the same start-up steps as without a
// window, now on a frame of the toolkit, and the normal shutdown when the loop ends.
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "HostFixture.h"
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
      frame->MenuModel()->Refresh();  // what opening a menu does
      EXPECT_TRUE(frame->MenuModel()->Action(Command::portSoundcard)->isChecked());
      frame->MenuModel()->Action(Command::exit)->trigger();
    });
    EXPECT_EQ(app.Run(), 0);
  }
  EXPECT_GE(idles, 3) << "the idle timer runs on the toolkit's loop";
  EXPECT_TRUE(std::filesystem::exists(LastSessionPath()));
  EXPECT_EQ(TApp::GetMainWindow(), nullptr);
}
}  // namespace
