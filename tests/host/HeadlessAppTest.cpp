// The headless application object: the start-up steps on the editor's frame or, for
// a plug-in without editor, on a frame of the host's own; the fatal failure; the
// message loop ended by a quit or a signal.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "HostFixture.h"
#include "host/THost.h"
#include "host/TMenu.h"
#include "pc/host/DApp.h"
#include "plughost/THeadlessFrame.h"
#include "plughost/TVSTWnd.h"

namespace {
class HeadlessAppTest : public HostFixture {
protected:
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messages.shown) texts.emplace_back(std::string_view(shown.text));
    return texts;
  }
};

void ExpectMainWindowSetUp(DApp& app) {
  ASSERT_NE(app.GetFrame(), nullptr);
  EXPECT_EQ(TApp::GetMainWindow(), app.GetFrame());
  auto* frame = dynamic_cast<THeadlessFrame*>(app.GetFrame()->GetFrame());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->GetMenu(), static_cast<IMenu*>(app.GetMenu()));
  EXPECT_EQ(frame->GetText(), "Thudra");
  EXPECT_EQ(frame->GetLargeIcon(), 5003);
  EXPECT_EQ(frame->GetShowMode(), 1);
  EXPECT_EQ(frame->GetPaintCount(), 1);
  EXPECT_EQ(frame->GetWindowRect(), (TArea{100, 100, 500, 400}));
  EXPECT_TRUE(app.GetMenu()->IsItemChecked(1212));
  EXPECT_TRUE(TFakePlugin::Get().IsActive()) << "InitFrame started audio";
}

TEST_F(HeadlessAppTest, TheEditorsFrameBecomesTheMainWindow) {
  TFakePlugin::Get().chunk = {1, 2};
  {
    DApp app(sources);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_FALSE(app.HasOwnFrame());
    EXPECT_EQ(app.GetFrame(), app.GetHost()->GetEnsemble()->GetPlug()->GetEditor());
    ExpectMainWindowSetUp(app);
  }
  EXPECT_EQ(TApp::GetMainWindow(), nullptr);
  EXPECT_EQ(TApp::GetMenu(), nullptr);
  EXPECT_TRUE(std::filesystem::exists(LastSessionPath()));
}

TEST_F(HeadlessAppTest, APlugInWithoutEditorGetsAFrameOfTheHostsOwn) {
  TFakePlugin::Get().hasEditor = false;
  DApp app(sources);
  ASSERT_TRUE(app.InitInstance());
  EXPECT_TRUE(app.HasOwnFrame());
  EXPECT_EQ(app.GetFrame()->GetFrame()->GetClientRect(), (TArea{0, 0, 400, 300}));
  ExpectMainWindowSetUp(app);
}

TEST_F(HeadlessAppTest, AReloadSetsTheMainWindowUpOnTheNewEditor) {
  DApp app(sources);
  ASSERT_TRUE(app.InitInstance());
  app.GetHost()->Execute(1000);
  TVSTWnd* editor = app.GetHost()->GetEnsemble()->GetPlug()->GetEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(app.GetFrame(), editor);
  EXPECT_EQ(TApp::GetMainWindow(), editor);
  EXPECT_EQ(editor->GetFrame()->GetMenu(), static_cast<IMenu*>(app.GetMenu()));
  EXPECT_EQ(editor->GetFrame()->GetText(), "Thudra");
  EXPECT_TRUE(TFakePlugin::Get().IsActive()) << "audio runs on with the new plug-in";
}

TEST_F(HeadlessAppTest, AHostThatIsNotReadyReportsAndEndsWithOne) {
  TVSTPlug::SetLibrary("/nowhere/Thudra.dll", true);
  DApp app(sources);
  EXPECT_EQ(app.Run(), 1);
  const auto texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "Thudra.dll not found !");
  EXPECT_EQ(texts.back(), "Couldn't initialize the Thudra !");
  EXPECT_EQ(messages.shown.back().caption, "Thudra");
  EXPECT_EQ(app.GetFrame(), nullptr);
}

TEST_F(HeadlessAppTest, ExitAndSignalsEndTheLoopWithTheNormalShutdown) {
  {
    DApp app(sources);
    app.GetLoop().PostTask([&] {
      EXPECT_TRUE(app.GetHost()->IsReady());
      app.GetHost()->Execute(24310);  // Exit
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(app.GetHost(), nullptr);
  }
  EXPECT_FALSE(TFakePlugin::Get().IsOpen());
  {
    DApp app(sources);
    app.GetLoop().PostTask([] { std::raise(SIGTERM); });
    EXPECT_EQ(app.Run(), 0);
  }
  EXPECT_FALSE(TFakePlugin::Get().IsOpen());
  EXPECT_EQ(loader.Unloads(), 2);
}
}  // namespace
