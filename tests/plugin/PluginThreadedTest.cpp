// The instrument's audio thread against its user-interface thread: blocks with notes
// run while the editor is clicked and redrawn, parameters and kits change and
// transport keys are pressed. ThreadSanitizer runs this to find any data race.
#include <atomic>
#include <random>
#include <thread>

#include "InstrumentFixture.h"
#include "TXvfbServer.h"
#include "TestKits.h"

// After the test framework: Xlib's macros (None, Bool, Status) would break it.
#include <X11/Xlib.h>

namespace {

using TPluginThreads = TInstrumentTest;

TEST_F(TPluginThreads, AudioThreadRunsWhileTheUserInterfaceChangesEverything) {
  TXvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start()) << xvfb.Error();
  setenv("DISPLAY", xvfb.Display().c_str(), 1);
  Display* display = XOpenDisplay(xvfb.Display().c_str());
  ASSERT_NE(display, nullptr);
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 720, 440, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);

  std::atomic<bool> running{true};
  std::atomic<int> blocks{0};
  bool finite = true;
  std::thread audio([&] {
    std::mt19937 random(7);
    while (running.load()) {
      std::vector<TTestMidi> notes;
      for (int i = 0; i < 4; ++i)
        notes.push_back(NoteOn(36 + static_cast<int>(random() % 54), 1 + static_cast<int>(random() % 127),
                               static_cast<int>(random() % block)));
      plugin->Process(block, notes);
      for (int ch = 0; ch < TTestPlugin::channels; ++ch)
        for (int i = 0; i < block; ++i) finite &= std::isfinite(plugin->Output(ch)[i]);
      blocks.fetch_add(1);
    }
  });

  AEffect* e = plugin->Effect();
  const std::vector<uint8_t> kits[2] = {PlainKit().ToChunk(), TKit::Default().ToChunk()};
  Window editor = 0;
  for (int round = 0; round < 300; ++round) {
    e->setParameter(e, round % 55, 0.5f + 0.001f * static_cast<float>(round));
    e->getParameter(e, (round * 7) % 55);
    if (round % 10 == 0) {
      EXPECT_TRUE(plugin->SetChunk(kits[round / 10 % 2]));
      plugin->GetChunk();
    }
    if (round % 25 == 0) plugin->Dispatch(effEditKeyDown, "qwerxvsdfca"[round / 25 % 11], 0, nullptr, 1.0f);
    if (!editor) {
      Window root = 0, up = 0, *children = nullptr;
      unsigned count = 0;
      if (XQueryTree(display, parent, &root, &up, &children, &count) && count == 1) editor = children[0];
      if (children) XFree(children);
    }
    if (editor) {
      XEvent click{};
      click.xbutton.type = round % 2 ? ButtonRelease : ButtonPress;
      click.xbutton.window = editor;
      click.xbutton.x = 9 + (round / 2 % 9) * 78 + 30;
      click.xbutton.y = 58 + (round / 18 % 6) * 46 + 20;
      click.xbutton.button = Button1;
      click.xbutton.same_screen = True;
      XSendEvent(display, editor, False, round % 2 ? ButtonReleaseMask : ButtonPressMask, &click);
      XFlush(display);
    }
    plugin->Dispatch(effEditIdle);
    plugin->Dispatch(effIdle);
  }
  // Let the audio thread take the last clicked notes.
  const int seen = blocks.load();
  while (blocks.load() < seen + 4) std::this_thread::yield();
  running.store(false);
  audio.join();

  EXPECT_TRUE(finite);
  EXPECT_GT(blocks.load(), 10);
  int notesSent = 0;
  for (const THostCall& c : plugin->HostCalls()) notesSent += c.opcode == audioMasterProcessEvents;
  EXPECT_GT(notesSent, 0) << "clicked cells reach the host as notes";
  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
  XCloseDisplay(display);
}

// Kits chosen again and again (a sampled kit, the synthesized sounds, a kit that is
// missing) while the audio thread plays: the kit thread loads, abandons loads and
// hands kits over, the audio thread swaps them and the old ones are freed.
TEST_F(TPluginThreads, KitsSwapWhileTheAudioThreadPlays) {
  const auto folder = testkit::UserKitFolder(home / "data", "Threads");
  ASSERT_TRUE(testkit::WriteTone(folder / "a.wav", {300, 0.5, 0.5}));
  ASSERT_TRUE(testkit::WriteTone(folder / "b.wav", {500, 0.5, 0.5, 48000, 2}));
  testkit::WriteText(folder / "drumkit.xml",
                     testkit::KitXml("Threads", {{"A", 38, {{"a.wav", 0, 0.5}, {"b.wav", 0.5, 1}}}, {"B", 49, {{"b.wav"}}}}));
  std::vector<std::vector<uint8_t>> chunks;
  for (const char* name : {"Threads", "", "Missing", "Threads"}) {
    TKit kit = TKit::Default();
    kit.SetDrumkit(name);
    chunks.push_back(kit.ToChunk());
  }
  std::atomic<bool> running{true};
  std::atomic<int> blocks{0};
  bool finite = true;
  std::thread audio([&] {
    std::mt19937 random(11);
    while (running.load()) {
      std::vector<TTestMidi> notes;
      for (int i = 0; i < 8; ++i)
        notes.push_back(NoteOn(i % 2 ? 38 : 49, 1 + static_cast<int>(random() % 127), static_cast<int>(random() % block)));
      plugin->Process(block, notes);
      for (int i = 0; i < block; ++i) finite &= std::isfinite(plugin->Output(0)[i]);
      blocks.fetch_add(1);
    }
  });
  for (int round = 0; round < 120; ++round) {
    EXPECT_TRUE(plugin->SetChunk(chunks[static_cast<size_t>(round) % chunks.size()]));
    plugin->Dispatch(effIdle);
    if (round % 10 == 0) {
      while (plugin->Dispatch(effVendorSpecific, 3) != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  running.store(false);
  audio.join();
  EXPECT_TRUE(finite);
  EXPECT_GT(blocks.load(), 10);
}

}  // namespace
