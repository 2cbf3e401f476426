// The ten operations against the library's simulated drivers: what initialisation
// reports, which buffers are made, the buffer switches on the driver's thread, the
// messages on the library's thread, the clocks and the panel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "AsioTestSupport.h"

namespace {
class AsioSimulated : public ::testing::Test {
protected:
  void SetUp() override {
    ::setenv("THUDRA_SIMULATED_ASIO", "all,dropped", 1);
    ASSERT_TRUE(library.Loaded());
    TCallbackLog::Get().Clear();
    library.Simulator().setInterval(AsioSimulation::held);
  }
  void TearDown() override {
    TCallbackLog::Get().Clear();
    ::unsetenv("THUDRA_SIMULATED_ASIO");
  }
  const TAsioOrdinals& Ops() const { return library.Ops(); }
  const TAsioSimulatorControl& Sim() const { return library.Simulator(); }
  TCallbackLog& Log() { return TCallbackLog::Get(); }

  TAsioTestLibrary library;
};
}  // namespace

TEST_F(AsioSimulated, InitialisationAnswersAsEachDriverWould) {
  const std::pair<const char*, int32_t> cases[] = {
      {"Simulated Float32", Asio::outputReadySupported},
      {"Simulated Int16", Asio::outputReadyNotSupported},
      {"Simulated In Use", Asio::inUse},
      {"Simulated Not Present", Asio::hardwareNotPresent},
      {"Simulated Init Failure", Asio::initFailed},
      {"ASIO DirectX Driver", Asio::outputReadySupported},
  };
  for (const auto& [name, expected] : cases) {
    TOpenDriver driver(library, name);
    EXPECT_EQ(driver.InitResult(), expected) << name;
  }
}

TEST_F(AsioSimulated, InitialisationDescribesTheDriver) {
  TOpenDriver driver(library, "Simulated Float32");
  ASSERT_EQ(driver.InitResult(), Asio::outputReadySupported);
  const TAsioDriverInfo& info = driver.Info();
  EXPECT_EQ(info.preferredBufferSize, 256);
  EXPECT_EQ(info.minBufferSize, 32);
  EXPECT_EQ(info.maxBufferSize, 2048);
  EXPECT_EQ(info.outputCount, 8);
  EXPECT_EQ(info.inputCount, 2);
  EXPECT_EQ(info.sampleRate, 44100);
  EXPECT_EQ(info.clockCount, 4);
  EXPECT_EQ(info.clockIndex, 0);
  const int32_t knows[] = {1, 1, 0, 1};
  const char* clockNames[] = {"Internal", "Word Clock", "External", "S/PDIF"};
  for (int32_t c = 0; c < 4; ++c) {
    EXPECT_EQ(info.clockKnowsRate[c], knows[c]);
    EXPECT_STREQ(info.clockName[c], clockNames[c]);
  }
  EXPECT_STREQ(driver.Input(0).name, "Sim In 1");
  EXPECT_EQ(driver.Input(1).isInput, 1);
  for (int32_t n = 0; n < 8; ++n) {
    EXPECT_EQ(driver.Output(n).channel, n);
    EXPECT_EQ(driver.Output(n).isInput, 0);
    EXPECT_EQ(driver.Output(n).isActive, 0);
    EXPECT_EQ(driver.Output(n).sampleType, Asio::float32LSB);
    EXPECT_EQ(std::string(driver.Output(n).name), "Sim Out " + std::to_string(n + 1));
  }
}

TEST_F(AsioSimulated, BuffersHaveTwoZeroedHalvesOfTheChannelsSampleType) {
  TOpenDriver driver(library, "Simulated Mixed Types");
  ASSERT_GT(driver.InitResult(), 0);
  ASSERT_EQ(driver.Info().outputCount, 18);
  std::vector<int32_t> all;
  for (int32_t n = 0; n < 18; ++n) all.push_back(n);
  ASSERT_EQ(driver.Create(all, 64, {0, 1}), Asio::ok);
  for (const TAsioBufferInfo& record : driver.Records()) {
    const int32_t type = record.isInput ? driver.Input(record.channel).sampleType : driver.Output(record.channel).sampleType;
    const size_t bytes = 64 * size_t(Asio::SampleBytes(type));
    ASSERT_GT(bytes, 0u);
    for (void* half : record.buffers) {
      ASSERT_NE(half, nullptr);
      std::vector<uint8_t> zero(bytes, 0);
      EXPECT_EQ(std::memcmp(half, zero.data(), bytes), 0);
      std::memset(half, 0x5A, bytes);  // the whole half is ours (the address sanitizer checks)
    }
    EXPECT_NE(record.buffers[0], record.buffers[1]);
  }
  const int32_t types[] = {16, 17, 18, 19, 20, 24, 25, 26, 27, 0, 1, 2, 3, 4, 8, 9, 10, 11};
  for (int32_t n = 0; n < 18; ++n) {
    EXPECT_EQ(driver.Output(n).sampleType, types[n]);
    EXPECT_EQ(driver.Output(n).isActive, 1);
  }
}

TEST_F(AsioSimulated, CreateBuffersRefusesWhatTheDriverCannotMake) {
  struct TCase {
    const char* driver;
    std::vector<int32_t> outputs;
    int32_t frames;
    int32_t expected;
  };
  const TCase cases[] = {
      {"Simulated Buffers Not Present", {0, 1}, 256, Asio::notPresent},
      {"Simulated Buffer Failure", {0, 1}, 256, Asio::invalidMode},
      {"Simulated Float32", {0, 8}, 256, Asio::invalidParameter},   // no output 8
      {"Simulated Float32", {3, 3}, 256, Asio::invalidParameter},   // twice the same channel
      {"Simulated Float32", {}, 256, Asio::invalidParameter},       // no record
      {"Simulated Float32", {0, 1}, 16, Asio::invalidParameter},    // below the minimum
      {"Simulated Float32", {0, 1}, 4096, Asio::invalidParameter},  // above the maximum
      {"Simulated Float32", {0, 7}, 32, Asio::ok},
  };
  for (const TCase& c : cases) {
    TOpenDriver driver(library, c.driver);
    ASSERT_GT(driver.InitResult(), 0) << c.driver;
    EXPECT_EQ(driver.Create(c.outputs, c.frames), c.expected) << c.driver << " " << c.frames;
  }
}

TEST_F(AsioSimulated, BufferSwitchesAlternateHalvesOnTheDriversThread) {
  TOpenDriver driver(library, "Simulated Float32");
  ASSERT_EQ(driver.Create({0, 1, 2, 7}, 256), Asio::ok);
  EXPECT_EQ(Sim().step(2, 2000), 2);
  EXPECT_EQ(Log().switches.load(), 0) << "no switch before the start";
  ASSERT_EQ(Ops().start(), Asio::ok);
  EXPECT_EQ(Sim().step(6, 2000), 6);
  ASSERT_EQ(Log().switches.load(), 6);
  for (int32_t n = 0; n < 6; ++n) EXPECT_EQ(Log().halves[size_t(n)].load(), n % 2);
  EXPECT_EQ(Log().switchesOnTestThread.load(), 0);
  EXPECT_EQ(Log().processNowZero.load(), 0);

  EXPECT_EQ(Ops().stop(), Asio::ok);
  EXPECT_EQ(Sim().step(3, 2000), 3);
  EXPECT_EQ(Log().switches.load(), 6) << "a stopped driver switches no buffers";

  ASSERT_EQ(Ops().start(), Asio::ok);
  EXPECT_EQ(Sim().step(1, 2000), 1);
  EXPECT_EQ(Log().halves[6].load(), 0) << "a start begins with half 0";
}

TEST_F(AsioSimulated, TheDriversThreadKeepsThePaceSet) {
  TOpenDriver driver(library, "Simulated Int24");
  ASSERT_EQ(driver.Create({0, 1}, 64), Asio::ok);
  ASSERT_EQ(Ops().start(), Asio::ok);
  Sim().setInterval(500);
  EXPECT_TRUE(Log().WaitForSwitches(40)) << "switches every 0.5 ms";
  Sim().setInterval(AsioSimulation::held);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int32_t held = Log().switches.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Log().switches.load(), held) << "a held driver waits for steps";
  Sim().setInterval(AsioSimulation::naturalPace);
  EXPECT_TRUE(Log().WaitForSwitches(held + 20)) << "64 frames at 44100 Hz: a switch every 1.45 ms";
}

TEST_F(AsioSimulated, OutputReadyIsCountedFromInsideTheSwitch) {
  TOpenDriver driver(library, "Simulated Float32");
  ASSERT_EQ(driver.Create({0, 1}, 256), Asio::ok);
  Log().onSwitch = [this](int32_t) { Ops().outputReady(); };
  ASSERT_EQ(Ops().start(), Asio::ok);
  EXPECT_EQ(Sim().step(5, 2000), 5);
  EXPECT_EQ(Sim().calls(8), 5);
}

TEST_F(AsioSimulated, AResetRequestArrivesOnTheLibrarysThreadWhichMayStopTheDriver) {
  TOpenDriver driver(library, "Simulated Float32");
  ASSERT_EQ(driver.Create({0, 1}, 256), Asio::ok);
  ASSERT_EQ(Ops().start(), Asio::ok);
  Log().onReset = [this] { Ops().stop(); };  // as the port's handler does
  Sim().requestReset();
  ASSERT_TRUE(Log().WaitForResets(1));
  EXPECT_EQ(Log().messagesOnTestThread.load(), 0);
  EXPECT_EQ(Sim().step(3, 2000), 3);
  EXPECT_EQ(Log().switches.load(), 0) << "stopped from inside the message";

  EXPECT_EQ(Ops().disposeBuffers(), Asio::ok);
  Sim().requestReset();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Log().resets.load(), 1) << "no messages once the buffers are gone";
}

TEST_F(AsioSimulated, ARateChangeReachesTheRateCallback) {
  TOpenDriver driver(library, "Simulated Float32");
  ASSERT_EQ(driver.Create({0, 1}, 256), Asio::ok);
  Sim().changeRate(48000.0);
  for (int i = 0; i < 500 && Log().rateChanges.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(Log().rateChanges.load(), 1);
  EXPECT_EQ(Log().lastRate.load(), 48000.0);
}

TEST_F(AsioSimulated, TheResetDriversPanelChangesItsPreferredSizeAndAsksForAReset) {
  int32_t shown = 0;
  TAsioPanelHost host{&shown, [](void* context, const char* text, const char*) {
                        EXPECT_NE(std::strstr(text, "Simulated Reset"), nullptr);
                        ++*static_cast<int32_t*>(context);
                      }};
  {
    TOpenDriver driver(library, "Simulated Reset");
    ASSERT_EQ(driver.Info().preferredBufferSize, 256);
    ASSERT_EQ(driver.Create({0, 1}, 256), Asio::ok);
    EXPECT_EQ(Ops().controlPanel(reinterpret_cast<intptr_t>(&host)), Asio::ok);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(Sim().lastPanelValue(), reinterpret_cast<intptr_t>(&host));
    EXPECT_TRUE(Log().WaitForResets(1));
  }
  TOpenDriver again(library, "Simulated Reset");
  EXPECT_EQ(again.Info().preferredBufferSize, 512);
  Sim().setPreferredSize("Simulated Reset", 128);
  TOpenDriver third(library, "Simulated Reset");
  EXPECT_EQ(third.Info().preferredBufferSize, 128);
}

TEST_F(AsioSimulated, ClocksAnswerTheirRatesOrNoClock) {
  TOpenDriver driver(library, "Simulated Float32");
  TAsioDriverInfo& info = driver.Info();
  struct TCase {
    int32_t index;
    int32_t rate;
    int32_t clockAfter;
    int32_t rateAfter;
  };
  const TCase cases[] = {
      {1, 48000, 1, 48000},          // a second known clock
      {2, 0, 2, 48000},              // an external clock whose rate the driver does not know
      {3, Asio::noClock, 2, 48000},  // no signal: nothing changes
      {7, Asio::noClock, 2, 48000},  // no such clock
      {0, 44100, 0, 44100},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Ops().selectClock(&info, c.index), c.rate) << c.index;
    EXPECT_EQ(info.clockIndex, c.clockAfter) << c.index;
    EXPECT_EQ(info.sampleRate, c.rateAfter) << c.index;
  }
}

TEST_F(AsioSimulated, AFailingStartLeavesTheBuffersSilent) {
  TOpenDriver driver(library, "Simulated Start Failure");
  ASSERT_EQ(driver.Create({0, 1}, 256), Asio::ok);
  EXPECT_LT(Ops().start(), 0);
  EXPECT_EQ(Sim().step(3, 2000), 3);
  EXPECT_EQ(Log().switches.load(), 0);
}

TEST_F(AsioSimulated, EndingARunningDriverStopsItsSwitchesFirst) {
  Sim().setInterval(200);
  for (const char* name : {"Simulated Float32", "Simulated Float64", "Simulated Int32"}) {
    TOpenDriver driver(library, name);
    ASSERT_EQ(driver.Create({0, 1, 2}, 32), Asio::ok);
    // The switch writes its whole half: after operation 3 nothing may touch it.
    std::vector<TAsioBufferInfo> records = driver.Records();
    const size_t bytes = 32 * size_t(Asio::SampleBytes(driver.Output(0).sampleType));
    Log().onSwitch = [records, bytes](int32_t half) {
      for (const TAsioBufferInfo& record : records) std::memset(record.buffers[half], 1, bytes);
    };
    ASSERT_EQ(Ops().start(), Asio::ok);
    ASSERT_TRUE(Log().WaitForSwitches(10));
    EXPECT_EQ(Ops().exitDriver(), Asio::ok);
    const int32_t after = Log().switches.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Log().switches.load(), after);
    Log().Clear();
  }
}

TEST_F(AsioSimulated, InitialisingAnotherDriverEndsTheFirst) {
  TOpenDriver first(library, "Simulated Float32");
  ASSERT_EQ(first.Create({0, 1}, 256), Asio::ok);
  ASSERT_EQ(Ops().start(), Asio::ok);
  TOpenDriver second(library, "Simulated Int16");
  EXPECT_EQ(second.InitResult(), Asio::outputReadyNotSupported);
  EXPECT_EQ(Sim().step(2, 2000), 0) << "the first driver's thread is gone";
  EXPECT_EQ(Log().switches.load(), 0);
}
