// The real thudra executable with its window, on an X server of the test's own
// (Xvfb), driven with xdotool as a user would: the window titled "Thudra" with the
// instrument's editor in its client area, the computer keyboard, the menu through its
// access keys, the close box, a plug-in's size requests, the display going away, and
// a screenshot of the main window.
//
// With the null audio port nothing is processed: the notes are seen at the MIDI
// output (the host sends every keyboard note to output port 0 as well), and the
// probe's record shows suspend and resume, not blocks.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ProgramRun.h"
#include "TDesktop.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {
std::string Hex(const std::string& bytes) {
  std::string text;
  char two[4];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x ", c);
    text += two;
  }
  return text;
}

std::string Notes(std::initializer_list<int> keys) {
  std::string bytes;
  for (int key : keys) bytes += std::string{'\x90', static_cast<char>(key), '\x78', '\x90', static_cast<char>(key), '\0'};
  return bytes;
}

class WindowProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(desktop.Start(error)) << error;
    folder.InstallProgram();
    fs::create_directories(folder.File("config/Velmora"));
    fs::create_directories(folder.File("runtime"));
    fs::permissions(folder.File("runtime"), fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(folder.File("config/Velmora/Thudra.conf")) << "MidiOut1 = string \"Monitor\"\n";
    environment["DISPLAY"] = desktop.DisplayName();
    environment["XDG_CONFIG_HOME"] = folder.File("config");
    environment["XDG_RUNTIME_DIR"] = folder.File("runtime");
    environment["THUDRA_PROBE_LOG"] = folder.File("probe.log");
    environment["THUDRA_VIRTUAL_MIDI"] = "out:Monitor=" + folder.File("monitor.bin");
  }

  // Waits for the main window, answering the message boxes of the start-up with
  // Return (the null port reports itself). Answers 0 when none appeared in time.
  unsigned long WaitForMainWindow(TProgramRun& run, int* boxes = nullptr) {
    const auto until = steady_clock::now() + seconds(20);
    while (steady_clock::now() < until) {
      for (unsigned long window : desktop.WindowsNamed("Thudra")) {
        // The frame has native windows inside (menu bar, client area); a message box none.
        if (!desktop.Children(window).empty()) return window;
        if (desktop.Keys(window, {"Return"}) && boxes) ++*boxes;
      }
      if (run.Wait(milliseconds(0)) != -1) return 0;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return 0;
  }

  // The client area: the child of the frame that holds the editor's window or, for a
  // plug-in without one, the larger of the frame's two native children.
  unsigned long ClientOf(unsigned long frame) {
    unsigned long best = 0;
    int bestHeight = -1;
    for (unsigned long child : desktop.Children(frame)) {
      const int height = desktop.Geometry(child).height;
      if (height > bestHeight) {
        best = child;
        bestHeight = height;
      }
    }
    return best;
  }

  std::string Monitor() const { return ReadText(folder.File("monitor.bin")); }
  std::string ProbeLog() const { return ReadText(folder.File("probe.log")); }
  size_t Count(const std::string& text, const std::string& what) const {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
  }
  // Waits until the monitor holds bytes (at least that many).
  bool WaitForMonitor(size_t bytes) {
    for (int i = 0; i < 400; ++i) {
      if (Monitor().size() >= bytes) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }
  bool WaitUntil(const std::function<bool()>& condition, milliseconds limit = seconds(10)) {
    const auto until = steady_clock::now() + limit;
    while (steady_clock::now() < until) {
      if (condition()) return true;
      std::this_thread::sleep_for(milliseconds(20));
    }
    return condition();
  }
  std::string ScreenshotPath(const std::string& name) const {
    fs::create_directories(std::string(THUDRA_TEST_DIR) + "/screenshots");
    return std::string(THUDRA_TEST_DIR) + "/screenshots/" + name;
  }

  TDesktop desktop;
  TProgramFolder folder;
  std::map<std::string, std::string> environment;
};

TEST_F(WindowProgramTest, TheInstrumentsEditorFillsTheClientAreaOfTheWindowTitledThudra) {
  folder.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  TProgramRun run(folder, {}, environment);
  const unsigned long frame = WaitForMainWindow(run);
  ASSERT_NE(frame, 0u) << run.Stderr();
  EXPECT_EQ(desktop.Name(frame), "Thudra");

  const unsigned long client = ClientOf(frame);
  const std::vector<unsigned long> editors = desktop.Children(client);
  ASSERT_EQ(editors.size(), 1u) << "the instrument's editor is a child of the client area";
  const TDesktop::TRect window = desktop.Geometry(frame);
  const TDesktop::TRect area = desktop.Geometry(client);
  const TDesktop::TRect editor = desktop.Geometry(editors[0]);
  EXPECT_EQ(area, editor) << "the client area is exactly the editor's";
  EXPECT_EQ(area.x, window.x);
  EXPECT_EQ(area.width, window.width);
  const int menuBarHeight = window.height - area.height;
  EXPECT_GT(menuBarHeight, 10) << "the menu bar sits above the client area";
  EXPECT_EQ(area.y, window.y + menuBarHeight);
  EXPECT_EQ(window.x, 100);
  EXPECT_EQ(window.y, 100);

  // Fixed size, no sizing border; a window menu, a minimize and a close box.
  int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
  ASSERT_TRUE(desktop.SizeHints(frame, minWidth, minHeight, maxWidth, maxHeight));
  EXPECT_EQ(minWidth, window.width);
  EXPECT_EQ(maxWidth, window.width);
  EXPECT_EQ(minHeight, window.height);
  EXPECT_EQ(maxHeight, window.height);
  const std::vector<long> motif = desktop.Property(frame, "_MOTIF_WM_HINTS");
  ASSERT_GE(motif.size(), 3u);
  constexpr long functionResize = 2, functionMinimize = 8, functionMaximize = 16, functionClose = 32;
  constexpr long decorResizeHandles = 4, decorMenu = 16, decorMinimize = 32, decorMaximize = 64;
  EXPECT_EQ(motif[1] & (functionResize | functionMaximize), 0) << std::hex << motif[1];
  EXPECT_EQ(motif[1] & (functionMinimize | functionClose), functionMinimize | functionClose);
  EXPECT_EQ(motif[2] & (decorResizeHandles | decorMaximize), 0) << std::hex << motif[2];
  EXPECT_EQ(motif[2] & (decorMenu | decorMinimize), decorMenu | decorMinimize);
  const std::vector<long> icon = desktop.Property(frame, "_NET_WM_ICON");
  ASSERT_GE(icon.size(), 2u) << "the window has its icon";
  EXPECT_EQ(icon[0], 64);
  EXPECT_EQ(icon[1], 64);

  // What a screenshot shows: the window's size, a menu bar with its texts on it, an
  // editor that drew something.
  TScreenImage shot;
  std::string error;
  const auto editorDrew = [&] {
    return desktop.Grab(frame, shot, error) &&
           shot.CountColours(0, menuBarHeight, shot.width, shot.height - menuBarHeight) >= 4;
  };
  ASSERT_TRUE(WaitUntil(editorDrew)) << error << " " << shot.width << "x" << shot.height << ", "
                                     << shot.CountColours(0, menuBarHeight, shot.width, shot.height - menuBarHeight)
                                     << " colours";
  EXPECT_TRUE(SavePng(shot, ScreenshotPath("main-window.png")));
  EXPECT_EQ(shot.width, window.width);
  EXPECT_EQ(shot.height, window.height);
  EXPECT_GE(shot.CountColours(0, 0, shot.width / 3, menuBarHeight), 2u) << "menu texts on the bar";

  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  EXPECT_TRUE(fs::exists(folder.File("Last Session.tsn")));
}

TEST_F(WindowProgramTest, NoteKeysPlayTheirNotesWhereverThePointerIsAndHeldKeysDoNotRepeat) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  TProgramRun run(folder, {}, environment);
  const unsigned long frame = WaitForMainWindow(run);
  ASSERT_NE(frame, 0u) << run.Stderr();
  const TDesktop::TRect area = desktop.Geometry(ClientOf(frame));
  const TDesktop::TRect window = desktop.Geometry(frame);

  // The pointer over the editor: the first and last key of each of the four rows.
  ASSERT_TRUE(desktop.Xdotool({"mousemove", std::to_string(area.x + 50), std::to_string(area.y + 50)}));
  ASSERT_TRUE(desktop.Keys(frame, {"1", "9", "q", "o", "a", "l", "z", "period"}));
  const std::string rows = Notes({60, 68, 69, 77, 78, 86, 87, 95});
  ASSERT_TRUE(WaitForMonitor(rows.size())) << Hex(Monitor());
  // The pointer over the menu bar.
  ASSERT_TRUE(desktop.Xdotool({"mousemove", std::to_string(window.x + window.width - 20), std::to_string(window.y + 5)}));
  ASSERT_TRUE(desktop.Keys(frame, {"2"}));
  // A key held for a while repeats on the keyboard but plays once.
  ASSERT_TRUE(desktop.Xdotool({"keydown", "w"}));
  std::this_thread::sleep_for(milliseconds(900));
  ASSERT_TRUE(desktop.Xdotool({"keyup", "w"}));
  // Ctrl plays nothing; Shift with a transport letter goes to the editor as its letter.
  ASSERT_TRUE(desktop.Keys(frame, {"ctrl+e", "shift+q", "shift+1"}));
  const std::string expected = rows + Notes({61, 70});
  ASSERT_TRUE(WaitForMonitor(expected.size())) << Hex(Monitor());
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "name=effEditKeyDown index=113")) << run.Stderr();
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(Hex(Monitor()), Hex(expected));
  EXPECT_EQ(Count(ProbeLog(), "name=effEditKeyDown"), 1u) << "only Shift+Q of the three";

  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
}

TEST_F(WindowProgramTest, TheMenusAccessKeysStopAndRunAudioAndExit) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  std::ofstream(folder.File("config/Velmora/Thudra.conf"), std::ios::app)
      << "File1 = string \"/home/drummer/sets/live/Friday.tsn\"\n";
  TProgramRun run(folder, {}, environment);
  const unsigned long frame = WaitForMainWindow(run);
  ASSERT_NE(frame, 0u) << run.Stderr();
  const std::string resumed = "name=effMainsChanged index=0 value=1";
  const std::string suspended = "name=effMainsChanged index=0 value=0";
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), resumed));
  const size_t suspendsAtStart = Count(ProbeLog(), suspended);

  // System > Stop Audio: the plug-in is suspended; the item now reads "Run &Audio",
  // with the same access key, and runs audio again.
  ASSERT_TRUE(desktop.Keys(frame, {"alt+s", "a"}));
  ASSERT_TRUE(WaitUntil([&] { return Count(ProbeLog(), suspended) == suspendsAtStart + 1; })) << ProbeLog();
  const size_t resumes = Count(ProbeLog(), resumed);
  ASSERT_TRUE(desktop.Keys(frame, {"alt+s", "a"}));
  ASSERT_TRUE(WaitUntil([&] { return Count(ProbeLog(), resumed) == resumes + 1; })) << ProbeLog();

  // System > Audio Port > Soundcard: the soundcard port is not available here, so the
  // item is disabled and audio goes on as it was.
  ASSERT_TRUE(desktop.Keys(frame, {"alt+s", "p", "s", "Escape", "Escape"}));
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(Count(ProbeLog(), suspended), suspendsAtStart + 1);

  // The File menu with the recent file of the settings; a screenshot of it.
  const std::vector<unsigned long> before = desktop.TopLevelWindows();
  ASSERT_TRUE(desktop.Keys(frame, {"alt+f"}));
  unsigned long popup = 0;
  ASSERT_TRUE(WaitUntil([&] {
    for (unsigned long window : desktop.TopLevelWindows())
      if (std::find(before.begin(), before.end(), window) == before.end()) popup = window;
    return popup != 0;
  }));
  TScreenImage shot;
  std::string error;
  ASSERT_TRUE(WaitUntil([&] { return desktop.Grab(popup, shot, error) && shot.CountColours(0, 0, shot.width, shot.height) >= 3; }))
      << error;
  EXPECT_TRUE(SavePng(shot, ScreenshotPath("file-menu.png")));
  EXPECT_GT(shot.height, 9 * 12) << "eight items, the recent file and separators";
  ASSERT_TRUE(desktop.Keys(frame, {"Escape"}));
  ASSERT_TRUE(WaitUntil([&] { return !desktop.IsMapped(popup); }));

  // File > Exit: the normal shutdown.
  ASSERT_TRUE(desktop.Keys(frame, {"alt+f", "x"}));
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  const std::string log = ProbeLog();
  EXPECT_NE(log.find("name=effClose"), std::string::npos);
  EXPECT_NE(log.find("unload"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder.File("Last Session.tsn")));
}

TEST_F(WindowProgramTest, TheCloseBoxEndsTheProgramThroughTheNormalShutdown) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  TProgramRun run(folder, {}, environment);
  const unsigned long frame = WaitForMainWindow(run);
  ASSERT_NE(frame, 0u) << run.Stderr();
  desktop.RequestClose(frame);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  const std::string log = ProbeLog();
  const size_t save = log.find("name=effGetChunk");
  const size_t editClose = log.find("name=effEditClose");
  const size_t close = log.find("name=effClose");
  ASSERT_NE(save, std::string::npos) << log;
  EXPECT_LT(save, editClose) << "Last Session is written before the editor closes";
  EXPECT_LT(editClose, close);
  EXPECT_TRUE(fs::exists(folder.File("Last Session.tsn")));
}

TEST_F(WindowProgramTest, SizeRequestsResizeTheClientAreaAndKeepTheCorner) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  // At these idle calls (20 a second): a new size, two absurd ones, then 0 x 0.
  environment["THUDRA_PROBE_SIZE_REQUEST"] = "500x200@40,-5x100@50,9000x100@60,0x0@70";
  TProgramRun run(folder, {}, environment);
  const unsigned long frame = WaitForMainWindow(run);
  ASSERT_NE(frame, 0u) << run.Stderr();
  const unsigned long client = ClientOf(frame);
  EXPECT_EQ(desktop.Geometry(client).width, 400) << "the probe's editor rectangle";
  EXPECT_EQ(desktop.Geometry(client).height, 300);
  // The probe opens no window of its own in it: the host's own client area shows.
  TScreenImage shot;
  std::string error;
  ASSERT_TRUE(desktop.Grab(client, shot, error)) << error;
  EXPECT_EQ(shot.CountColours(0, 0, shot.width, shot.height), 1u);
  EXPECT_EQ(shot.At(200, 150), 0x202428u);
  ASSERT_TRUE(desktop.Xdotool({"windowmove", std::to_string(frame), "230", "140"}));
  ASSERT_TRUE(WaitUntil([&] { return desktop.Geometry(frame).x == 230; }));
  ASSERT_EQ(ProbeLog().find("callback op=15"), std::string::npos) << "the test was too slow to move it first";

  const auto sizeIs = [&](int width, int height) {
    return WaitUntil([&] {
      const TDesktop::TRect area = desktop.Geometry(client);
      return area.width == width && area.height == height;
    }, seconds(3));
  };
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "callback op=15 index=500 value=200")) << run.Stderr();
  EXPECT_TRUE(sizeIs(500, 200));
  const TDesktop::TRect moved = desktop.Geometry(frame);
  EXPECT_EQ(moved.x, 230);
  EXPECT_EQ(moved.y, 140);
  EXPECT_EQ(moved.height - desktop.Geometry(client).height, desktop.Geometry(client).y - moved.y)
      << "only the menu bar above the client area";
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "callback op=15 index=9000 value=100"));
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(sizeIs(500, 200)) << "a negative and a too large size change nothing";
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "callback op=15 index=0 value=0"));
  EXPECT_TRUE(sizeIs(400, 300)) << "0 takes the editor rectangle";
  EXPECT_EQ(desktop.Geometry(frame).x, 230);
  EXPECT_EQ(desktop.Geometry(frame).y, 140);

  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
}

TEST_F(WindowProgramTest, TheDisplayGoingAwayEndsTheProgramThroughItsShutdown) {
  folder.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  TProgramRun run(folder, {}, environment);
  ASSERT_NE(WaitForMainWindow(run), 0u) << run.Stderr();
  ASSERT_FALSE(fs::exists(folder.File("Last Session.tsn")));
  desktop.StopServer();
  const int code = run.Wait(seconds(20));
  EXPECT_EQ(code, 1) << "the toolkit's exit status for a lost display, not a signal: " << run.Stderr();
  EXPECT_TRUE(fs::exists(folder.File("Last Session.tsn"))) << run.Stderr();
}

TEST_F(WindowProgramTest, HeadlessKeepsTheProgramWithoutAWindowEvenWithADisplay) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  // A stored MIDI input that is in use: its message goes to standard error headless.
  fs::create_directories(folder.File("config/Velmora"));
  std::ofstream(folder.File("config/Velmora/Thudra.conf")) << "Midi1 = string \"Busy\"\n";
  environment["THUDRA_VIRTUAL_MIDI"] = "in:Busy!busy";
  TProgramRun run(folder, {"--headless"}, environment);
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "name=effMainsChanged index=0 value=1")) << run.Stderr();
  EXPECT_TRUE(desktop.WindowsNamed("Thudra").empty());
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  EXPECT_NE(run.Stderr().find("[Thudra] Could not open the MIDI port Busy."), std::string::npos) << run.Stderr();
}
}  // namespace
