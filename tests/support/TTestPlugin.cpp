#include "TTestPlugin.h"

#include <dlfcn.h>

#include <cstring>

namespace {

// The loader whose entry is running: the callback finds it while the effect
// record does not exist yet.
thread_local TTestPlugin* entering = nullptr;

}  // namespace

TTestPlugin::TTestPlugin(std::string path) : path(std::move(path)) {
  for (int ch = 0; ch < channels; ++ch) {
    inputs[ch].assign(maxFrames, 0.0f);
    outputs[ch].assign(maxFrames, 0.0f);
    inputPointers[ch] = inputs[ch].data();
    outputPointers[ch] = outputs[ch].data();
  }
  timeInfo.sampleRate = 44100.0;
  timeInfo.tempo = 120.0;
  timeInfo.timeSigNumerator = 4;
  timeInfo.timeSigDenominator = 4;
  timeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
}

TTestPlugin::~TTestPlugin() {
  Close();
  if (library) dlclose(library);
}

bool TTestPlugin::Load(const char* entry) { return Open() && Enter(entry); }

bool TTestPlugin::Open() {
  if (library) return true;
  library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) error = dlerror();
  return library != nullptr;
}

bool TTestPlugin::Enter(const char* entry) {
  if (!library) {
    error = "not open";
    return false;
  }
  auto main = reinterpret_cast<VstPluginMainProc>(dlsym(library, entry));
  if (!main) {
    error = std::string("no entry ") + entry;
    return false;
  }
  entering = this;
  effect = main(&HostCallback);
  entering = nullptr;
  if (!effect) {
    error = "the entry answered null";
    return false;
  }
  effect->user = this;
  return true;
}

void* TTestPlugin::Symbol(const char* name) const { return library ? dlsym(library, name) : nullptr; }

void TTestPlugin::SetHostAnswer(THostAnswer a) { answer = std::move(a); }

std::vector<THostCall> TTestPlugin::HostCalls() const {
  std::lock_guard<std::mutex> lock(callsMutex);
  return calls;
}

void TTestPlugin::ClearHostCalls() {
  std::lock_guard<std::mutex> lock(callsMutex);
  calls.clear();
}

VstIntPtr TTestPlugin::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
  TTestPlugin* self = effect && effect->user ? static_cast<TTestPlugin*>(effect->user) : entering;
  if (!self) return opcode == audioMasterVersion ? 2400 : 0;
  THostCall call{opcode, index, value, effect != nullptr, {}};
  if (opcode == audioMasterProcessEvents && ptr) {
    const auto* list = static_cast<const VstEvents*>(ptr);
    for (int i = 0; i < list->numEvents; ++i) {
      const VstEvent* e = list->events[i];
      if (!e || e->type != kVstMidiType) continue;
      const auto* m = reinterpret_cast<const VstMidiEvent*>(e);
      call.events.push_back({m->deltaFrames, static_cast<uint8_t>(m->midiData[0]), static_cast<uint8_t>(m->midiData[1]),
                             static_cast<uint8_t>(m->midiData[2])});
    }
  }
  {
    std::lock_guard<std::mutex> lock(self->callsMutex);
    self->calls.push_back(std::move(call));
  }
  if (self->answer) return self->answer(effect, opcode, index, value, ptr, opt);
  return self->DefaultAnswer(effect, opcode, index, value, ptr, opt);
}

VstIntPtr TTestPlugin::DefaultAnswer(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&timeInfo);
    case audioMasterGetVendorString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Velmora");
      return 1;
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "VM-Host");
      return 1;
    case audioMasterCanDo:
      if (!ptr) return 0;
      return std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ||
                     std::strcmp(static_cast<const char*>(ptr), "sendVstTimeInfo") == 0
                 ? 1
                 : 0;
    default: return 0;
  }
}

VstIntPtr TTestPlugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return effect ? effect->dispatcher(effect, opcode, index, value, ptr, opt) : 0;
}

std::string TTestPlugin::ProductString() {
  char text[160] = {};
  Dispatch(effGetProductString, 0, 0, text);
  return text;
}

void TTestPlugin::Start(int blockSize, float sampleRate) {
  Dispatch(effOpen);
  Dispatch(effSetBlockSize, 0, blockSize);
  Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  Dispatch(effMainsChanged, 0, 1);
}

void TTestPlugin::Stop() { Dispatch(effMainsChanged, 0, 0); }

void TTestPlugin::Process(int frames, const std::vector<TTestMidi>& events) {
  eventList.numEvents = 0;
  for (const TTestMidi& m : events) {
    if (eventList.numEvents >= 1024) break;
    VstMidiEvent& e = eventRecords[eventList.numEvents];
    e = VstMidiEvent{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent) - 8;
    e.deltaFrames = m.delta;
    e.midiData[0] = static_cast<char>(m.status);
    e.midiData[1] = static_cast<char>(m.data1);
    e.midiData[2] = static_cast<char>(m.data2);
    eventList.events[eventList.numEvents++] = reinterpret_cast<VstEvent*>(&e);
  }
  Dispatch(effProcessEvents, 0, 0, eventList.AsEvents());
  ProcessReplacingOnly(frames);
}

void TTestPlugin::ProcessReplacingOnly(int frames) {
  if (effect && frames <= maxFrames) effect->processReplacing(effect, inputPointers, outputPointers, frames);
}

std::vector<uint8_t> TTestPlugin::GetChunk() {
  void* data = nullptr;
  const VstIntPtr size = Dispatch(effGetChunk, 0, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return {bytes, bytes + size};
}

bool TTestPlugin::SetChunk(const std::vector<uint8_t>& data) {
  return Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(data.size()), const_cast<uint8_t*>(data.data())) != 0;
}

void TTestPlugin::Close() {
  if (!effect) return;
  AEffect* closing = effect;
  effect = nullptr;
  closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
}
