// ALSA's PCMs as wave devices, on a real and paced PCM without a sound card: ALSA's
// JACK PCM (wrapped in a plug PCM) on a JACK server of the test's own, whose ports a
// JACK client of the test captures and feeds.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <deque>
#include <memory>
#include <thread>

#include "AudioDeviceTestSupport.h"
#include "MidiTestSupport.h"
#include "pc/audio/TAlsaWaveBackend.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr double tone = 441.0;

struct THeaders {
  explicit THeaders(size_t count, uint32_t bytes) : data(count * bytes), headers(count) {
    for (size_t i = 0; i < count; ++i) {
      headers[i].data = data.data() + i * bytes;
      headers[i].bufferBytes = bytes;
      headers[i].user = static_cast<intptr_t>(i);
    }
  }
  std::vector<uint8_t> data;
  std::vector<TWaveHeader> headers;
};

class AlsaJackDeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running()) << server.Log();
    config = std::make_unique<TAlsaJackConfig>(folder.Path());
    capture = std::make_unique<TJackCapture>(20.0, 1000.0, 0.5f);
    ASSERT_TRUE(capture->Opened());
    ASSERT_TRUE(server.WaitForPort(std::string(TAlsaJackConfig::captureClient) + ":in_1"));
  }
  void TearDown() override {
    capture.reset();
    config.reset();
  }

  std::unique_ptr<IWaveDevice> OpenDevice(EWaveDirection direction) {
    EWaveOpenResult result = EWaveOpenResult::Failed;
    auto device = backend.Open(direction, TAlsaJackConfig::pcmName, 1, events, result);
    EXPECT_EQ(result, EWaveOpenResult::Opened);
    return device;
  }

  // Plays frames of the tone, keeping at most queued headers of 256 frames at the
  // device; answers how many came back and whether the device reported itself lost.
  struct TPlayed {
    size_t queued = 0;
    size_t returned = 0;
    bool lost = false;
  };
  TPlayed Play(IWaveDevice& device, THeaders& headers, uint64_t frames, size_t queued, uint64_t& position) {
    TPlayed played;
    std::deque<TWaveHeader*> order;
    std::vector<TWaveHeader*> free;
    for (auto& header : headers.headers) {
      if (device.Prepare(header) || header.IsPrepared()) free.push_back(&header);
    }
    const uint64_t end = position + frames;
    while (position < end || played.returned < played.queued) {
      while (position < end && !free.empty() && played.queued - played.returned < queued) {
        TWaveHeader* header = free.back();
        free.pop_back();
        FillSine(reinterpret_cast<int16_t*>(header->data), header->bufferBytes / 4, position, tone, 0.5);
        position += header->bufferBytes / 4;
        EXPECT_TRUE(device.Queue(*header));
        order.push_back(header);
        ++played.queued;
      }
      TWaveNotification notification;
      if (!WaitForNotification(events, notification, 5000)) {
        ADD_FAILURE() << "no notification for 5 s, " << played.returned << " of " << played.queued << " back";
        break;
      }
      if (notification.event == EWaveEvent::Lost) played.lost = true;
      if (notification.event != EWaveEvent::BlockDone) continue;
      EXPECT_TRUE(notification.header->IsDone());
      EXPECT_EQ(notification.header, order.front());
      order.pop_front();
      free.push_back(notification.header);
      ++played.returned;
    }
    return played;
  }

  TTempDir folder;
  TJackServer server;
  std::unique_ptr<TAlsaJackConfig> config;
  std::unique_ptr<TJackCapture> capture;
  TAlsaWaveBackend backend;
  TWaveEventQueue events;
};

TEST_F(AlsaJackDeviceTest, TheConfiguredPcmIsListedInBothDirectionsWithThePortFormat) {
  for (EWaveDirection direction : {EWaveDirection::Output, EWaveDirection::Input}) {
    const std::vector<TWaveDeviceInfo> devices = backend.List(direction);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, TAlsaJackConfig::pcmName);
    EXPECT_TRUE(devices[0].takesPortFormat);
  }
  EWaveOpenResult result = EWaveOpenResult::Opened;
  EXPECT_EQ(backend.Open(EWaveDirection::Output, "no such pcm", 1, events, result), nullptr);
  EXPECT_EQ(result, EWaveOpenResult::Missing);
}

TEST_F(AlsaJackDeviceTest, PlaysInRealTimeAndGivesEveryHeaderBackInOrder) {
  auto device = OpenDevice(EWaveDirection::Output);
  ASSERT_TRUE(device);
  THeaders headers(24, 1024);
  uint64_t position = 0;
  const auto start = TClock::now();
  const TPlayed played = Play(*device, headers, 2 * 44100, 16, position);
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  EXPECT_EQ(played.returned, played.queued);
  EXPECT_FALSE(played.lost);
  // Paced: two seconds of sound take about two seconds.
  EXPECT_GT(seconds, 1.8);
  EXPECT_LT(seconds, 3.5);
  device.reset();
  TWaveNotification last;
  ASSERT_TRUE(WaitForNotification(events, last, 1000));
  EXPECT_EQ(last.event, EWaveEvent::Closed);
  // What JACK received: the whole tone, at its pitch, converted to JACK's rate.
  const std::vector<float> sounding = capture->Sounding(1, 0.1f);
  EXPECT_NEAR(double(sounding.size()) / capture->SampleRate(), 2.0, 0.1);
  EXPECT_NEAR(RisingCrossingsPerSecond(sounding, capture->SampleRate()), tone, 0.05 * tone);
}

TEST_F(AlsaJackDeviceTest, RecordsWhatTheJackPortsPlay) {
  auto device = OpenDevice(EWaveDirection::Input);
  ASSERT_TRUE(device);
  THeaders headers(16, 1024);
  for (auto& header : headers.headers) {
    ASSERT_TRUE(device->Prepare(header));
    ASSERT_TRUE(device->Queue(header));
  }
  device->Start();
  std::vector<float> left;
  while (left.size() < 44100) {
    TWaveNotification notification;
    ASSERT_TRUE(WaitForNotification(events, notification, 5000));
    ASSERT_EQ(notification.event, EWaveEvent::BlockDone);
    TWaveHeader& header = *notification.header;
    EXPECT_EQ(header.recordedBytes, header.bufferBytes);
    const auto* samples = reinterpret_cast<const int16_t*>(header.data);
    for (uint32_t i = 0; i < header.recordedBytes / 4; ++i) left.push_back(samples[2 * i] / 32768.0f);
    ASSERT_TRUE(device->Queue(header));
  }
  // Past the first moments, the 1000 Hz tone at half level.
  const std::vector<float> steady(left.begin() + 8820, left.end());
  float peak = 0;
  for (float sample : steady) peak = std::max(peak, std::fabs(sample));
  EXPECT_NEAR(peak, 0.5f, 0.05f);
  EXPECT_NEAR(RisingCrossingsPerSecond(steady, 44100), 1000.0, 50.0);
  device.reset();
  size_t back = 0;
  TWaveNotification notification;
  while (WaitForNotification(events, notification, 1000) && notification.event == EWaveEvent::BlockDone) ++back;
  EXPECT_EQ(notification.event, EWaveEvent::Closed);
  EXPECT_EQ(back, headers.headers.size());
}

TEST_F(AlsaJackDeviceTest, AnUnderrunIsCountedAndPlaybackGoesOn) {
  auto device = OpenDevice(EWaveDirection::Output);
  ASSERT_TRUE(device);
  THeaders headers(24, 1024);
  uint64_t position = 0;
  EXPECT_EQ(Play(*device, headers, 22050, 16, position).lost, false);
  // Nothing queued for a while: the PCM runs dry.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const TPlayed again = Play(*device, headers, 22050, 16, position);
  EXPECT_EQ(again.returned, again.queued);
  EXPECT_FALSE(again.lost);
  EXPECT_GE(device->GetCounters().underruns, 1u);
}

TEST_F(AlsaJackDeviceTest, AServerThatDiesGivesEveryHeaderBackAndIsReportedLost) {
  auto device = OpenDevice(EWaveDirection::Output);
  ASSERT_TRUE(device);
  THeaders headers(24, 1024);
  uint64_t position = 0;
  Play(*device, headers, 11025, 16, position);
  for (size_t i = 0; i < 16; ++i) ASSERT_TRUE(device->Queue(headers.headers[i]));
  capture.reset();
  server.Kill();
  size_t back = 0;
  bool lost = false;
  TWaveNotification notification;
  while (back < 16 && WaitForNotification(events, notification, 10000)) {
    if (notification.event == EWaveEvent::BlockDone) ++back;
    if (notification.event == EWaveEvent::Lost) lost = true;
  }
  EXPECT_EQ(back, 16u);
  while (!lost && WaitForNotification(events, notification, 1000)) lost = notification.event == EWaveEvent::Lost;
  EXPECT_TRUE(lost);
  EXPECT_TRUE(device->IsLost());
  // A lost device goes on taking headers and gives them back in real time.
  const TPlayed after = Play(*device, headers, 4410, 4, position);
  EXPECT_EQ(after.returned, after.queued);
  const auto start = TClock::now();
  device.reset();
  EXPECT_LT(std::chrono::duration<double>(TClock::now() - start).count(), 2.0);
}
}  // namespace
