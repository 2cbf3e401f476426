// The editor under an Xvfb server of the test's own: it opens as a child of the
// host's window, draws, lights the cells that sound, plays clicked cells, resizes
// through the host, and closes without leaving anything behind. Without a display,
// or given something that is not a window, it fails quietly.
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "InstrumentFixture.h"
#include "PngFile.h"
#include "TDrumkitLibrary.h"
#include "TXvfbServer.h"
#include "TestKits.h"

// After the test framework: Xlib's macros (None, Bool, Status) would break it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Colours and places of the editor's picture.
constexpr unsigned long kCellColour = 0x3a4450, kLitColour = 0xf0a030, kPanelColour = 0x2c3238;
constexpr int kCellsLeft = 9, kCellsTop = 58, kCellPitchX = 78, kCellPitchY = 46;

int CellX(int cell) { return kCellsLeft + cell % 9 * kCellPitchX; }
int CellY(int cell) { return kCellsTop + cell / 9 * kCellPitchY; }

class TEditorTest : public TInstrumentTest {
protected:
  void SetUp() override {
    TInstrumentTest::SetUp();
    ASSERT_TRUE(xvfb.Start()) << xvfb.Error();
    setenv("DISPLAY", xvfb.Display().c_str(), 1);
    display = XOpenDisplay(xvfb.Display().c_str());
    ASSERT_NE(display, nullptr);
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 720, 440, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
  }

  void TearDown() override {
    plugin.reset();  // closes the editor first
    if (display) XCloseDisplay(display);
    xvfb.Stop();
    TInstrumentTest::TearDown();
  }

  bool OpenEditor() { return plugin->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 1; }

  void Idle() {
    plugin->Dispatch(effEditIdle);
    XSync(display, False);
  }

  bool WaitFor(const std::function<bool()>& condition, int milliseconds = 3000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
      Idle();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  }

  std::vector<Window> Children() {
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> children;
    if (XQueryTree(display, parent, &root, &up, &list, &count)) children.assign(list, list + count);
    if (list) XFree(list);
    return children;
  }

  Window Editor() {
    const auto children = Children();
    return children.size() == 1 ? children[0] : 0;
  }

  unsigned long Pixel(int x, int y) {
    const Window editor = Editor();
    if (!editor) return ~0ul;
    XImage* image = XGetImage(display, editor, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  void Click(int x, int y, bool press) {
    XEvent event{};
    event.xbutton.type = press ? ButtonPress : ButtonRelease;
    event.xbutton.display = display;
    event.xbutton.window = Editor();
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.button = Button1;
    event.xbutton.same_screen = True;
    XSendEvent(display, Editor(), False, press ? ButtonPressMask : ButtonReleaseMask, &event);
    XSync(display, False);
  }

  // The editor's picture as a PNG file in the build tree.
  void Screenshot(const std::string& name) {
    const Window editor = Editor();
    ASSERT_NE(editor, 0u);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, editor, &attributes));
    XImage* image = XGetImage(display, editor, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < attributes.height; ++y)
      for (int x = 0; x < attributes.width; ++x) pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    const std::filesystem::path folder = std::filesystem::path(THUDRA_TEST_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(png::Write((folder / (name + ".png")).string(), attributes.width, attributes.height, pixels));
  }

  std::vector<TTestMidi> NotesSent() {
    std::vector<TTestMidi> notes;
    for (const THostCall& call : plugin->HostCalls())
      if (call.opcode == audioMasterProcessEvents) notes.insert(notes.end(), call.events.begin(), call.events.end());
    return notes;
  }

  TXvfbServer xvfb;
  Display* display = nullptr;
  Window parent = 0;
};

TEST_F(TEditorTest, OpensDrawsLightsSoundingCellsAndCloses) {
  ERect* rect = nullptr;
  ASSERT_EQ(plugin->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 720);
  EXPECT_EQ(rect->bottom - rect->top, 440);

  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Pixel(CellX(0) + 2, CellY(0) + 2) == kCellColour; }));
  Window root;
  int x, y;
  unsigned width, height, border, depth;
  ASSERT_TRUE(XGetGeometry(display, Editor(), &root, &x, &y, &width, &height, &border, &depth));
  EXPECT_EQ(width, 720u);
  EXPECT_EQ(height, 440u);
  EXPECT_EQ(Pixel(3, 3), kPanelColour);
  EXPECT_EQ(Pixel(CellX(53) + 2, CellY(53) + 2), kCellColour);

  // Claves (cell 39) sounding: its cell lights, the others stay dark.
  plugin->Process(block, {NoteOn(75, 100)});
  ASSERT_TRUE(WaitFor([&] { return Pixel(CellX(39) + 2, CellY(39) + 2) == kLitColour; }));
  EXPECT_EQ(Pixel(CellX(38) + 2, CellY(38) + 2), kCellColour);
  for (int b = 0; b < 200; ++b) plugin->Process(block);  // the claves have ended
  EXPECT_TRUE(WaitFor([&] { return Pixel(CellX(39) + 2, CellY(39) + 2) == kCellColour; }));

  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
  XSync(display, False);
  EXPECT_TRUE(Children().empty()) << "the editor's window is gone";
  plugin->Dispatch(effEditIdle);
  EXPECT_EQ(plugin->Dispatch(effEditClose), 1) << "closing twice is harmless";
  // It opens again.
  ASSERT_TRUE(OpenEditor());
  EXPECT_TRUE(WaitFor([&] { return Pixel(CellX(0) + 2, CellY(0) + 2) == kCellColour; }));
}

TEST_F(TEditorTest, ClickingACellPlaysItAndSendsTheNote) {
  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Editor() != 0; }));
  Click(CellX(5) + 38, CellY(5) + 22, true);
  ASSERT_TRUE(WaitFor([&] { return !NotesSent().empty(); }));
  plugin->Process(block);
  bool sounds = false;
  for (int i = 0; i < block; ++i) sounds |= plugin->Output(0)[i] != 0.0f;
  EXPECT_TRUE(sounds);
  Click(CellX(5) + 38, CellY(5) + 22, false);
  ASSERT_TRUE(WaitFor([&] { return NotesSent().size() == 2; }));
  const auto notes = NotesSent();
  EXPECT_EQ(notes[0].status, 0x90);
  EXPECT_EQ(notes[0].data1, 41);
  EXPECT_EQ(notes[0].data2, 110);
  EXPECT_EQ(notes[1].status, 0x80);
  EXPECT_EQ(notes[1].data1, 41);
}

TEST_F(TEditorTest, SwitchesBetweenFullAndCompactThroughTheHost) {
  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Editor() != 0; }));
  auto sizeRequests = [&] {
    std::vector<std::pair<VstInt32, VstIntPtr>> sizes;
    for (const THostCall& c : plugin->HostCalls())
      if (c.opcode == audioMasterSizeWindow) sizes.push_back({c.index, c.value});
    return sizes;
  };
  Click(626 + 40, 6 + 11, true);
  ASSERT_TRUE(WaitFor([&] { return sizeRequests().size() == 1; }));
  EXPECT_EQ(sizeRequests()[0], (std::pair<VstInt32, VstIntPtr>{720, 336}));
  ERect* rect = nullptr;
  plugin->Dispatch(effEditGetRect, 0, 0, &rect);
  EXPECT_EQ(rect->bottom - rect->top, 336);
  Window root;
  int x, y;
  unsigned width, height, border, depth;
  XGetGeometry(display, Editor(), &root, &x, &y, &width, &height, &border, &depth);
  EXPECT_EQ(height, 336u);
  Click(626 + 40, 6 + 11, true);
  ASSERT_TRUE(WaitFor([&] { return sizeRequests().size() == 2; }));
  EXPECT_EQ(sizeRequests()[1], (std::pair<VstInt32, VstIntPtr>{720, 440}));
}

TEST_F(TEditorTest, MasterSliderAndTransportButtonsWork) {
  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Editor() != 0; }));
  AEffect* e = plugin->Effect();
  Click(380 + 60 + 43, 6 + 11, true);  // a quarter along the track
  Click(380 + 60 + 43, 6 + 11, false);
  ASSERT_TRUE(WaitFor([&] { return std::fabs(e->getParameter(e, 0) - 0.25f) < 0.01f; }));
  auto tapeCommands = [&] {
    int n = 0;
    for (const THostCall& c : plugin->HostCalls()) n += c.opcode == audioMasterVendorSpecific && c.index == 1;
    return n;
  };
  Click(72 + 33, 342 + 15, true);  // Record
  EXPECT_TRUE(WaitFor([&] { return tapeCommands() > 0; }));
  const int before = tapeCommands();
  EXPECT_EQ(plugin->Dispatch(effEditKeyDown, 'e', 0, nullptr, 1.0f), 1) << "keys work with the editor open";
  EXPECT_GT(tapeCommands(), before);
}

TEST_F(TEditorTest, AboutShowsInTheEditor) {
  ASSERT_TRUE(OpenEditor());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, -1), 1);
  Idle();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(TEditorTest, FailsQuietlyForSomethingThatIsNotAWindow) {
  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x3FFFFF})), 0);
  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, nullptr), 0);
  plugin->Dispatch(effEditIdle);
  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
  XSync(display, False);
  EXPECT_TRUE(Children().empty());
  plugin->Process(block, {NoteOn(36, 100)});
  EXPECT_NE(plugin->Output(0)[0], 0.0f) << "the instrument plays on without an editor";
  EXPECT_TRUE(OpenEditor()) << "a real window still works afterwards";
}

TEST_F(TEditorTest, SurvivesTheHostDestroyingItsWindowFirst) {
  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Editor() != 0; }));
  XDestroyWindow(display, parent);
  XSync(display, False);
  for (int i = 0; i < 3; ++i) plugin->Dispatch(effEditIdle);
  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
  parent = 0;
}

// The kit button opens the list of kits; choosing one loads it, the cells show its
// instruments, and the list says what the kit left out.
TEST_F(TEditorTest, TheKitListChoosesASampledKitAndSaysWhatWasLeftOut) {
  const auto folder = testkit::UserKitFolder(home / "data", "ListKit");
  ASSERT_TRUE(testkit::WriteTone(folder / "snare.wav", {400, 0.8, 0.4}));
  testkit::WriteText(folder / "drumkit.xml",
                     testkit::KitXml("ListKit", {{"Brush Snare", 38, {{"snare.wav"}}}, {"Gone", 41, {{"gone.wav"}}}}));
  UseKit(PlainKit());
  ASSERT_TRUE(OpenEditor());
  ASSERT_TRUE(WaitFor([&] { return Pixel(CellX(0) + 2, CellY(0) + 2) == kCellColour; }));
  Screenshot("editor-synthesized");

  constexpr unsigned long kListColour = 0x262c33;
  Click(214 + 80, 6 + 11, true);
  ASSERT_TRUE(WaitFor([&] { return Pixel(8 + 2, 56 + 2) == kListColour; })) << "the list opens over the cells";
  Screenshot("editor-kit-list");
  std::vector<std::string> names = {""};
  for (const TDrumkitEntry& e : TDrumkitLibrary::List()) names.push_back(e.name);
  const auto at = std::find(names.begin(), names.end(), "ListKit");
  ASSERT_NE(at, names.end());
  const int index = static_cast<int>(at - names.begin());
  Click(8 + 4 + index / 8 * 174 + 40, 56 + 22 + index % 8 * 16 + 7, true);
  ASSERT_TRUE(WaitFor([&] { return plugin->Dispatch(effVendorSpecific, 3) == 1; }, 20000));
  ASSERT_TRUE(WaitFor([&] { return Pixel(8 + 2, 56 + 2) != kListColour; })) << "a choice closes the list";
  TKit kit;
  const std::vector<uint8_t> chunk = plugin->GetChunk();
  ASSERT_TRUE(TKit::FromChunk(chunk.data(), chunk.size(), kit));
  EXPECT_STREQ(kit.drumkit, "ListKit");
  plugin->Process(block);
  plugin->Process(block, {NoteOn(38, 127)});
  int crossings = 0;
  for (int b = 0; b < 14; ++b) {
    for (int i = 1; i < block; ++i) crossings += (plugin->Output(0)[i - 1] < 0) != (plugin->Output(0)[i] < 0);
    plugin->Process(block);
  }
  EXPECT_NEAR(crossings / 2.0 / (14 * block / 44100.0), 400, 30) << "the kit's snare plays";
  Idle();
  Screenshot("editor-sampled");
  Click(214 + 80, 6 + 11, true);
  ASSERT_TRUE(WaitFor([&] { return Pixel(8 + 2, 56 + 2) == kListColour; }));
  Screenshot("editor-kit-list-report");
  // Choosing the synthesized sounds (the first entry) needs no loading.
  Click(8 + 4 + 40, 56 + 22 + 7, true);
  ASSERT_TRUE(WaitFor([&] { return Pixel(8 + 2, 56 + 2) != kListColour; }));
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 3), 1);
}

TEST(EditorWithoutDisplay, FailsQuietlyAndThePluginWorksOn) {
  unsetenv("DISPLAY");
  TTestPlugin plugin(THUDRA_PLUGIN_LIBRARY);
  ASSERT_TRUE(plugin.Load());
  plugin.Start();
  EXPECT_EQ(plugin.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x200001})), 0);
  plugin.Dispatch(effEditIdle);
  EXPECT_EQ(plugin.Dispatch(effEditClose), 1);
  plugin.Process(128, {{0, 0x90, 38, 100}});
  EXPECT_NE(plugin.Output(0)[0], 0.0f);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin.Dispatch(effVendorSpecific, -1), 1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Thudra"), std::string::npos);
}

}  // namespace
