// The real thudra with the instrument on the driver port over a JACK server of the
// test's own: notes from a virtual MIDI input sound at the server's physical playback
// ports, a period changed with jack_bufsize goes through the reset and the sound goes
// on, a killed server leaves the program running and it still shuts down cleanly.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "AsioTestSupport.h"
#include "MidiTestSupport.h"
#include "ProgramRun.h"

namespace fs = std::filesystem;

namespace {
class AsioProgram : public ::testing::Test {
protected:
  void SetUp() override {
    folder.InstallProgram();
    folder.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
    pads = folder.File("pads");
    ASSERT_EQ(::mkfifo(pads.c_str(), 0600), 0);
    fs::create_directories(folder.File("config/Velmora"));
    std::ofstream(folder.File("config/Velmora/Thudra.conf")) << "AudioPort = string \"ASIO\"\nMidi1 = string \"Pads\"\n";
    environment["XDG_CONFIG_HOME"] = folder.File("config");
    environment["THUDRA_VIRTUAL_MIDI"] = "in:Pads=" + pads;
    environment["JACK_NO_START_SERVER"] = "1";
    environment["THUDRA_SIMULATED_ASIO"] = "";
  }

  // Opens the pipe once the program listens to it (it opens it itself at start).
  void Play(uint8_t note) {
    if (feed < 0)
      for (int i = 0; i < 2000 && feed < 0; ++i) {
        feed = ::open(pads.c_str(), O_WRONLY | O_NONBLOCK);
        if (feed < 0) ::usleep(5000);
      }
    ASSERT_GE(feed, 0);
    const uint8_t on[3] = {0x99, note, 0x7F};
    ASSERT_EQ(::write(feed, on, 3), 3);
  }
  void TearDown() override {
    if (feed >= 0) ::close(feed);
  }

  static bool WaitFor(const std::function<bool()>& condition, int32_t milliseconds = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Waits until the program's ports feed the playback ports, and listens to them.
  bool Listen(TPlaybackListener& listener) {
    if (!WaitFor([&] { return !ConnectionsOf(listener.Client(), "system:playback_1").empty(); })) return false;
    return listener.ListenToPlayback();
  }

  // Plays a note and waits until it sounds; answers the cycles from the note to the
  // first loud one (-1: it never sounded).
  int32_t NoteSounds(TPlaybackListener& listener, uint8_t note) {
    WaitFor([&] { return listener.loudCycles.load() == 0 || listener.CycleNumber() > listener.lastLoudCycle + 50; });
    const int32_t before = listener.loudCycles.load();
    const uint32_t written = listener.CycleNumber();
    Play(note);
    if (!WaitFor([&] { return listener.loudCycles.load() > before; }, 5000)) return -1;
    return static_cast<int32_t>(listener.lastLoudCycle.load() - written);
  }

  TProgramFolder folder;
  std::map<std::string, std::string> environment;
  std::string pads;
  int feed = -1;
};
}  // namespace

TEST_F(AsioProgram, TheInstrumentPlaysThroughJackFollowsAPeriodChangeAndSurvivesTheServer) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  TPlaybackListener listener(2);
  ASSERT_TRUE(listener.Open());
  TProgramRun run(folder, {}, environment);
  ASSERT_TRUE(run.WaitUntilSignalsAreHandled()) << run.Stderr();
  ASSERT_TRUE(Listen(listener)) << run.Stderr();
  EXPECT_TRUE(WaitFor([&] { return listener.cycles.load() > 10; }));
  EXPECT_EQ(listener.loudCycles.load(), 0) << "silence before the first note";

  const int32_t delay = NoteSounds(listener, 36);
  ASSERT_GE(delay, 0) << "the note never sounded\n" << run.Stderr();
  std::printf("note to sound at the playback ports: %d periods of 1024 frames\n", delay);

  // Another program changes the period: the driver port resets and plays on.
  ASSERT_EQ(RunCommand("jack_bufsize 256 >/dev/null 2>&1"), 0);
  EXPECT_TRUE(WaitFor([&] { return jack_get_buffer_size(listener.Client()) == 256u; }));
  // The reset takes the program's ports away (and with them the listener's connections).
  ASSERT_TRUE(WaitFor([&] { return ConnectionsOf(listener.Client(), "listener:in_1").empty(); })) << run.Stderr();
  ASSERT_TRUE(Listen(listener)) << "the ports are connected again\n" << run.Stderr();
  EXPECT_GE(NoteSounds(listener, 38), 0) << "the sound goes on at 256 frames\n" << run.Stderr();
  EXPECT_EQ(run.Stderr().find("ASIO"), std::string::npos) << run.Stderr();

  // The server dies: the program says so and runs on.
  std::string pid;
  ASSERT_EQ(RunCommand("pgrep -P " + std::to_string(::getpid()) + " -x jackd", &pid), 0);
  ASSERT_EQ(::kill(std::stoi(pid), SIGKILL), 0);
  EXPECT_TRUE(WaitForText(folder.File("stderr.txt"), "Hardware not present or available.")) << run.Stderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Play(40);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  const std::string settings = ReadText(folder.File("config/Velmora/Thudra.conf"));
  EXPECT_NE(settings.find("AudioPort = string \"ASIO\""), std::string::npos) << settings;
}
