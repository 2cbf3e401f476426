// The editor window: placement over a frame with non-client margins.
#include <gtest/gtest.h>

#include "HostFixture.h"
#include "plughost/THeadlessFrame.h"
#include "plughost/TVSTWnd.h"

namespace {
// Frames with 8 pixels of border horizontally and 27 vertically (a title bar of 23).
class TMarginFactory : public IFrameFactory {
public:
  TMarginFactory() : previous(SetFrameFactory(this)) {}
  ~TMarginFactory() override { SetFrameFactory(previous); }
  IFrameWnd* CreateFrame(const TStr& name, uint32_t style) override {
    lastName = name;
    lastStyle = style;
    if (refuse) return nullptr;
    return new THeadlessFrame({4, 23, 4, 4});
  }
  TStr lastName;
  uint32_t lastStyle = 0;
  bool refuse = false;

private:
  IFrameFactory* previous;
};

class EditorWindowTest : public HostFixture {
protected:
  TMarginFactory factory;
};

TEST_F(EditorWindowTest, ClientSizeIsExactWithTheFramesMargins) {
  TVSTWnd window(nullptr);
  EXPECT_EQ(factory.lastName, "Hostlet");
  EXPECT_EQ(factory.lastStyle, 0x004A0000u);
  window.SetPlacement({50, 60}, {0, 0, 400, 300});
  EXPECT_EQ(window.GetFrame()->GetWindowRect(), (TArea{50, 60, 458, 387}));
  EXPECT_EQ(window.GetFrame()->GetClientRect(), (TArea{0, 0, 400, 300}));
}

TEST_F(EditorWindowTest, AZeroCoordinateKeepsThePositionAndAZeroSizeTakesTheEditors) {
  TVSTPlug plug(nullptr);  // its editor: 400 x 300 at (100, 100)
  TVSTWnd* editor = plug.GetEditor();
  ASSERT_NE(editor, nullptr);
  IFrameWnd* frame = editor->GetFrame();
  EXPECT_EQ(frame->GetWindowRect(), (TArea{100, 100, 508, 427}));
  frame->MoveWindow({70, 80, 70 + 208, 80 + 127});  // the user moved and it has 200 x 100
  editor->SetPlacement({0, 0}, {0, 0, 300, 200});
  EXPECT_EQ(frame->GetWindowRect(), (TArea{70, 80, 378, 307}));
  editor->SetPlacement({0, 5}, {});
  EXPECT_EQ(frame->GetWindowRect(), (TArea{70, 80, 478, 407}));
}

TEST_F(EditorWindowTest, AbsurdSizeRequestsLeaveTheWindowAsItIs) {
  TVSTPlug plug(nullptr);  // its editor: 400 x 300 at (100, 100)
  TVSTWnd* editor = plug.GetEditor();
  ASSERT_NE(editor, nullptr);
  IFrameWnd* frame = editor->GetFrame();
  editor->SetPlacement({0, 0}, {0, 0, 250, 150});
  const TArea before = frame->GetWindowRect();
  struct TCase {
    int32_t width, height;
  };
  for (const TCase& c : {TCase{-1, 150}, TCase{250, -40}, TCase{8193, 150}, TCase{250, 100000},
                         TCase{INT32_MIN, INT32_MAX}}) {
    editor->SetPlacement({0, 0}, {0, 0, c.width, c.height});
    EXPECT_EQ(frame->GetWindowRect(), before) << c.width << " x " << c.height;
  }
  editor->SetPlacement({0, 0}, {0, 0, 8192, 8192});
  EXPECT_EQ(frame->GetClientRect(), (TArea{0, 0, 8192, 8192})) << "the largest size still taken";
  editor->SetPlacement({0, 0}, {0, 0, 0, 77});
  EXPECT_EQ(frame->GetClientRect(), (TArea{0, 0, 400, 300})) << "a zero takes the editor's own size";
}

TEST_F(EditorWindowTest, WithoutFrameTheWindowReportsAndThePlugInGetsNoWindow) {
  factory.refuse = true;
  TVSTPlug plug(nullptr);
  ASSERT_NE(plug.GetEditor(), nullptr);
  EXPECT_EQ(plug.GetEditor()->GetFrame(), nullptr);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Out of Memory !!!");
  plug.GetEditor()->SetPlacement({1, 1}, {0, 0, 10, 10});  // nothing to place
  for (int32_t opcode : TFakePlugin::Get().Opcodes()) EXPECT_NE(opcode, effEditOpen);
}

// A frame with a native handle: the plug-in's editor is opened in it.
class THandleFrame : public THeadlessFrame {
public:
  uintptr_t GetNativeHandle() override { return 0x5000; }
};
class THandleFactory : public IFrameFactory {
public:
  THandleFactory() : previous(SetFrameFactory(this)) {}
  ~THandleFactory() override { SetFrameFactory(previous); }
  IFrameWnd* CreateFrame(const TStr&, uint32_t) override { return new THandleFrame; }

private:
  IFrameFactory* previous;
};

TEST_F(EditorWindowTest, AFrameWithAHandleOpensTheEditorInIt) {
  THandleFactory handles;
  TVSTPlug plug(nullptr);
  const auto calls = TFakePlugin::Get().Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[3].opcode, effEditOpen);
  EXPECT_EQ(calls[4].opcode, effMainsChanged);
}
}  // namespace
