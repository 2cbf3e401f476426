// The driver-access library's own work in each JACK cycle: the copy of the halves
// that the program filled to the client's port buffers (16 outputs of 64 frames, and
// of the server's default 1024), with an empty buffer switch. And the driver port's
// own cost per buffer switch: 16 routed outputs converted to 32-bit float (and 16-bit)
// at 64 frames, with the processing block around them (no plug-in).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "audio/IAudioEnsemble.h"
#include "audio/asio/TASIO.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "foundation/TShared.h"
#include "foundation/TTimerDialog.h"
#include "pc/asio/AsioSimulatorControl.h"
#include "pc/asio/TAsioDriverBase.h"
#include "pc/host/TDlLibraryLoader.h"

namespace {
void EmptySwitch(int32_t, int32_t) {}

void BM_AsioJackCycleCopy(benchmark::State& state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  constexpr int32_t outputs = 16;
  std::vector<TAsioBufferInfo> records;
  for (int32_t n = 0; n < outputs; ++n) records.push_back({0, n, {nullptr, nullptr}});
  const TAsioBufferSet buffers(records.data(), outputs, frames, std::vector<int32_t>(outputs, Asio::float32LSB));
  std::vector<std::vector<float>> portMemory(outputs, std::vector<float>(size_t(frames)));
  std::vector<float*> ports;
  for (auto& port : portMemory) ports.push_back(port.data());
  int32_t half = 0;
  for (auto _ : state) {
    RunFloatCycle(buffers, half, ports.data(), &EmptySwitch);
    half ^= 1;
    benchmark::DoNotOptimize(ports[outputs - 1][frames - 1]);
  }
  state.SetItemsProcessed(state.iterations() * outputs * frames);
}
BENCHMARK(BM_AsioJackCycleCopy)->Arg(64)->Arg(1024);
}  // namespace

namespace {
class TBenchEnsemble : public IAudioEnsemble {
public:
  TBenchEnsemble() { rateFactor.Set(1.0f, nullptr); }
  IVSTPlug* GetPlug() const override { return nullptr; }
  void ProcessPlayer(int32_t) override {}
  float GetSampleRate() const override { return rate; }
  void SetSampleRate(float value) override { rate = value; }
  TSharedReal& GetRateFactor() override { return rateFactor; }
  void TellClockSampleRate(float) override {}
  float rate = 44100.0f;
  TSharedReal rateFactor{TStr("RateFactor")};
};

class TQuietTimer : public IWindowTimer {
public:
  bool StartTimer(uint32_t, uint32_t, IWindowTimerTarget&) override { return true; }
  void StopTimer(uint32_t) override {}
};

// One buffer switch of the driver port on the simulated driver named, called on the
// benchmark's thread as the driver's thread would.
void PortSwitch(benchmark::State& state, const char* driver) {
  TScriptedPresenter messages;
  TMemoryRegistry registry;
  IRegistryBackend* previous = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  TQuietTimer timer;
  GetTimerService().SetWindowTimer(&timer);
  TDlLibraryLoader::Install();
  TASIOLibrary::SetLibraryPath(TStr(THUDRA_PROGRAM_DIR "/VMASIO.dll"));
  ::setenv("THUDRA_SIMULATED_ASIO", driver, 1);
  IRegistry::SetDword(TStr(driver) + " BufferSize", 64);
  IRegistry::SetDword(TStr(driver) + " Preferred BufferSize", 256);
  TDlLibraryLoader loader;
  void* library = loader.Load(TStr(THUDRA_PROGRAM_DIR "/VMASIO.dll"));
  auto control = library ? reinterpret_cast<TAsioSimulatorEntry>(loader.FindEntry(library, AsioSimulation::entryName)) : nullptr;
  if (!control) {
    state.SkipWithError("VMASIO.dll or its simulator is missing");
    return;
  }
  const TAsioSimulatorControl& simulator = *control();
  simulator.setInterval(AsioSimulation::held);
  TBenchEnsemble ensemble;
  auto* port = new TASIO(&ensemble);
  port->Start();
  for (int32_t slot = 0; slot < 16; ++slot)
    for (int32_t i = 0; i < 64; ++i) port->GetOutputBuffer(slot)[i] = 0.001f * float(i) - 0.03f;
  simulator.switchHere(2);  // the two silent switches after the start
  if (port->GetBlockSize() != 64 || port->GetBufferRecords().size() != 16) state.SkipWithError("not 16 outputs of 64");
  for (auto _ : state) benchmark::DoNotOptimize(simulator.switchHere(1));
  state.SetItemsProcessed(state.iterations() * 16 * 64);
  port->Stop();
  port->Release();
  ::unsetenv("THUDRA_SIMULATED_ASIO");
  GetTimerService().SetWindowTimer(nullptr);
  TASIOLibrary::SetLibraryPath(TStr());
  SetRegistryBackend(previous);
}

void BM_AsioPortSwitch16Float64Frames(benchmark::State& state) { PortSwitch(state, "Simulated 16 Outputs"); }
BENCHMARK(BM_AsioPortSwitch16Float64Frames);
}  // namespace
