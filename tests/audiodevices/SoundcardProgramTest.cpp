// The real thudra program on a real, paced ALSA device without a sound card: ALSA's
// JACK PCM on a JACK server of the test's own, whose ports a JACK client of the test
// captures (and feeds, for the recording side). MIDI notes come in through a virtual
// MIDI input fed from a named pipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AudioDeviceTestSupport.h"
#include "MidiTestSupport.h"
#include "ProgramRun.h"

namespace fs = std::filesystem;

namespace {
using TClock = std::chrono::steady_clock;

// A dword as the settings file writes it: eight hex digits.
std::string Hex8(int value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

class SoundcardProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running()) << server.Log();
    config = std::make_unique<TAlsaJackConfig>(folder.Path());
    capture = std::make_unique<TJackCapture>(30.0, 1000.0, 0.5f);
    ASSERT_TRUE(capture->Opened());
    program.InstallProgram();
    fs::copy_file(std::string(THUDRA_PROGRAM_DIR) + "/orbds.dll", program.File("orbds.dll"),
                  fs::copy_options::overwrite_existing);
    pads = program.File("pads");
    ASSERT_EQ(::mkfifo(pads.c_str(), 0600), 0);
    environment["XDG_CONFIG_HOME"] = program.File("config");
    environment["THUDRA_VIRTUAL_MIDI"] = "in:Pads=" + pads;
  }
  void TearDown() override {
    capture.reset();
    config.reset();
  }

  void StoreSettings(const std::string& output, const std::string& input, int outputDelay) {
    fs::create_directories(program.File("config/Velmora"));
    std::ofstream(program.File("config/Velmora/Thudra.conf"))
        << "MmeOutPort = string \"" << output << "\"\nMmeInPort = string \"" << input << "\"\n"
        << "MmeOutDelay = dword 0x" << Hex8(outputDelay) << "\nMmeInDelay = dword 0x" << Hex8(40) << "\n"
        << "Midi1 = string \"Pads\"\n";
  }
  // Waits until the program's PCM plays into the capture client.
  bool WaitUntilPlaying(TProgramRun& run) {
    const auto until = TClock::now() + std::chrono::seconds(20);
    while (TClock::now() < until) {
      std::string connections;
      RunCommand("jack_lsp -c -s '" + server.Name() + "' 2>/dev/null", &connections);
      if (connections.find(std::string(TAlsaJackConfig::captureClient) + ":in_1\n   ") != std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (run.Wait(std::chrono::milliseconds(0)) != -1) return false;
    }
    return false;
  }
  // Plays a note through the pipe; answers the capture's frame count at that moment.
  size_t Note(int feed, uint8_t key) {
    const uint8_t on[3] = {0x99, key, 0x7F};
    const size_t at = capture->Frames();
    EXPECT_EQ(::write(feed, on, 3), 3);
    return at;
  }
  // The first frame from which on a 5 ms window is louder than level, from frame on.
  size_t Onset(const std::vector<float>& samples, size_t from, float level) {
    const size_t window = size_t(capture->SampleRate()) / 200;
    for (size_t at = from; at + window < samples.size(); at += window / 4) {
      float peak = 0;
      for (size_t i = at; i < at + window; ++i) peak = std::max(peak, std::fabs(samples[i]));
      if (peak > level) return at;
    }
    return samples.size();
  }
  static float Peak(const std::vector<float>& samples, size_t from, size_t to) {
    float peak = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
  }

  // Two notes a second apart; the capture holds them a second apart, after silence.
  void PlaysTheNotesInRealTime(const std::string& output) {
    StoreSettings(output, "None", 0x28);
    TProgramRun run(program, {}, environment);
    ASSERT_TRUE(WaitUntilPlaying(run)) << run.Stderr();
    const int feed = ::open(pads.c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t first = Note(feed, 36);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const size_t second = Note(feed, 38);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::close(feed);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(), 0) << run.Stderr();
    const std::vector<float> left = capture->Channel(0);
    ASSERT_GT(left.size(), second);
    const size_t rate = size_t(capture->SampleRate());
    // Silent before the first note, sounding after it.
    EXPECT_LT(Peak(left, first - rate / 2, first), 1e-4);
    const size_t firstOnset = Onset(left, first, 0.01f);
    ASSERT_LT(firstOnset, left.size());
    const double latency = double(firstOnset - first) / double(rate);
    EXPECT_GT(latency, 0.0);
    EXPECT_LT(latency, 0.3);
    // The second note comes as much later in the capture as it was sent: paced.
    const float decayed = Peak(left, second - rate / 50, second);
    const size_t secondOnset = Onset(left, second, std::max(0.01f, 2 * decayed));
    ASSERT_LT(secondOnset, left.size());
    EXPECT_NEAR(double(secondOnset - second) / double(rate), latency, 0.06);
  }

  TTempDir folder;
  TJackServer server;
  std::unique_ptr<TAlsaJackConfig> config;
  std::unique_ptr<TJackCapture> capture;
  TProgramFolder program;
  std::string pads;
  std::map<std::string, std::string> environment;
};

TEST_F(SoundcardProgramTest, TheInstrumentPlaysNotesThroughTheStoredWaveDevice) {
  program.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  PlaysTheNotesInRealTime("MME: thudra_test");
}

TEST_F(SoundcardProgramTest, TheInstrumentPlaysNotesThroughTheDirectSoundLibrary) {
  program.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  PlaysTheNotesInRealTime("DirectSound: thudra_test");
}

TEST_F(SoundcardProgramTest, InFullDuplexTheRecordedSoundReachesThePlugInsInputs) {
  program.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  environment["THUDRA_PROBE_SIGNAL"] = "through";
  StoreSettings("MME: thudra_test", "MME: thudra_test", 0x28);
  TProgramRun run(program, {}, environment);
  capture->SetToneLevel(0.0f);
  ASSERT_TRUE(WaitUntilPlaying(run)) << run.Stderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const size_t toneOn = capture->SetToneLevel(0.5f);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  // In and out in about the two delays (40 ms each) and the device's own buffers.
  const size_t back = Onset(capture->Channel(0), toneOn, 0.2f);
  EXPECT_LT(double(back - toneOn) / capture->SampleRate(), 0.4);
  // The capture client's 1000 Hz tone went in through the PCM's recording side and
  // came back out of the probe.
  const std::vector<float> sounding = capture->Sounding(0, 0.2f);
  ASSERT_GT(sounding.size(), size_t(capture->SampleRate() / 2));
  EXPECT_NEAR(Peak(sounding, 0, sounding.size()), 0.5f, 0.05f);
  EXPECT_NEAR(RisingCrossingsPerSecond(sounding, capture->SampleRate()), 1000.0, 50.0);
}

TEST_F(SoundcardProgramTest, AServerThatDiesIsReportedAndTheProgramEndsCleanly) {
  program.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  StoreSettings("MME: thudra_test", "None", 0x28);
  TProgramRun run(program, {}, environment);
  ASSERT_TRUE(WaitUntilPlaying(run)) << run.Stderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  capture.reset();
  server.Kill();
  bool reported = false;
  for (int i = 0; i < 1000 && !reported; ++i) {
    reported = run.Stderr().find("the sound device went away") != std::string::npos;
    if (!reported) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(reported) << run.Stderr();
  EXPECT_EQ(run.Wait(std::chrono::milliseconds(500)), -1) << "the program ended by itself";
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  EXPECT_TRUE(fs::exists(program.File("Last Session.tsn")));
}
}  // namespace

namespace {
// A measurement, not a check (run it with --gtest_also_run_disabled_tests): on a JACK
// server with a 128-frame period, the instrument plays 32 voices for the given seconds
// at each Play Ahead; the program's status lines give the underruns and the measured
// output delay.
TEST(SoundcardLatency, DISABLED_SmallestPlayAheadWithoutUnderruns) {
  const int seconds = std::getenv("THUDRA_LATENCY_SECONDS") ? std::atoi(std::getenv("THUDRA_LATENCY_SECONDS")) : 10;
  TTempDir folder;
  TJackServer server(128);
  ASSERT_TRUE(server.Running()) << server.Log();
  TAlsaJackConfig config(folder.Path());
  TJackCapture capture(1.0, 1000.0, 0.0f);
  std::vector<int> delays{10, 12, 16, 20, 24, 32, 40};
  if (const char* chosen = std::getenv("THUDRA_LATENCY_DELAYS")) delays = {std::atoi(chosen)};
  for (int delay : delays) {
    TProgramFolder program;
    program.InstallProgram();
    program.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
    const std::string pads = program.File("pads");
    ASSERT_EQ(::mkfifo(pads.c_str(), 0600), 0);
    fs::create_directories(program.File("config/Velmora"));
    std::ofstream(program.File("config/Velmora/Thudra.conf"))
        << "MmeOutPort = string \"MME: thudra_test\"\nMmeInPort = string \"None\"\nMmeOutDelay = dword 0x"
        << Hex8(delay) << "\nMidi1 = string \"Pads\"\n";
    TProgramRun run(program, {},
                    {{"XDG_CONFIG_HOME", program.File("config")},
                     {"THUDRA_VIRTUAL_MIDI", "in:Pads=" + pads},
                     {"THUDRA_AUDIO_STATUS", "1"}});
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int feed = ::open(pads.c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    const auto until = TClock::now() + std::chrono::seconds(seconds);
    for (int round = 0; TClock::now() < until; ++round) {
      for (int voice = 0; voice < 32; ++voice) {
        const uint8_t on[3] = {0x99, static_cast<uint8_t>(35 + voice % 12), static_cast<uint8_t>(60 + voice)};
        [[maybe_unused]] const ssize_t sent = ::write(feed, on, 3);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ::close(feed);
    const std::string before = run.Stderr();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(), 0);
    // The last status line of the run.
    const size_t last = before.rfind("[Thudra] Audio: output delay");
    std::fprintf(stderr, "Play Ahead %d ms: %s\n", delay,
                 last == std::string::npos ? "no status" : before.substr(last, before.find('\n', last) - last).c_str());
  }
}
}  // namespace
