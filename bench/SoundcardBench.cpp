// The soundcard port's own cost for one small device block (128 frames): the tick's
// bookkeeping, the input and output conversions and the queuing, without a plug-in,
// at the rate factors 1.0, 0.5 and 3.0. The devices give every block back at once.
#include <benchmark/benchmark.h>

#include <memory>

#include "audio/IAudioEnsemble.h"
#include "audio/IMediaTimer.h"
#include "audio/IWaveDevices.h"
#include "audio/multimedia/TMultiMedia.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "foundation/TShared.h"

namespace {
class TBenchEnsemble : public IAudioEnsemble {
public:
  explicit TBenchEnsemble(float factor) { rateFactor.Set(factor, nullptr); }
  IVSTPlug* GetPlug() const override { return nullptr; }
  void ProcessPlayer(int32_t) override {}
  float GetSampleRate() const override { return 44100.0f; }
  void SetSampleRate(float) override {}
  TSharedReal& GetRateFactor() override { return rateFactor; }
  void TellClockSampleRate(float) override {}
  TSharedReal rateFactor{TStr("RateFactor"), 0.1f, 10.0f};
};

// A device that takes a block and gives it back at once (recorded input: silence).
class TBenchDevice : public IWaveDevice {
public:
  TBenchDevice(EWaveDirection direction, IWaveNotify& notify) : direction(direction), notify(notify) {}
  ~TBenchDevice() override { notify.OnWaveEvent({EWaveEvent::Closed, direction, nullptr}); }
  EWaveDirection GetDirection() const override { return direction; }
  bool Prepare(TWaveHeader& header) override {
    header.flags.store(TWaveHeader::Prepared | TWaveHeader::Done);
    return true;
  }
  void Unprepare(TWaveHeader&) override {}
  bool Queue(TWaveHeader& header) override {
    header.recordedBytes = header.bufferBytes;
    header.flags.store(TWaveHeader::Prepared | TWaveHeader::Done, std::memory_order_release);
    notify.OnWaveEvent({EWaveEvent::BlockDone, direction, &header});
    return true;
  }
  void Pause() override {}
  void Start() override {}
  void Reset() override {}
  bool IsLost() override { return false; }
  TWaveCounters GetCounters() override { return {}; }

private:
  EWaveDirection direction;
  IWaveNotify& notify;
};

class TBenchDevices : public IWaveDevices {
public:
  std::vector<TWaveDeviceInfo> ListOutputs() override { return {{"Bench", true}}; }
  std::vector<TWaveDeviceInfo> ListInputs() override { return {{"Bench", true}}; }
  std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string&, IWaveNotify& notify,
                                    EWaveOpenResult& result) override {
    result = EWaveOpenResult::Opened;
    return std::make_unique<TBenchDevice>(direction, notify);
  }
  bool IsSystemSoundLibraryPresent() override { return false; }
};

// The timer is the benchmark's loop: Start answers a timer that never ticks by itself.
class TBenchTimer : public IMediaTimer {
public:
  TMediaTimerCaps GetCaps() override { return {}; }
  bool BeginPeriod(int32_t) override { return true; }
  void EndPeriod(int32_t) override {}
  uint32_t Start(int32_t, int32_t, IMediaTimerTarget&) override { return 1; }
  void Stop(uint32_t) override {}
  void RaiseCallbackPriority() override {}
  void RestoreNormalPriority() override {}
  void Sleep(int32_t) override {}
};

void BM_SoundcardSmallBlock(benchmark::State& state) {
  const float factor = static_cast<float>(state.range(0)) / 10.0f;
  TScriptedPresenter quiet;
  TMemoryRegistry registry;
  IRegistryBackend* previousBackend = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  IRegistry::SetDword("MmeOutDelay", 0);
  IRegistry::SetDword("MmeInDelay", 0);
  TBenchDevices devices;
  TBenchTimer timer;
  IWaveDevices* previousDevices = SetWaveDevices(&devices);
  IMediaTimer* previousTimer = SetMediaTimer(&timer);
  {
    TBenchEnsemble ensemble(factor);
    auto port = std::make_unique<TMultiMedia>(&ensemble);
    port->Start();
    int64_t frames = 0;
    const int32_t start = port->GetFramePosition();
    int64_t ticks = 0;
    for (auto _ : state) {
      port->RunTick();
      // The worker thread counts what came back (outside the measured time), so the
      // queue stays below the tick's limit.
      if (++ticks % 16 == 0) {
        state.PauseTiming();
        port->WaitUntilCounted();
        state.ResumeTiming();
      }
    }
    frames = port->GetFramePosition() - start;
    // Per block of 128 device frames, whatever the mix of small and large blocks and
    // of ticks that found the queue full.
    state.counters["per 128 frames"] = benchmark::Counter(static_cast<double>(frames) / factor / 128.0,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    port->Stop();
  }
  SetMediaTimer(previousTimer);
  SetWaveDevices(previousDevices);
  SetRegistryBackend(previousBackend);
}
BENCHMARK(BM_SoundcardSmallBlock)->Arg(10)->Arg(5)->Arg(30);
}  // namespace
