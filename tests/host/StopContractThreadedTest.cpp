// A device thread that lags behind its stop: the port's StopDevice returns at once
// while its thread goes on processing blocks. Replacing the plug-in then must still
// never run a block on the plug-in that goes: the ensemble takes it away from the
// audio thread and waits for the block in flight before it closes it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "HostFixture.h"
#include "host/KEnsemble.h"

namespace {
using namespace std::chrono_literals;

// Its thread processes blocks from the first start until the port is destroyed,
// whatever Stop and Pause say.
class TLaggingPort : public TAudioInOut {
public:
  using TAudioInOut::TAudioInOut;
  ~TLaggingPort() override {
    quit = true;
    if (device.joinable()) device.join();
  }
  int32_t GetPortType() override { return AudioPortMultiMedia; }
  int32_t IsAudioPort() override { return 1; }
  int64_t Blocks() const { return blocks.load(); }

protected:
  void OpenDevice() override {}
  void CloseDevice() override {}
  void StopDevice() override {}  // the lag: the thread is not told to stop
  void StartDevice() override {
    if (device.joinable()) return;
    device = std::thread([this] {
      while (!quit) {
        Process();
        blocks.fetch_add(1);
        std::this_thread::sleep_for(100us);
      }
    });
  }

private:
  std::atomic<bool> quit{false};
  std::atomic<int64_t> blocks{0};
  std::thread device;
};

TLaggingPort* lagging = nullptr;
TAudioInOut* MakeLaggingPort(IAudioEnsemble* ensemble) { return lagging = new TLaggingPort(ensemble); }
bool Prepared() { return true; }

class StopContractThreadedTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    ports.Register(AudioPortMultiMedia, &Prepared, &MakeLaggingPort);
  }
  TAudioPortFactory ports;
};

TEST_F(StopContractThreadedTest, AReloadNeverRunsABlockOnThePlugInThatGoes) {
  auto ensemble = std::make_unique<KEnsemble>(nullptr, TEnsembleSources{&ports, &TRecordingMidi::Make});
  ASSERT_NE(lagging, nullptr);
  TLaggingPort* port = lagging;
  port->SetBlockSize(32);
  port->Start();
  while (port->Blocks() < 20) std::this_thread::yield();

  // The old plug-in takes its time to close: long enough for the lagging thread to
  // run a few blocks meanwhile.
  TFakePlugin::Get().whileClosing = [port] {
    const int64_t seen = port->Blocks();
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (port->Blocks() < seen + 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  };
  for (int reload = 0; reload < 5; ++reload) ASSERT_TRUE(ensemble->CreatePlug());
  TFakePlugin::Get().whileClosing = nullptr;

  EXPECT_GT(TFakePlugin::Get().ProcessCount(), 0);
  EXPECT_EQ(TFakePlugin::Get().ProcessedWhileClosing(), 0);
  ensemble.reset();
  lagging = nullptr;
}
}  // namespace
