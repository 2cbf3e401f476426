// The driver port against the library's simulated drivers: the preparation and its
// guard, what it takes from and gives back to the settings, every message and when it
// is shown again, the buffer records, the run state over the first switches, the
// formats through the port, the reset request and its timer, the clocks, the rate
// callback, a driver change and the stop contract.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "AsioPortSupport.h"
#include "audio/AudioPortFactory.h"

namespace {
const char* const float32 = "Simulated Float32";

// The port test's own soundcard: builds, never processes.
class TStandInSoundcard : public TAudioInOut {
public:
  using TAudioInOut::TAudioInOut;
  int32_t GetPortType() override { return AudioPortMultiMedia; }

protected:
  void OpenDevice() override {}
  void CloseDevice() override {}
  void StopDevice() override {}
  void StartDevice() override {}
};

std::string Value(const char* driver, const char* suffix) { return std::string(driver) + suffix; }
}  // namespace

class AsioPort : public AsioPortFixture {};

TEST_F(AsioPort, PreparationFollowsTheGuardAndTheDriverList) {
  struct TCase {
    const char* drivers;
    int32_t guard;          // "ASIOInit" before
    EAnswer answer;         // to the question, if asked
    bool asked;
    bool prepared;
  };
  const TCase cases[] = {
      {"all", 0, EAnswer::Ok, false, true},
      {"all", 2, EAnswer::Ok, false, false},        // switched off: silently
      {"all", 1, EAnswer::Yes, true, true},         // the last run stopped while listing
      {"all", 1, EAnswer::No, true, false},
      {"dropped", 0, EAnswer::Ok, false, false},    // only the left-out names
      {"JACK", 0, EAnswer::Ok, false, true},        // listed, whether a server runs or not
  };
  for (const TCase& c : cases) {
    TASIO::ForgetPreparation();
    messages.shown.clear();
    UseDrivers(c.drivers);
    Store("ASIOInit", c.guard);
    messages.Answer(c.answer);
    EXPECT_EQ(TASIO::Prepare(), c.prepared) << c.drivers << " guard " << c.guard;
    EXPECT_EQ(messages.shown.size(), c.asked ? 1u : 0u) << c.drivers << " guard " << c.guard;
    if (c.asked) {
      EXPECT_EQ(Shown()[0], "The initialisation of ASIO failt the last time.\n\nDo you want to try it again?");
    }
    EXPECT_EQ(Stored("ASIOInit"), c.prepared || c.guard == 0 ? 0 : c.guard) << c.drivers;
    messages.answers.clear();
  }
  TASIO::ForgetPreparation();
  UseDrivers("dropped");
  EXPECT_FALSE(TASIO::Prepare());
  UseDrivers("all");
  EXPECT_FALSE(TASIO::Prepare()) << "later calls answer the first result";
}

TEST_F(AsioPort, AMissingLibraryPreparesNothingAndTheFactoryFallsBackToTheSoundcard) {
  const char* const libraries[] = {THUDRA_PROGRAM_DIR "/no-such-library.dll", THUDRA_PROGRAM_DIR "/VMASIO.dll"};
  for (const char* path : libraries) {
    TASIO::ForgetPreparation();
    messages.shown.clear();
    TASIOLibrary::SetLibraryPath(TStr(path));
    UseDrivers("dropped");  // with the real library: only left-out names
    TAudioPortFactory factory;
    factory.Register(AudioPortASIO, &TASIO::Prepare, [](IAudioEnsemble* e) -> TAudioInOut* { return new TASIO(e); });
    factory.Register(AudioPortMultiMedia, [] { return true; },
                     [](IAudioEnsemble* e) -> TAudioInOut* { return new TStandInSoundcard(e); });
    IAudioInOut* port = factory.CreatePort(AudioPortASIO, &ensemble);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->GetPortType(), AudioPortMultiMedia) << path;
    EXPECT_EQ(Shown(), std::vector<std::string>{std::string(std::string_view(Msg::noAsioDrivers.GetText()))}) << path;
    factory.DestroyPort(port);
  }
}

TEST_F(AsioPort, StoredValuesPerDriverAreReadAsTheDriverNowIs) {
  struct TCase {
    const char* what;
    int32_t bufferSize, preferredSeen, clockIndex, channel0, channel1;  // -12345: not stored
    int32_t expectedSize, expectedClock, expectedRoute0, expectedRoute1;
  };
  const int32_t none = -12345;
  const TCase cases[] = {
      {"nothing stored", none, none, none, none, none, 256, 0, 0, 1},
      {"a size below 16", 8, 256, none, none, none, 256, 0, 0, 1},
      {"a size of its own", 512, 256, none, none, none, 512, 0, 0, 1},
      {"the preferred size changed since", 512, 128, none, none, none, 256, 0, 0, 1},
      {"the driver's current clock", none, none, -1, none, none, 256, 0, 0, 1},
      {"a stored clock", none, none, 1, none, none, 256, 1, 0, 1},
      {"routes of its own", none, none, none, 5, -1, 256, 0, 5, -1},
      {"a channel the driver lacks", none, none, none, 8, 7, 256, 0, -1, 7},
  };
  for (const TCase& c : cases) {
    registry.Values("Software\\Velmora\\Thudra").clear();
    UseDrivers(float32);
    auto put = [](const char* suffix, int32_t value) {
      if (value != -12345) Store(Value(float32, suffix), value);
    };
    put(" BufferSize", c.bufferSize);
    put(" Preferred BufferSize", c.preferredSeen);
    put(" ClockIndex", c.clockIndex);
    put(" OutputChannel 0", c.channel0);
    put(" OutputChannel 1", c.channel1);
    TPortPtr port = MakePort();
    port->Start();
    EXPECT_EQ(port->GetBufferSize(), c.expectedSize) << c.what;
    EXPECT_EQ(port->GetBlockSize(), c.expectedSize) << c.what;
    EXPECT_EQ(port->GetClockIndex(), c.expectedClock) << c.what;
    IASIO::TRouting routing;
    port->GetRouting(routing);
    EXPECT_EQ(routing.outputRoute[0], c.expectedRoute0) << c.what;
    EXPECT_EQ(routing.outputActive[0], c.expectedRoute0 >= 0 ? 1 : 0) << c.what;
    EXPECT_EQ(routing.outputRoute[1], c.expectedRoute1) << c.what;
    EXPECT_EQ(routing.outputRoute[8], -1) << "beyond the driver's outputs: " << c.what;
    EXPECT_TRUE(messages.shown.empty()) << c.what << ": " << (Shown().empty() ? "" : Shown()[0]);
    port->Stop();
  }
}

TEST_F(AsioPort, SettingsAreWrittenBackPerDriverName) {
  UseDrivers("Simulated Int16,Simulated Float32", 1);
  {
    TPortPtr port = MakePort();
    port->Start();
    IASIO::TRouting routing;
    port->GetRouting(routing);
    routing.outputRoute[2] = 6;
    routing.outputRoute[6] = -1;
    routing.outputActive[6] = 0;
    port->SetRouting(routing);
    port->SetBlockSize(128);
    port->Stop();
  }
  EXPECT_EQ(Stored("ASIO DriverIndex"), 1);
  EXPECT_EQ(Stored(Value(float32, " BufferSize")), 128);
  EXPECT_EQ(Stored(Value(float32, " Preferred BufferSize")), 256);
  EXPECT_EQ(Stored(Value(float32, " ClockIndex")), 0);
  const int32_t routes[] = {0, 1, 6, 3, 4, 5, -1, 7};
  for (int32_t slot = 0; slot < 8; ++slot)
    EXPECT_EQ(Stored(Value(float32, (" OutputChannel " + std::to_string(slot)).c_str())), routes[slot]) << slot;
  EXPECT_EQ(Stored(Value(float32, " OutputChannel 8")), -12345) << "only the driver's outputs";
  EXPECT_EQ(Stored(Value("Simulated Int16", " BufferSize")), -12345) << "the other driver was not opened";
}

TEST_F(AsioPort, EachMessageAndWhenItIsShownAgain) {
  struct TCase {
    const char* drivers;
    int32_t storedSize;  // 0: none
    std::vector<EAnswer> answers;
    std::vector<std::string> firstStart, secondStart;
  };
  const std::string tryPreferred = "Couldn't create audio buffer.\n   Try preferred Buffersize?";
  const TCase cases[] = {
      {"dropped", 0, {}, {"No ASIO Driver found."}, {}},
      {"Simulated In Use", 0, {}, {"ASIO Driver is in use by another application."}, {}},
      {"Simulated Not Present", 0, {}, {"Hardware not present or available."}, {}},
      {"Simulated Init Failure", 0, {}, {"Couldn't initialize ASIO."}, {}},
      {"Simulated Start Failure", 0, {}, {"Couldn't start ASIO."}, {}},
      {"Simulated Buffers Not Present", 0, {}, {"Hardware not present or available."},
       {"Hardware not present or available."}},
      {"Simulated Buffer Failure", 0, {}, {"Couldn't create audio buffer."}, {"Couldn't create audio buffer."}},
      {"Simulated Buffer Failure", 512, {EAnswer::Yes}, {tryPreferred, "Couldn't create audio buffer."},
       {"Couldn't create audio buffer."}},
      {"Simulated Buffer Failure", 512, {EAnswer::No}, {tryPreferred}, {tryPreferred}},
  };
  for (const TCase& c : cases) {
    registry.Values("Software\\Velmora\\Thudra").clear();
    UseDrivers(c.drivers);
    if (c.storedSize) {
      Store(Value(c.drivers, " BufferSize"), c.storedSize);
      Store(Value(c.drivers, " Preferred BufferSize"), 256);
    }
    TPortPtr port = MakePort();
    for (EAnswer answer : c.answers) messages.Answer(answer);
    messages.shown.clear();
    port->Start();
    EXPECT_EQ(Shown(), c.firstStart) << c.drivers << " " << c.storedSize;
    port->Stop();
    messages.shown.clear();
    messages.answers.clear();
    messages.Answer(EAnswer::No);
    port->Start();
    EXPECT_EQ(Shown(), c.secondStart) << "again: " << c.drivers << " " << c.storedSize;
    EXPECT_FALSE(port->HasDriverBuffers());
    port->Stop();
    messages.answers.clear();
    messages.shown.clear();
  }
}

TEST_F(AsioPort, AnInitialisationMessageComesBackWithTheNextInitialisation) {
  TPortPtr port = StartedPort("Simulated In Use,Simulated Not Present,Simulated Float32");
  EXPECT_EQ(Shown(), std::vector<std::string>{"ASIO Driver is in use by another application."});
  messages.shown.clear();
  port->SelectDriver(1);
  EXPECT_EQ(Shown(), std::vector<std::string>{"Hardware not present or available."});
  messages.shown.clear();
  port->SelectDriver(0);
  EXPECT_EQ(Shown(), std::vector<std::string>{"ASIO Driver is in use by another application."});
  messages.shown.clear();
  port->SelectDriver(2);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(port->IsDeviceRunning());
  EXPECT_EQ(port->GetOutputCount(), 8);
  port->SelectDriver(3);  // beyond the table
  EXPECT_EQ(port->GetDriverIndex(), 2);
}

TEST_F(AsioPort, BufferRecordsPairUpAndFollowTheRouting) {
  struct TCase {
    const char* what;
    std::vector<int32_t> routes;  // per slot 0..15, -1 unrouted
    std::vector<int32_t> channels;
    std::vector<int32_t> slots;
  };
  const TCase cases[] = {
      {"three active slots", {0, 3, 5}, {0, 3, 5, 7}, {0, 1, 2, -1}},
      {"the highest channel in use", {7, 1, 6}, {7, 1, 6, 5}, {0, 1, 2, -1}},
      {"one channel twice", {2, 2}, {2, 7}, {0, -1}},
      {"eight slots", {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"nothing routed", {}, {}, {}},
  };
  TPortPtr port = StartedPort(float32);
  for (const TCase& c : cases) {
    messages.shown.clear();
    IASIO::TRouting routing;
    port->GetRouting(routing);
    for (int32_t slot = 0; slot < 16; ++slot) {
      routing.outputRoute[slot] = slot < int32_t(c.routes.size()) ? c.routes[size_t(slot)] : -1;
      routing.outputActive[slot] = routing.outputRoute[slot] >= 0;
    }
    port->SetRouting(routing);
    std::vector<int32_t> channels;
    for (const TAsioBufferInfo& record : port->GetBufferRecords()) channels.push_back(record.channel);
    EXPECT_EQ(channels, c.channels) << c.what;
    EXPECT_EQ(port->GetRecordSlots(), c.slots) << c.what;
    EXPECT_EQ(port->HasDriverBuffers(), !c.channels.empty()) << c.what;
    EXPECT_TRUE(messages.shown.empty()) << c.what;
  }
}

TEST_F(AsioPort, TheFirstTwoSwitchesAfterAStartAreSilent) {
  TPortPtr port = StartedPort(float32);
  ASSERT_TRUE(port->IsDeviceRunning());
  EXPECT_EQ(port->GetRunState(), 2);
  std::fill(port->GetOutputBuffer(0), port->GetOutputBuffer(0) + 256, 0.5f);
  for (int n = 0; n < 2; ++n) {
    Switch();
    EXPECT_EQ(port->GetFramePosition(), 0) << "switch " << n;
    EXPECT_EQ(static_cast<const float*>(LastHalf(0))[10], 0.0f) << "switch " << n;
  }
  EXPECT_EQ(port->GetRunState(), 0);
  Switch();
  EXPECT_EQ(port->GetFramePosition(), 256);
  EXPECT_EQ(static_cast<const float*>(LastHalf(0))[10], 0.5f);
  EXPECT_EQ(Sim().calls(8), 3) << "output-ready after each switch";

  port->Pause();
  EXPECT_EQ(port->GetRunState(), -1);
  EXPECT_EQ(Sim().step(3, 1000), 3);
  EXPECT_EQ(port->GetFramePosition(), 256) << "a paused port processes nothing";
  port->Resume();
  Switch(3);
  EXPECT_EQ(port->GetFramePosition(), 512) << "two silent switches again, then one block";
  port->ClearBuffers();
  Switch(2);
  EXPECT_EQ(port->GetFramePosition(), 512);
}

TEST_F(AsioPort, EverySampleTypeThroughThePort) {
  struct TCase {
    const char* driver;
    float value;
    int64_t raw;  // the stored integer (float types: 0 and checked as floats)
  };
  const TCase cases[] = {
      {"Simulated Int16", 1.5f, 32767},          {"Simulated Int16", -1.5f, -32767},
      {"Simulated Int16", 0.5f, 16383},          {"Simulated Int24", 0.5f, 4194303},
      {"Simulated Int32", -0.5f, -1073741823},   {"Simulated Float32", 0.25f, 0},
      {"Simulated Float64", -0.75f, 0},          {"Simulated Int32 16-bit", 0.5f, 16383},
      {"Simulated Int32 18-bit", -1.5f, -131071}, {"Simulated Int32 20-bit", 0.5f, 262143},
      {"Simulated Int32 24-bit", 1.0f, 8388607},
  };
  for (const TCase& c : cases) {
    TPortPtr port = StartedPort(c.driver);
    ASSERT_TRUE(port->IsDeviceRunning()) << c.driver;
    std::fill(port->GetOutputBuffer(0), port->GetOutputBuffer(0) + 256, c.value);
    std::fill(port->GetOutputBuffer(1), port->GetOutputBuffer(1) + 256, -c.value / 2);
    Switch(3);
    const void* half = LastHalf(0);
    ASSERT_NE(half, nullptr);
    const int32_t type = port->GetChannelInfo()[2].sampleType;  // output 0, after the two inputs
    const int32_t bytes = Asio::SampleBytes(type);
    for (int32_t frame : {0, 255}) {
      const auto* at = static_cast<const uint8_t*>(half) + frame * bytes;
      if (type == Asio::float32LSB) {
        float stored;
        std::memcpy(&stored, at, 4);
        EXPECT_EQ(stored, c.value) << c.driver;
      } else if (type == Asio::float64LSB) {
        double stored;
        std::memcpy(&stored, at, 8);
        EXPECT_EQ(stored, double(c.value)) << c.driver;
      } else {
        int64_t stored = 0;
        std::memcpy(&stored, at, size_t(bytes));
        const int shift = 64 - 8 * bytes;
        EXPECT_EQ((stored << shift) >> shift, c.raw) << c.driver << " frame " << frame;
      }
    }
    // Output 0 is driver channel 2 after the inputs (left), output 1 channel 3 (right).
    EXPECT_FLOAT_EQ(port->GetOutputPeakLeft(), std::abs(c.value)) << c.driver;
    EXPECT_FLOAT_EQ(port->GetOutputPeakRight(), std::abs(c.value / 2)) << c.driver;
    EXPECT_EQ(port->GetOutputPeakLeft(), 0.0f) << "a read resets the peak";
    port->Stop();
  }
}

TEST_F(AsioPort, MixedTypesAreConvertedPerBuffer) {
  TPortPtr port = StartedPort("Simulated Mixed Types");
  ASSERT_TRUE(port->IsDeviceRunning());
  for (int32_t slot = 0; slot < 16; ++slot) std::fill(port->GetOutputBuffer(slot), port->GetOutputBuffer(slot) + 256, 0.5f);
  Switch(3);
  const int64_t expected[] = {16383, 4194303, 1073741823, 0, 0, 16383, 65535, 262143, 4194303,
                              16383, 4194303, 1073741823, 0, 0, 16383, 65535};
  for (int32_t slot = 0; slot < 16; ++slot) {
    const int32_t type = port->GetChannelInfo()[2 + slot].sampleType;
    const auto* at = static_cast<const uint8_t*>(LastHalf(slot));
    const int32_t bytes = Asio::SampleBytes(type);
    if ((type & ~16) == Asio::float32MSB) {
      float stored;
      std::memcpy(&stored, at, 4);
      EXPECT_EQ(stored, 0.5f) << slot;
    } else if ((type & ~16) == Asio::float64MSB) {
      double stored;
      std::memcpy(&stored, at, 8);
      EXPECT_EQ(stored, 0.5) << slot;
    } else {
      int64_t stored = 0;
      std::memcpy(&stored, at, size_t(bytes));
      EXPECT_EQ(stored, expected[slot]) << "slot " << slot << " type " << type;
    }
  }
}

TEST_F(AsioPort, AResetRequestReopensOnTheTimerAfterAHundredMilliseconds) {
  TPortPtr port = StartedPort("Simulated Reset,Simulated Float32");
  ASSERT_TRUE(port->IsDeviceRunning());
  Switch(3);
  Sim().setPreferredSize("Simulated Reset", 512);
  Sim().requestReset();
  for (int i = 0; i < 500 && !port->IsResetPending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(port->IsResetPending());
  const int32_t position = port->GetFramePosition();
  EXPECT_EQ(Sim().step(2, 1000), 2);
  EXPECT_EQ(port->GetFramePosition(), position) << "the driver stopped at the request";
  Tick(50);
  EXPECT_TRUE(port->IsResetPending()) << "50 ms after the request";
  EXPECT_EQ(port->GetBufferSize(), 256);
  Tick(50);
  EXPECT_FALSE(port->IsResetPending());
  EXPECT_EQ(port->GetBufferSize(), 512) << "the driver's new preferred size";
  EXPECT_EQ(port->GetBlockSize(), 512);
  EXPECT_TRUE(port->IsDeviceRunning());
  Switch(3);
  EXPECT_EQ(port->GetFramePosition(), position + 512) << "the sound goes on at the new size";
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(AsioPort, TheDriversPanelMayAskForAReset) {
  TPortPtr port = StartedPort("Simulated Reset");
  port->OpenControlPanel();
  EXPECT_EQ(Shown(), std::vector<std::string>{"Simulated driver Simulated Reset"});
  EXPECT_NE(Sim().lastPanelValue(), 0);
  for (int i = 0; i < 500 && !port->IsResetPending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  Tick(50);
  Tick(50);
  EXPECT_EQ(port->GetBufferSize(), 512);
}

TEST_F(AsioPort, ClocksWithKnownAndUnknownRates) {
  struct TCase {
    const char* what;
    int32_t clock;
    int32_t storedExtRate;  // 0: none
    int32_t panelRate;      // 0: Cancel; -1: no panel expected
    int32_t expectedClock;
    float expectedRate;
    std::vector<std::string> messages;
  };
  const TCase cases[] = {
      {"a second known clock", 1, 0, -1, 1, 48000.0f, {}},
      {"known, without a signal", 3, 0, -1, 0, 44100.0f, {"Clockrate not supported", "Couldn't set clockrate"}},
      {"external, its rate stored", 2, 32000, -1, 2, 32000.0f, {}},
      {"external, the rate asked", 2, 0, 48000, 2, 48000.0f, {}},
      {"external, the question cancelled", 2, 0, 0, 0, 44100.0f, {"Couldn't set clockrate"}},
  };
  static int32_t panelAnswer = 0;
  static int32_t panelAsked = 0;
  TASIOPanels panels;
  panels.askClockRate = [](IASIO&, float& rate) {
    ++panelAsked;
    rate = static_cast<float>(panelAnswer);
    return panelAnswer > 0;
  };
  TASIO::SetPanels(panels);
  for (const TCase& c : cases) {
    registry.Values("Software\\Velmora\\Thudra").clear();
    TASIO::ForgetPreparation();
    if (c.storedExtRate) Store("ASIO ExtClockRate", c.storedExtRate);
    panelAnswer = c.panelRate;
    panelAsked = 0;
    ensemble.sampleRate = 44100.0f;
    TPortPtr port = StartedPort(float32);
    messages.shown.clear();
    port->SetClock(c.clock);
    EXPECT_EQ(port->GetClockIndex(), c.expectedClock) << c.what;
    EXPECT_EQ(ensemble.sampleRate, c.expectedRate) << c.what;
    EXPECT_EQ(Shown(), c.messages) << c.what;
    EXPECT_EQ(panelAsked, c.panelRate >= 0 ? 1 : 0) << c.what;
    if (c.panelRate > 0) {
      EXPECT_EQ(Stored("ASIO ExtClockRate"), c.panelRate) << c.what;
    }
    port->Stop();
  }
}

TEST_F(AsioPort, TheDriversNewRateReachesTheEnsembleOnTheTimer) {
  TPortPtr port = StartedPort(float32);
  Sim().changeRate(48000.0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ensemble.sampleRate, 44100.0f) << "not on the driver's thread";
  Tick(50);
  EXPECT_EQ(ensemble.sampleRate, 48000.0f);
  EXPECT_EQ(ensemble.clockRate, 48000.0f);
  EXPECT_TRUE(port->IsDeviceRunning());
}

TEST_F(AsioPort, PauseReturnsOnlyWhenNoSwitchCanProcess) {
  TPortPtr port = StartedPort(float32);
  port->SetBlockSize(32);
  Sim().setInterval(100);
  for (int round = 0; round < 20; ++round) {
    const int32_t before = port->GetFramePosition();
    for (int i = 0; i < 500 && port->GetFramePosition() == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    port->Pause();
    const int32_t stopped = port->GetFramePosition();
    EXPECT_FALSE(port->IsBusy());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(port->GetFramePosition(), stopped) << "round " << round;
    port->Resume();
  }
  port->Stop();
}

TEST_F(AsioPort, ARateFactorScalesTheBlockAndConvertsTheRate) {
  for (float factor : {0.5f, 0.75f, 1.5f, 2.0f, 3.0f}) {
    ensemble.rateFactor.Set(factor, nullptr);
    TPortPtr port = StartedPort(float32);
    EXPECT_EQ(port->GetBlockSize(), static_cast<int32_t>(256 * factor)) << factor;
    std::fill(port->GetOutputBuffer(0), port->GetOutputBuffer(0) + port->GetBlockSize(), 0.5f);
    Switch(4);  // two silent, then two blocks: the second has its history
    const auto* half = static_cast<const float*>(LastHalf(0));
    for (int32_t frame = 0; frame < 256; ++frame) ASSERT_NEAR(half[frame], 0.5f, 1e-6) << factor << " frame " << frame;
    port->Stop();
  }
}
