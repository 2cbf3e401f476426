// The instrument's processReplacing: one 128-frame block with 64 voices sounding,
// of the synthesized cells and of the sampled default kit. Target: under 5% of the
// block's real-time duration (2.9 ms at 44100 Hz), that is under 145 microseconds
// on one core; the sampled cells within twice the synthesized cells' cost.
// And the default sampled kit's load time and memory.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <chrono>
#include <thread>

#include "TDrumkitLibrary.h"
#include "TDrumkitLoader.h"
#include "TKit.h"
#include "TSampleBank.h"
#include "vst2/Vst2.h"

namespace {

// Thudra.dll lies in the program folder, bin/ beside this benchmark's folder.
std::string InstrumentPath() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  path = path.substr(0, path.find_last_of('/'));
  return path.substr(0, path.find_last_of('/')) + "/bin/Thudra.dll";
}

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// 64 voices of long cells, restarted every `restartBlocks` blocks, with the kit
// `drumkit` ("" for the synthesized cells).
void Run64Voices(benchmark::State& state, const std::string& drumkit, const std::vector<int>& longCells,
                 int restartBlocks) {
  void* library = dlopen(InstrumentPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    state.SkipWithError("Thudra.dll not built");
    return;
  }
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(library, "main"));
  AEffect* effect = entry ? entry(&Host) : nullptr;
  if (!effect) {
    state.SkipWithError("no effect");
    dlclose(library);
    return;
  }
  constexpr int frames = 128;
  auto dispatch = [effect](VstInt32 op, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0, VstInt32 index = 0) {
    return effect->dispatcher(effect, op, index, value, ptr, opt);
  };
  dispatch(effOpen);
  dispatch(effSetBlockSize, frames);
  dispatch(effSetSampleRate, 0, nullptr, 44100.0f);
  TKit kit = TKit::Default();
  kit.SetDrumkit(drumkit.c_str());
  std::vector<uint8_t> chunk = kit.ToChunk();
  dispatch(effSetChunk, static_cast<VstIntPtr>(chunk.size()), chunk.data());
  while (dispatch(effVendorSpecific, 0, nullptr, 0, 3) != 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  dispatch(effMainsChanged, 1);

  std::vector<float> buffers(32 * frames, 0.0f);
  float* inputs[16];
  float* outputs[16];
  for (int ch = 0; ch < 16; ++ch) {
    inputs[ch] = &buffers[static_cast<size_t>(ch) * frames];
    outputs[ch] = &buffers[static_cast<size_t>(16 + ch) * frames];
  }
  VstEventList<64> list{};
  VstMidiEvent notes[64] = {};
  for (int i = 0; i < 64; ++i) {
    notes[i].type = kVstMidiType;
    notes[i].byteSize = sizeof(VstMidiEvent) - 8;
    notes[i].deltaFrames = i;
    notes[i].midiData[0] = static_cast<char>(0x90);
    notes[i].midiData[1] = static_cast<char>(longCells[static_cast<size_t>(i) % longCells.size()]);
    notes[i].midiData[2] = 100;
    list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
  }
  list.numEvents = 64;
  dispatch(effProcessEvents, 0, list.AsEvents());
  effect->processReplacing(effect, inputs, outputs, frames);
  list.numEvents = 0;

  int blocks = 0;
  for (auto _ : state) {
    if (++blocks % restartBlocks == 0) {
      dispatch(effMainsChanged, 0);
      dispatch(effMainsChanged, 1);
      list.numEvents = 64;
      dispatch(effProcessEvents, 0, list.AsEvents());
      list.numEvents = 0;
    }
    effect->processReplacing(effect, inputs, outputs, frames);
    benchmark::DoNotOptimize(outputs[0][frames - 1]);
  }
  dispatch(effClose);
  dlclose(library);
}

// 64 long synthesized sounds: cymbals, the ride bell, the open triangle, the bell
// tree, restarted before they run out.
void BM_PluginProcessReplacing64Voices(benchmark::State& state) {
  Run64Voices(state, "", {49, 51, 52, 53, 57, 59, 81, 84}, 600);
}
BENCHMARK(BM_PluginProcessReplacing64Voices);

// 64 long sampled sounds of the default kit: cymbals, the bell, the toms.
void BM_PluginProcessReplacing64SampledVoices(benchmark::State& state) {
  if (TDrumkitLibrary::Find(TDrumkitLibrary::defaultKit).empty()) {
    state.SkipWithError("the default sampled kit (hydrogen-data) is not installed");
    return;
  }
  Run64Voices(state, TDrumkitLibrary::defaultKit, {49, 51, 53, 55, 59, 41, 43, 45}, 300);
}
BENCHMARK(BM_PluginProcessReplacing64SampledVoices);

// Loading the default sampled kit on the kit thread: at its own rate, and converted
// to 48 kHz. The counter is the sample memory it takes.
void BM_DefaultKitLoad(benchmark::State& state) {
  const std::string folder = TDrumkitLibrary::Find(TDrumkitLibrary::defaultKit);
  if (folder.empty()) {
    state.SkipWithError("the default sampled kit (hydrogen-data) is not installed");
    return;
  }
  const double rate = static_cast<double>(state.range(0));
  size_t bytes = 0;
  for (auto _ : state) {
    TDrumkitLoad load = TDrumkitLoader::Load(folder, rate, TDrumkitLoader::DefaultMemoryLimit());
    bytes = load.kit ? load.kit->SampleBytes() : 0;
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_DefaultKitLoad)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Making the synthesized kit (once per process, when the plug-in is first entered).
// The counter is its memory.
void BM_SynthesizedBankMemory(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(&TSampleBank::Shared());
  state.counters["MiB"] = static_cast<double>(TSampleBank::Shared().TotalBytes()) / (1 << 20);
}
BENCHMARK(BM_SynthesizedBankMemory)->Iterations(1);

}  // namespace
