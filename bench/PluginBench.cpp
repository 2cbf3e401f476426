// The instrument's processReplacing: one 128-frame block with 64 voices sounding.
// Target: under 5% of the block's real-time duration (2.9 ms at 44100 Hz), that is
// under 145 microseconds on one core.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

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

void BM_PluginProcessReplacing64Voices(benchmark::State& state) {
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
  auto dispatch = [effect](VstInt32 op, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
    return effect->dispatcher(effect, op, 0, value, ptr, opt);
  };
  dispatch(effOpen);
  dispatch(effSetBlockSize, frames);
  dispatch(effSetSampleRate, 0, nullptr, 44100.0f);
  dispatch(effMainsChanged, 1);

  std::vector<float> buffers(32 * frames, 0.0f);
  float* inputs[16];
  float* outputs[16];
  for (int ch = 0; ch < 16; ++ch) {
    inputs[ch] = &buffers[static_cast<size_t>(ch) * frames];
    outputs[ch] = &buffers[static_cast<size_t>(16 + ch) * frames];
  }
  // 64 long sounds: cymbals, the ride bell, the open triangle, the bell tree.
  VstEventList<64> list{};
  VstMidiEvent notes[64] = {};
  const int longCells[] = {49, 51, 52, 53, 57, 59, 81, 84};
  for (int i = 0; i < 64; ++i) {
    notes[i].type = kVstMidiType;
    notes[i].byteSize = sizeof(VstMidiEvent) - 8;
    notes[i].deltaFrames = i;
    notes[i].midiData[0] = static_cast<char>(0x90);
    notes[i].midiData[1] = static_cast<char>(longCells[i % 8]);
    notes[i].midiData[2] = 100;
    list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
  }
  list.numEvents = 64;
  dispatch(effProcessEvents, 0, list.AsEvents());
  effect->processReplacing(effect, inputs, outputs, frames);
  list.numEvents = 0;

  int blocks = 0;
  for (auto _ : state) {
    // Restart the voices before the long sounds run out (every 2 s of audio).
    if (++blocks % 600 == 0) {
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
BENCHMARK(BM_PluginProcessReplacing64Voices);

}  // namespace
