// The host's own cost of one 128-frame block (event flush, the processing block's
// bookkeeping, the input and output frame loops of null conversions, event clear)
// with a plug-in whose processReplacing does nothing; and the cost of queueing one
// MIDI event. Targets: under 2 us per block, under 50 ns per event.
#include <benchmark/benchmark.h>

#include <cstring>

#include "audio/AudioPortFactory.h"
#include "audio/TAudioInOut.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "host/KEnsemble.h"
#include "plughost/ILibraryLoader.h"
#include "plughost/TVSTPlug.h"

namespace {
// A plug-in that answers every call and processes nothing.
AEffect benchEffect{};

VstIntPtr BenchDispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  if (opcode == effGetProductString) std::strcpy(static_cast<char*>(ptr), TVSTPlug::expectedProduct);
  return 0;
}
void BenchProcess(AEffect*, float**, float**, VstInt32) {}
AEffect* BenchMain(audioMasterCallback) {
  benchEffect = AEffect{};
  benchEffect.magic = kEffectMagic;
  benchEffect.dispatcher = &BenchDispatcher;
  benchEffect.processReplacing = &BenchProcess;
  return &benchEffect;
}

class TBenchLoader : public ILibraryLoader {
public:
  void* Load(const TStr&) override { return this; }
  void* FindEntry(void*, const char*) override { return reinterpret_cast<void*>(&BenchMain); }
  void Unload(void*) override {}
};

// A port with the null conversions of a device that needs none.
// A port whose device does nothing: the host's block alone.
class TBenchPort : public TAudioInOut {
public:
  using TAudioInOut::TAudioInOut;
  int32_t GetPortType() override { return AudioPortMultiMedia; }
  int32_t GetOutputCount() override { return 2; }
  int32_t GetInputCount() override { return 2; }
  int32_t IsAudioPort() override { return 1; }

protected:
  void OpenDevice() override {}
  void CloseDevice() override {}
  void StopDevice() override {}
  void StartDevice() override {}
  void ReadFrame(TFrameRecord*) override {}
};

bool PrepareBenchPort() { return true; }
TAudioInOut* MakeBenchPort(IAudioEnsemble* ensemble) { return new TBenchPort(ensemble); }

struct TBenchHost {
  TBenchHost() : previous(SetLibraryLoader(&loader)) {
    ports.Register(AudioPortMultiMedia, &PrepareBenchPort, &MakeBenchPort);
    TVSTPlug::SetLibrary("bench", true);
    ensemble = new KEnsemble(nullptr, TEnsembleSources{&ports, nullptr});
    port = dynamic_cast<TAudioInOut*>(ensemble->GetAudioPort());
    port->SetBlockSize(128);
    port->Start();
  }
  ~TBenchHost() {
    delete ensemble;
    TVSTPlug::SetLibrary(TStr(), true);
    SetLibraryLoader(previous);
  }
  TScriptedPresenter quiet;
  TAudioPortFactory ports;
  TBenchLoader loader;
  ILibraryLoader* previous;
  KEnsemble* ensemble = nullptr;
  TAudioInOut* port = nullptr;
};

void BM_HostBlock128(benchmark::State& state) {
  TBenchHost host;
  for (auto _ : state) {
    host.port->Process();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostBlock128);

void BM_HostBlock128WithEvents(benchmark::State& state) {
  TBenchHost host;
  IVSTPlug* plug = host.ensemble->GetPlug();
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) plug->QueueMidiEvent(MidiNoteOn, 9, 36 + i, 100);
    host.port->Process();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostBlock128WithEvents);

void BM_QueueMidiEvent(benchmark::State& state) {
  TBenchHost host;
  IVSTPlug* plug = host.ensemble->GetPlug();
  int32_t queued = 0;
  for (auto _ : state) {
    plug->QueueMidiEvent(MidiNoteOn, 0, 60, 100);
    if (++queued == 1000) {
      // The audio thread's side, once per thousand events.
      state.PauseTiming();
      plug->FlushEvents();
      plug->ClearEvents();
      queued = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueMidiEvent);

void BM_OnMidiInput(benchmark::State& state) {
  TBenchHost host;
  int32_t queued = 0;
  for (auto _ : state) {
    host.ensemble->OnMidiInput(MidiNoteOn, 0, 60, 100);
    if (++queued == 1000) {
      state.PauseTiming();
      host.port->Process();
      queued = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OnMidiInput);
}  // namespace
