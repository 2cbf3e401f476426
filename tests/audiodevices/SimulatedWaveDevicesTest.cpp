// The simulated wave devices and their clock: what the soundcard port's exact tests
// stand on.
#include <gtest/gtest.h>

#include <vector>

#include "audio/TWaveEventQueue.h"
#include "pc/audio/TWaveDeviceLayer.h"

namespace {
using TOptions = TSimulatedWaveDevices::TOptions;
constexpr auto Output = EWaveDirection::Output;
constexpr auto Input = EWaveDirection::Input;

struct TBlocks {
  TBlocks(size_t count, uint32_t bytes) : data(count * bytes), headers(count) {
    for (size_t i = 0; i < count; ++i) {
      headers[i].data = data.data() + i * bytes;
      headers[i].bufferBytes = bytes;
      for (uint32_t b = 0; b < bytes / 2; ++b) reinterpret_cast<int16_t*>(headers[i].data)[b] = int16_t(i * 1000 + b);
    }
  }
  std::vector<uint8_t> data;
  std::vector<TWaveHeader> headers;
};

class SimulatedDevicesTest : public ::testing::Test {
protected:
  SimulatedDevicesTest() : layer(TWaveDeviceLayer::TOptions{false}) {}
  TSimulatedWaveDevices& Devices() { return layer.Simulated(); }
  std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, EWaveOpenResult& result) {
    return layer.Open(direction, name, events, result);
  }
  std::vector<TWaveNotification> Taken() {
    std::vector<TWaveNotification> all;
    TWaveNotification notification;
    while (events.Pop(notification)) all.push_back(notification);
    return all;
  }

  TWaveDeviceLayer layer;
  TWaveEventQueue events;
};

TEST_F(SimulatedDevicesTest, ListsEachDirectionWithTheFormatBitAndRepeatedNamesMadeUnique) {
  Devices().Add("Card");
  Devices().Add("Old card", {.takesPortFormat = false});
  Devices().Add("Speaker", {.input = false});
  Devices().Add("Card");
  std::vector<std::pair<std::string, bool>> outputs, inputs;
  for (const auto& device : layer.ListOutputs()) outputs.emplace_back(device.name, device.takesPortFormat);
  for (const auto& device : layer.ListInputs()) inputs.emplace_back(device.name, device.takesPortFormat);
  using TList = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(outputs, (TList{{"Card", true}, {"Old card", false}, {"Speaker", true}, {"Card 2", true}}));
  EXPECT_EQ(inputs, (TList{{"Card", true}, {"Old card", false}, {"Card 2", true}}));
}

TEST_F(SimulatedDevicesTest, OpenAnswersWhyADeviceCannotBeOpened) {
  Devices().Add("Free");
  Devices().Add("Busy", {.inUse = true});
  Devices().Add("Broken", {.failOpen = true});
  Devices().Add("Old", {.takesPortFormat = false});
  Devices().Add("Half", {.fullDuplex = false});
  struct TCase {
    EWaveDirection direction;
    const char* name;
    EWaveOpenResult expected;
  } cases[] = {
      {Output, "Free", EWaveOpenResult::Opened},   {Output, "Free", EWaveOpenResult::InUse},
      {Input, "Free", EWaveOpenResult::Opened},    {Output, "Busy", EWaveOpenResult::InUse},
      {Output, "Broken", EWaveOpenResult::Failed}, {Output, "Old", EWaveOpenResult::Unsupported},
      {Output, "None", EWaveOpenResult::Missing},  {Output, "Half", EWaveOpenResult::Opened},
      {Input, "Half", EWaveOpenResult::InUse},
  };
  std::vector<std::unique_ptr<IWaveDevice>> open;
  for (const TCase& c : cases) {
    EWaveOpenResult result = EWaveOpenResult::Failed;
    auto device = Open(c.direction, c.name, result);
    EXPECT_EQ(result, c.expected) << c.name;
    EXPECT_EQ(device != nullptr, c.expected == EWaveOpenResult::Opened) << c.name;
    if (device) open.push_back(std::move(device));
  }
}

TEST_F(SimulatedDevicesTest, AnOutputPlaysItsHeadersAtTheClocksRateInOrder) {
  Devices().Add("Card");
  EWaveOpenResult result;
  auto device = Open(Output, "Card", result);
  ASSERT_TRUE(device);
  TBlocks blocks(2, 1024);
  for (auto& header : blocks.headers) {
    ASSERT_TRUE(device->Prepare(header));
    ASSERT_TRUE(device->Queue(header));
    EXPECT_FALSE(device->Queue(header));
  }
  // 256 frames are 5.8 ms: the first header is back after 6 ms, the second after 12 ms.
  layer.Clock().Advance(5);
  EXPECT_TRUE(Taken().empty());
  layer.Clock().Advance(1);
  std::vector<TWaveNotification> back = Taken();
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].header, &blocks.headers[0]);
  EXPECT_TRUE(blocks.headers[0].IsDone());
  layer.Clock().Advance(6);
  back = Taken();
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].header, &blocks.headers[1]);
  const std::vector<int16_t> played = Devices().Played("Card");
  ASSERT_EQ(played.size(), 1024u);
  EXPECT_EQ(played[0], 0);
  EXPECT_EQ(played[511], 511);
  EXPECT_EQ(played[512], 1000);
  // Running dry after playing is one underrun, however long it lasts.
  layer.Clock().Advance(50);
  EXPECT_EQ(device->GetCounters().underruns, 1u);
}

TEST_F(SimulatedDevicesTest, APausedOutputHoldsItsHeadersAndResetGivesThemBack) {
  Devices().Add("Card");
  EWaveOpenResult result;
  auto device = Open(Output, "Card", result);
  TBlocks blocks(3, 512);
  device->Pause();
  for (auto& header : blocks.headers) {
    device->Prepare(header);
    device->Queue(header);
  }
  layer.Clock().Advance(20);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(device->GetCounters().underruns, 0u);
  device->Start();
  layer.Clock().Advance(3);
  EXPECT_EQ(Taken().size(), 1u);
  device->Reset();
  EXPECT_EQ(Taken().size(), 2u);
  EXPECT_EQ(Devices().QueuedSizes("Card"), (std::vector<uint32_t>{512, 512, 512}));
}

TEST_F(SimulatedDevicesTest, AnInputRecordsTheSignalOnceStarted) {
  Devices().Add("Card");
  Devices().SetSignal("Card", [](uint64_t frame, int16_t& left, int16_t& right) {
    left = int16_t(frame);
    right = int16_t(-int64_t(frame));
  });
  EWaveOpenResult result;
  auto device = Open(Input, "Card", result);
  TBlocks blocks(2, 512);
  for (auto& header : blocks.headers) {
    device->Prepare(header);
    device->Queue(header);
  }
  layer.Clock().Advance(10);
  EXPECT_TRUE(Taken().empty());
  device->Start();
  layer.Clock().Advance(3);
  const std::vector<TWaveNotification> back = Taken();
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].header->recordedBytes, 512u);
  const auto* samples = reinterpret_cast<const int16_t*>(back[0].header->data);
  EXPECT_EQ(samples[0], 0);
  EXPECT_EQ(samples[254], 127);
  EXPECT_EQ(samples[255], -127);
  // Closing gives the half-filled header back with what it holds, then says closed.
  device.reset();
  const std::vector<TWaveNotification> last = Taken();
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].header, &blocks.headers[1]);
  EXPECT_GT(last[0].header->recordedBytes, 0u);
  EXPECT_EQ(last[1].event, EWaveEvent::Closed);
}

TEST_F(SimulatedDevicesTest, ADeviceThatGoesAwayGivesEveryHeaderBackAndIsLost) {
  Devices().Add("Card");
  EWaveOpenResult result;
  auto device = Open(Output, "Card", result);
  TBlocks blocks(4, 1024);
  for (auto& header : blocks.headers) {
    device->Prepare(header);
    device->Queue(header);
  }
  Devices().Remove("Card");
  std::vector<TWaveNotification> back = Taken();
  ASSERT_EQ(back.size(), 5u);
  EXPECT_EQ(back[4].event, EWaveEvent::Lost);
  EXPECT_TRUE(device->IsLost());
  EXPECT_TRUE(layer.ListOutputs().empty());
  // A lost device takes headers and gives them back.
  ASSERT_TRUE(device->Queue(blocks.headers[0]));
  EXPECT_EQ(Taken().size(), 1u);
}

TEST_F(SimulatedDevicesTest, InManualModeHeadersComeBackWhenTheTestSays) {
  Devices().Add("Card", {.manual = true});
  EWaveOpenResult result;
  auto device = Open(Output, "Card", result);
  TBlocks blocks(3, 1024);
  for (auto& header : blocks.headers) {
    device->Prepare(header);
    device->Queue(header);
  }
  layer.Clock().Advance(100);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(Devices().Complete("Card", Output, 2), 2u);
  EXPECT_EQ(Taken().size(), 2u);
  EXPECT_EQ(Devices().Queued("Card", Output), 1u);
}

class TCountingTarget : public IMediaTimerTarget {
public:
  explicit TCountingTarget(TSimulatedClock& clock) : clock(clock) {}
  void OnMediaTick() override { at.push_back(clock.Now()); }
  TSimulatedClock& clock;
  std::vector<int64_t> at;
};

TEST(SimulatedClockTest, APeriodicTimerTicksExactlyAtEveryPeriodUntilStopped) {
  TSimulatedClock clock;
  TCountingTarget target(clock);
  EXPECT_EQ(clock.Start(0, 0, target), 0u);
  const uint32_t timer = clock.Start(4, 0, target);
  ASSERT_NE(timer, 0u);
  clock.Advance(3);
  EXPECT_TRUE(target.at.empty());
  clock.Advance(10);
  EXPECT_EQ(target.at, (std::vector<int64_t>{4, 8, 12}));
  clock.Stop(timer);
  clock.Sleep(20);
  EXPECT_EQ(target.at.size(), 3u);
  EXPECT_EQ(clock.Now(), 33);
  EXPECT_EQ(clock.RunningTimers(), 0);
}

TEST(WaveEventQueueTest, KeepsTheOrderAndCountsWhatAFullMailboxTurnsAway) {
  TWaveEventQueue queue;
  std::vector<TWaveHeader> headers(3);
  for (size_t i = 0; i < TWaveEventQueue::capacity; ++i)
    ASSERT_TRUE(queue.Push({EWaveEvent::BlockDone, Output, &headers[i % 3]}));
  EXPECT_FALSE(queue.Push({EWaveEvent::Closed, Output, nullptr}));
  EXPECT_EQ(queue.GetDropped(), 1u);
  TWaveNotification notification;
  for (size_t i = 0; i < TWaveEventQueue::capacity; ++i) {
    ASSERT_TRUE(queue.Pop(notification));
    ASSERT_EQ(notification.header, &headers[i % 3]);
  }
  EXPECT_FALSE(queue.Pop(notification));
}
}  // namespace
