// The library's JACK driver against a JACK server of the test's own (dummy backend):
// what it reports of the server, a buffer switch per cycle whose samples reach the
// physical playback ports in the same cycle, its own period request, a period
// changed by somebody else, and a server that dies.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "AsioTestSupport.h"
#include "MidiTestSupport.h"

namespace {
const char* const clientName = "asio-test";

class AsioJack : public ::testing::Test {
protected:
  void SetUp() override {
    ::unsetenv("THUDRA_SIMULATED_ASIO");
    ASSERT_TRUE(library.Loaded());
    TCallbackLog::Get().Clear();
  }
  void TearDown() override { TCallbackLog::Get().Clear(); }
  TCallbackLog& Log() { return TCallbackLog::Get(); }
  const TAsioOrdinals& Ops() const { return library.Ops(); }
  static TAsioHandle Handle() { return reinterpret_cast<TAsioHandle>(clientName); }

  TAsioTestLibrary library;
};

// What fills each half: the number of the server's current cycle, in every sample.
void StampCycles(TOpenDriver& driver, const TPlaybackListener& listener, int32_t frames) {
  std::vector<TAsioBufferInfo> records = driver.Records();
  TCallbackLog::Get().onSwitch = [records, frames, &listener](int32_t half) {
    const float stamp = static_cast<float>(listener.CycleNumber() % (1u << 24));
    for (const TAsioBufferInfo& record : records) {
      auto* samples = static_cast<float*>(record.buffers[half]);
      for (int32_t i = 0; i < frames; ++i) samples[i] = stamp;
    }
  };
}

bool WaitFor(const std::function<bool()>& condition, int32_t milliseconds = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> PhysicalPorts(jack_client_t* client, unsigned long direction) {
  std::vector<std::string> names;
  const char** found = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | direction);
  for (const char** name = found; found && *name; ++name) names.emplace_back(*name);
  if (found) jack_free(found);
  return names;
}
}  // namespace

TEST_F(AsioJack, WithoutAServerTheHardwareIsNotPresent) {
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("JACK_DEFAULT_SERVER", "thudra-no-such-server", 1);
  TOpenDriver driver(library, "JACK", Handle());
  EXPECT_EQ(driver.InitResult(), Asio::hardwareNotPresent);
  EXPECT_EQ(Ops().start(), Asio::notPresent);
  ::unsetenv("JACK_DEFAULT_SERVER");
}

TEST_F(AsioJack, DescribesTheServer) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  TPlaybackListener listener(0);
  ASSERT_TRUE(listener.Open());
  TOpenDriver driver(library, "JACK", Handle());
  ASSERT_EQ(driver.InitResult(), Asio::outputReadyNotSupported);
  const TAsioDriverInfo& info = driver.Info();
  EXPECT_EQ(info.preferredBufferSize, 1024);
  EXPECT_EQ(info.maxBufferSize, 8192);
  EXPECT_EQ(info.minBufferSize, 16);
  EXPECT_EQ(info.sampleRate, 48000);
  const std::vector<std::string> playback = PhysicalPorts(listener.Client(), JackPortIsInput);
  const std::vector<std::string> capture = PhysicalPorts(listener.Client(), JackPortIsOutput);
  ASSERT_FALSE(playback.empty());
  ASSERT_EQ(info.outputCount, static_cast<int32_t>(playback.size()));
  ASSERT_EQ(info.inputCount, static_cast<int32_t>(capture.size()));
  for (int32_t n = 0; n < info.outputCount; ++n) {
    EXPECT_EQ(driver.Output(n).name, playback[size_t(n)]);
    EXPECT_EQ(driver.Output(n).sampleType, Asio::float32LSB);
  }
  for (int32_t n = 0; n < info.inputCount; ++n) EXPECT_EQ(driver.Input(n).name, capture[size_t(n)]);
  EXPECT_EQ(info.clockCount, 1);
  EXPECT_STREQ(info.clockName[0], "Internal");
  EXPECT_EQ(info.clockKnowsRate[0], 1);
  EXPECT_EQ(Ops().selectClock(&driver.Info(), 0), 48000);
  EXPECT_EQ(Ops().selectClock(&driver.Info(), 1), Asio::noClock);

  std::string shown;
  TAsioPanelHost host{&shown, [](void* context, const char* text, const char* caption) {
                        *static_cast<std::string*>(context) = std::string(caption) + "|" + text;
                      }};
  EXPECT_EQ(Ops().controlPanel(reinterpret_cast<intptr_t>(&host)), Asio::ok);
  EXPECT_NE(shown.find(server.Name()), std::string::npos) << shown;
  EXPECT_NE(shown.find("48000 Hz"), std::string::npos) << shown;
  EXPECT_NE(shown.find("1024 frames"), std::string::npos) << shown;
}

TEST_F(AsioJack, EachCycleIsOneHalfThatReachesThePlaybackPortsInTheSameCycle) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  TPlaybackListener listener(2);
  ASSERT_TRUE(listener.Open());
  TOpenDriver driver(library, "JACK", Handle());
  ASSERT_EQ(driver.InitResult(), Asio::outputReadyNotSupported);
  ASSERT_GE(driver.Info().outputCount, 2);
  ASSERT_EQ(driver.Create({0, 1}, 1024), Asio::ok);
  StampCycles(driver, listener, 1024);
  ASSERT_EQ(Ops().start(), Asio::ok);
  for (int n = 1; n <= 2; ++n)
    EXPECT_TRUE(Contains(ConnectionsOf(listener.Client(), "system:playback_" + std::to_string(n)),
                         std::string(clientName) + ":out_" + std::to_string(n)));
  ASSERT_TRUE(listener.ListenToPlayback());
  ASSERT_TRUE(WaitFor([&] { return listener.cycles.load() >= 3; }));
  listener.cycles = 0;
  listener.matchingCycles = 0;
  ASSERT_TRUE(WaitFor([&] { return listener.cycles.load() >= 12; }));
  const int32_t cycles = listener.cycles.load();
  // A cycle in which a loaded machine made a client late may show an older stamp; a
  // driver that played each half a period late would match in none.
  EXPECT_GE(2 * listener.matchingCycles.load(), cycles)
      << listener.matchingCycles.load() << " of " << cycles << " cycles heard their own half";
  EXPECT_EQ(listener.first[0].load(), listener.first[1].load());

  const int32_t switches = Log().switches.load();
  ASSERT_GE(switches, 12);
  for (int32_t n = 0; n < switches && n < TCallbackLog::maxHalves; ++n) ASSERT_EQ(Log().halves[size_t(n)].load(), n % 2);
  EXPECT_EQ(Log().switchesOnTestThread.load(), 0);

  EXPECT_EQ(Ops().stop(), Asio::ok);
  const int32_t stopped = Log().switches.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(Log().switches.load(), stopped) << "no switch after the stop";
}

TEST_F(AsioJack, ABufferSizeOtherThanThePeriodAsksTheServerForIt) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  TPlaybackListener listener(0);
  TOpenDriver driver(library, "JACK", Handle());
  ASSERT_EQ(driver.InitResult(), Asio::outputReadyNotSupported);
  ASSERT_EQ(driver.Create({0}, 256), Asio::ok);
  EXPECT_EQ(jack_get_buffer_size(listener.Client()), 256u);
  ASSERT_EQ(Ops().start(), Asio::ok);
  EXPECT_TRUE(Log().WaitForSwitches(20));
  EXPECT_EQ(Log().resets.load(), 0) << "its own request is no reset";
}

TEST_F(AsioJack, APeriodChangedByAnotherProgramIsAResetRequest) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  auto driver = std::make_unique<TOpenDriver>(library, "JACK", Handle());
  ASSERT_EQ(driver->Create({0, 1}, 1024), Asio::ok);
  Log().onReset = [this] { Ops().stop(); };
  ASSERT_EQ(Ops().start(), Asio::ok);
  ASSERT_TRUE(Log().WaitForSwitches(3));
  ASSERT_EQ(RunCommand("jack_bufsize 512 >/dev/null 2>&1"), 0);
  ASSERT_TRUE(Log().WaitForResets(1));
  EXPECT_EQ(Log().messagesOnTestThread.load(), 0);

  // What the program does for a reset: all closed, and opened again.
  driver.reset();
  driver = std::make_unique<TOpenDriver>(library, "JACK", Handle());
  ASSERT_EQ(driver->InitResult(), Asio::outputReadyNotSupported);
  EXPECT_EQ(driver->Info().preferredBufferSize, 512);
  ASSERT_EQ(driver->Create({0, 1}, 512), Asio::ok);
  const int32_t before = Log().switches.load();
  ASSERT_EQ(Ops().start(), Asio::ok);
  EXPECT_TRUE(Log().WaitForSwitches(before + 10)) << "the switches go on at the new size";
  EXPECT_EQ(Log().resets.load(), 1);
}

TEST_F(AsioJack, AKilledServerIsADriverFailureWithoutACrash) {
  TJackServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  auto driver = std::make_unique<TOpenDriver>(library, "JACK", Handle());
  ASSERT_EQ(driver->Create({0, 1}, 1024), Asio::ok);
  Log().onReset = [this] { Ops().stop(); };
  ASSERT_EQ(Ops().start(), Asio::ok);
  ASSERT_TRUE(Log().WaitForSwitches(3));

  std::string pid;
  ASSERT_EQ(RunCommand("pgrep -P " + std::to_string(::getpid()) + " -x jackd", &pid), 0);
  ASSERT_EQ(::kill(std::stoi(pid), SIGKILL), 0);
  ASSERT_TRUE(Log().WaitForResets(1)) << "the server's end is reported";
  const int32_t after = Log().switches.load();
  EXPECT_EQ(Ops().start(), Asio::notPresent);
  EXPECT_EQ(Ops().disposeBuffers(), Asio::ok);
  driver.reset();
  TOpenDriver again(library, "JACK", Handle());
  EXPECT_EQ(again.InitResult(), Asio::hardwareNotPresent);
  EXPECT_EQ(Log().switches.load(), after);
}
