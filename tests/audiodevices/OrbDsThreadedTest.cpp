// The DirectSound helper library orbds.dll, loaded as the port loads it, on the same
// real, paced PCM as the wave device tests: ALSA's JACK PCM on the test's JACK server.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "AudioDeviceTestSupport.h"
#include "MidiTestSupport.h"
#include "audio/DirectSoundEntries.h"

namespace {
using TClock = std::chrono::steady_clock;
const std::string libraryPath = std::string(THUDRA_PROGRAM_DIR) + "/orbds.dll";
constexpr double tone = 441.0;

struct TOrbDs {
  TOrbDs() {
    library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    Find(getNumDevices, "DsGetNumDevices");
    Find(getDeviceName, "DsGetDeviceName");
    Find(open, "DsOpen");
    Find(close, "DsClose");
    Find(start, "DsStart");
    Find(stop, "DsStop");
    Find(lock, "DsLock");
    Find(unlock, "DsUnLock");
    Find(ahead, "DsGetNumSamplesAhead");
  }
  ~TOrbDs() {
    if (library) dlclose(library);
  }
  template <typename T>
  void Find(T& entry, const char* name) {
    entry = reinterpret_cast<T>(dlsym(library, name));
    found += entry != nullptr;
  }
  bool Complete() const { return library && found == 9; }

  void* library = nullptr;
  int found = 0;
  TDsGetNumDevices getNumDevices = nullptr;
  TDsGetDeviceName getDeviceName = nullptr;
  TDsOpen open = nullptr;
  TDsClose close = nullptr;
  TDsStart start = nullptr;
  TDsStop stop = nullptr;
  TDsLock lock = nullptr;
  TDsUnLock unlock = nullptr;
  TDsGetNumSamplesAhead ahead = nullptr;
};

class OrbDsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running()) << server.Log();
    config = std::make_unique<TAlsaJackConfig>(folder.Path());
    capture = std::make_unique<TJackCapture>(20.0, 1000.0, 0.5f);
    ASSERT_TRUE(capture->Opened());
    ASSERT_TRUE(orbds.Complete()) << dlerror();
  }
  void TearDown() override {
    if (orbds.close) orbds.close();
    capture.reset();
    config.reset();
  }

  // One block into the ring: the tone, across both regions when the ring wraps.
  struct TWritten {
    int64_t frames = 0;
    bool wrapped = false;
  };
  TWritten WriteBlock(int32_t frames, uint64_t& position) {
    TDsRegions* regions = orbds.lock(frames);
    TWritten written;
    if (!regions) return written;
    FillSine(reinterpret_cast<int16_t*>(regions->first), static_cast<size_t>(regions->firstFrames), position, tone,
             0.5);
    position += static_cast<uint64_t>(regions->firstFrames);
    if (regions->second) {
      written.wrapped = true;
      FillSine(reinterpret_cast<int16_t*>(regions->second), static_cast<size_t>(regions->secondFrames), position,
               tone, 0.5);
      position += static_cast<uint64_t>(regions->secondFrames);
    }
    written.frames = regions->firstFrames + regions->secondFrames;
    orbds.unlock();
    return written;
  }

  TTempDir folder;
  TJackServer server;
  std::unique_ptr<TAlsaJackConfig> config;
  std::unique_ptr<TJackCapture> capture;
  TOrbDs orbds;
};

TEST_F(OrbDsTest, ExportsExactlyTheNineEntries) {
  std::string exported;
  ASSERT_EQ(RunCommand("nm -D --defined-only '" + libraryPath + "' | awk '$2 == \"T\" {print $3}' | sort", &exported),
            0);
  EXPECT_EQ(exported,
            "DsClose\nDsGetDeviceName\nDsGetNumDevices\nDsGetNumSamplesAhead\nDsLock\nDsOpen\nDsStart\nDsStop\n"
            "DsUnLock\n");
}

TEST_F(OrbDsTest, ListsTheOutputPcms) {
  ASSERT_EQ(orbds.getNumDevices(), 1);
  EXPECT_STREQ(orbds.getDeviceName(0), TAlsaJackConfig::pcmName);
  EXPECT_STREQ(orbds.getDeviceName(1), "");
  EXPECT_EQ(orbds.open(5, nullptr), 0);
}

TEST_F(OrbDsTest, PlaysTheRingInRealTimeAcrossItsWrap) {
  ASSERT_EQ(orbds.getNumDevices(), 1);
  ASSERT_NE(orbds.open(0, nullptr), 0);
  constexpr int32_t target = 20 * 256;
  uint64_t position = 0;
  while (orbds.ahead() < target) WriteBlock(256, position);
  orbds.start();
  const auto begin = TClock::now();
  bool wrapped = false;
  while (position < 2 * 44100) {
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
    while (orbds.ahead() < target && position < 2 * 44100) {
      const TWritten written = WriteBlock(256, position);
      ASSERT_EQ(written.frames, 256);
      wrapped = wrapped || written.wrapped;
    }
  }
  // What is still ahead plays out; after that the ring runs dry (and is refilled with silence).
  const double left = orbds.ahead() / 44100.0;
  const double seconds = std::chrono::duration<double>(TClock::now() - begin).count() + left;
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(left * 1000) + 200));
  orbds.stop();
  EXPECT_TRUE(wrapped);
  EXPECT_GT(seconds, 1.8);
  EXPECT_LT(seconds, 3.5);
  const std::vector<float> sounding = capture->Sounding(0, 0.1f);
  EXPECT_NEAR(double(sounding.size()) / capture->SampleRate(), 2.0, 0.1);
  EXPECT_NEAR(RisingCrossingsPerSecond(sounding, capture->SampleRate()), tone, 0.05 * tone);
  // No break in the tone where the ring wraps.
  float largestStep = 0;
  for (size_t i = 1; i < sounding.size(); ++i) largestStep = std::max(largestStep, std::fabs(sounding[i] - sounding[i - 1]));
  EXPECT_LT(largestStep, 0.1f);
}

TEST_F(OrbDsTest, AServerThatDiesLeavesEveryEntryAnswering) {
  ASSERT_EQ(orbds.getNumDevices(), 1);
  ASSERT_NE(orbds.open(0, nullptr), 0);
  uint64_t position = 0;
  while (orbds.ahead() < 20 * 256) WriteBlock(256, position);
  orbds.start();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  capture.reset();
  server.Kill();
  const auto begin = TClock::now();
  for (int tick = 0; tick < 250; ++tick) {
    if (orbds.ahead() < 20 * 256) WriteBlock(256, position);
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
  }
  orbds.stop();
  orbds.close();
  EXPECT_LT(std::chrono::duration<double>(TClock::now() - begin).count(), 3.0);
}
}  // namespace
