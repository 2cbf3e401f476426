#include "TThudraEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "TEditor.h"
#include "TKitStore.h"

namespace {

constexpr VstInt32 kUniqueId = ('T' << 24) | ('h' << 16) | ('d' << 8) | 'r';
constexpr auto kMessageTime = std::chrono::seconds(4);

const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "sendVstMidiEvent",
                              "receiveVstTimeInfo"};

void CopyText(char* target, const char* text, size_t capacity) {
  if (!target || capacity == 0) return;
  const size_t length = strnlen(text, capacity - 1);
  std::memcpy(target, text, length);
  target[length] = 0;
}

}  // namespace

TThudraEffect::TThudraEffect(audioMasterCallback host)
    : host(host), transport(&effect, host), scratch(static_cast<size_t>(scratchFrames) * TVoiceEngine::outputCount) {
  effect.magic = kEffectMagic;
  effect.dispatcher = &DispatchEntry;
  effect.process = &ProcessEntry;
  effect.setParameter = &SetParameterEntry;
  effect.getParameter = &GetParameterEntry;
  effect.numPrograms = 1;
  effect.numParams = parameterCount;
  effect.numInputs = TVoiceEngine::inputCount;
  effect.numOutputs = TVoiceEngine::outputCount;
  effect.flags = effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth;
  effect.ioRatio = 1.0f;
  effect.object = this;
  effect.uniqueID = kUniqueId;
  effect.version = kThudraVersion;
  effect.processReplacing = &ProcessReplacingEntry;

  const TKit kit = TKit::Default();
  std::memcpy(kitName, kit.name, sizeof kitName);
  engine.ApplyKit(kit);
  kits = std::make_unique<TKitLoading>(engine);
  if (!TDrumkitLibrary::Find(TDrumkitLibrary::defaultKit).empty()) ChooseDrumkit(TDrumkitLibrary::defaultKit);
  chunk.resize(TKit::chunkSize);
  for (int ch = 0; ch < TVoiceEngine::outputCount; ++ch) scratchChannels[ch] = &scratch[static_cast<size_t>(ch) * scratchFrames];
  rect = {0, 0, fullHeight, fullWidth};
}

// The kit thread ends before the engine it offers kits to.
TThudraEffect::~TThudraEffect() {
  editor.reset();
  kits.reset();
}

TThudraEffect* TThudraEffect::From(AEffect* e) { return e ? static_cast<TThudraEffect*>(e->object) : nullptr; }

// ---- entries ---------------------------------------------------------------

VstIntPtr TThudraEffect::DispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                       float opt) {
  TThudraEffect* self = From(e);
  if (!self) return 0;
  if (opcode == effClose) {
    delete self;
    return 1;
  }
  try {
    return self->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;  // nothing may unwind into the host
  }
}

void TThudraEffect::ProcessEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
  if (TThudraEffect* self = From(e)) self->ProcessAccumulating(inputs, outputs, frames);
}

void TThudraEffect::ProcessReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
  if (TThudraEffect* self = From(e)) self->engine.Process(inputs, outputs, frames);
}

void TThudraEffect::SetParameterEntry(AEffect* e, VstInt32 index, float value) {
  if (TThudraEffect* self = From(e)) self->SetParameter(index, value);
}

float TThudraEffect::GetParameterEntry(AEffect* e, VstInt32 index) {
  TThudraEffect* self = From(e);
  return self ? self->GetParameter(index) : 0.0f;
}

// ---- dispatcher --------------------------------------------------------------

VstIntPtr TThudraEffect::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen: return 0;
    case effSetProgram: return 0;
    case effGetProgram: return 0;
    case effSetProgramName:
      if (ptr) CopyText(kitName, static_cast<const char*>(ptr), std::min<size_t>(sizeof kitName, kVstMaxProgNameLen));
      return 0;
    case effGetProgramName: CopyText(static_cast<char*>(ptr), kitName, kVstMaxProgNameLen); return 0;
    case effGetProgramNameIndexed:
      if (index != 0) return 0;
      CopyText(static_cast<char*>(ptr), kitName, kVstMaxProgNameLen);
      return 1;
    case effGetParamLabel:
      CopyText(static_cast<char*>(ptr), index >= 0 && index < parameterCount ? "dB" : "", kVstMaxParamStrLen);
      return 0;
    case effGetParamDisplay: ParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: ParameterName(index, static_cast<char*>(ptr)); return 0;
    case effCanBeAutomated: return index >= 0 && index < parameterCount ? 1 : 0;
    case effSetSampleRate:
      engine.SetSampleRate(opt);
      kits->Reload(engine.SampleRate());
      return 0;
    case effSetBlockSize: return 0;
    case effMainsChanged: engine.RequestReset(); return 0;
    case effEditGetRect:
      if (!ptr) return 0;
      *static_cast<ERect**>(ptr) = &rect;
      return 1;
    case effEditOpen: return EditOpen(ptr);
    case effEditClose: EditClose(); return 1;
    case effEditIdle: EditIdle(); return 0;
    case effIdle:
      if (!editor) transport.Poll();
      TellKitMessages();
      return 0;
    case effGetChunk: return GetChunk(static_cast<void**>(ptr));
    case effSetChunk: return SetChunk(ptr, value);
    case effProcessEvents: engine.QueueEvents(static_cast<const VstEvents*>(ptr)); return 1;
    case effGetInputProperties: return OutputProperties(index, static_cast<VstPinProperties*>(ptr), true) ? 1 : 0;
    case effGetOutputProperties: return OutputProperties(index, static_cast<VstPinProperties*>(ptr), false) ? 1 : 0;
    case effGetPlugCategory: return kPlugCategSynth;
    case effGetEffectName: CopyText(static_cast<char*>(ptr), "Thudra", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: CopyText(static_cast<char*>(ptr), "Velmora", kVstMaxVendorStrLen); return 1;
    case effGetProductString: CopyText(static_cast<char*>(ptr), kThudraProductString, kVstMaxProductStrLen); return 1;
    case effGetVendorVersion: return kThudraVersion;
    case effVendorSpecific: return VendorSpecific(index);
    case effCanDo:
      if (!ptr) return 0;
      for (const char* what : kCanDo)
        if (std::strcmp(static_cast<const char*>(ptr), what) == 0) return 1;
      return 0;
    case effKeysRequired: return 1;  // the keyboard stays with the host
    case effGetVstVersion: return 2400;
    case effEditKeyDown: return transport.HandleKey(index) ? 1 : 0;
    default: return 0;
  }
}

void TThudraEffect::ProcessAccumulating(float** inputs, float** outputs, VstInt32 frames) {
  if (!outputs) return;
  for (VstInt32 done = 0; done < frames;) {
    const VstInt32 n = std::min<VstInt32>(frames - done, scratchFrames);
    float* in[TVoiceEngine::inputCount] = {};
    for (int ch = 0; ch < 2 && inputs; ++ch) in[ch] = inputs[ch] ? inputs[ch] + done : nullptr;
    engine.Process(in, scratchChannels, n);
    for (int ch = 0; ch < TVoiceEngine::outputCount; ++ch) {
      if (!outputs[ch]) continue;
      for (VstInt32 i = 0; i < n; ++i) outputs[ch][done + i] += scratchChannels[ch][i];
    }
    done += n;
  }
}

// ---- parameters ------------------------------------------------------------

void TThudraEffect::SetParameter(VstInt32 index, float value) {
  if (index == 0) {
    engine.SetMaster(value);
  } else if (index > 0 && index < parameterCount) {
    engine.SetCellLevel(index - 1, value);
  }
}

float TThudraEffect::GetParameter(VstInt32 index) const {
  if (index == 0) return engine.Master();
  if (index > 0 && index < parameterCount) return engine.CellLevel(index - 1);
  return 0.0f;
}

void TThudraEffect::ParameterName(VstInt32 index, char* text) const {
  if (!text) return;
  char name[16] = "";
  if (index == 0) {
    std::snprintf(name, sizeof name, "Master");
  } else if (index > 0 && index < parameterCount) {
    std::snprintf(name, sizeof name, "Cell %d", static_cast<int>(index));
  }
  CopyText(text, name, kVstMaxParamStrLen);
}

void TThudraEffect::ParameterDisplay(VstInt32 index, char* text) const {
  if (!text) return;
  const float level = GetParameter(index);
  char shown[16];
  if (level <= 0.00001f) {
    std::snprintf(shown, sizeof shown, "-inf");
  } else {
    std::snprintf(shown, sizeof shown, "%.1f", 20.0 * std::log10(level));
  }
  CopyText(text, shown, kVstMaxParamStrLen);
}

bool TThudraEffect::OutputProperties(VstInt32 index, VstPinProperties* props, bool input) const {
  if (!props || index < 0 || index >= (input ? TVoiceEngine::inputCount : TVoiceEngine::outputCount)) return false;
  std::memset(props, 0, sizeof *props);
  const int first = index - index % 2 + 1;
  std::snprintf(props->label, sizeof props->label, "Thudra %s %d-%d", input ? "In" : "Out", first, first + 1);
  std::snprintf(props->shortLabel, sizeof props->shortLabel, "%s%d-%d", input ? "I" : "O", first, first + 1);
  props->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

// ---- state -----------------------------------------------------------------

VstIntPtr TThudraEffect::GetChunk(void** data) {
  if (!data) return 0;
  TKit kit;
  std::memcpy(kit.name, kitName, sizeof kit.name);
  kit.SetDrumkit(drumkit.c_str());
  engine.ReadKit(kit);
  kit.WriteChunk(chunk.data());
  *data = chunk.data();
  return static_cast<VstIntPtr>(chunk.size());
}

VstIntPtr TThudraEffect::SetChunk(const void* data, VstIntPtr size) {
  TKit kit;
  if (size <= 0 || !TKit::FromChunk(data, static_cast<size_t>(size), kit)) return 0;
  std::memcpy(kitName, kit.name, sizeof kitName);
  engine.ApplyKit(kit);
  drumkit = kit.drumkit;
  kits->Choose(drumkit, engine.SampleRate());
  return 1;
}

VstIntPtr TThudraEffect::VendorSpecific(VstInt32 index) {
  std::string error;
  switch (index) {
    case 2: {
      TKit kit;
      std::memcpy(kit.name, kitName, sizeof kit.name);
      kit.SetDrumkit(drumkit.c_str());
      engine.ReadKit(kit);
      const std::string path = TKitStore::Save(kit, error);
      Tell(path.empty() ? error : "Kit saved to " + path);
      return path.empty() ? 0 : 1;
    }
    case 1: {
      TKit kit;
      const std::string path = TKitStore::LoadLatest(kit, error);
      if (path.empty()) {
        Tell(error);
        return 0;
      }
      std::memcpy(kitName, kit.name, sizeof kitName);
      engine.ApplyKit(kit);
      drumkit = kit.drumkit;
      kits->Choose(drumkit, engine.SampleRate());
      Tell("Kit loaded from " + path);
      return 1;
    }
    case 3:
      TellKitMessages();
      return kits->Ready() ? 1 : 0;
    case -1: ShowAbout(); return 1;
    default: return 0;
  }
}

void TThudraEffect::ShowAbout() {
  if (editor) {
    aboutUntil = std::chrono::steady_clock::now() + kMessageTime;
  } else {
    std::fprintf(stderr, "Thudra %s - 54 channel professional drum sampler\n", kThudraVersionText);
  }
}

// Messages go to the editor's status line, or to standard error without an editor.
void TThudraEffect::Tell(const std::string& text) {
  message = text;
  messageUntil = std::chrono::steady_clock::now() + kMessageTime;
  if (!editor) std::fprintf(stderr, "Thudra: %s\n", text.c_str());
}

void TThudraEffect::ChooseDrumkit(const std::string& name) {
  drumkit = name;
  kits->Choose(drumkit, engine.SampleRate(), true);
}

// The kit thread's news, on this thread: the status line, and without an editor
// standard error with each part of the kit that was left out.
void TThudraEffect::TellKitMessages() {
  const std::vector<std::string> news = kits->TakeMessages();
  if (news.empty()) return;
  for (const std::string& line : news) Tell(line);
  if (editor) return;
  for (const std::string& line : kits->State().leftOut) std::fprintf(stderr, "Thudra:   %s\n", line.c_str());
}

std::string TThudraEffect::StatusLine() const {
  const auto now = std::chrono::steady_clock::now();
  if (now < aboutUntil) return std::string("Thudra ") + kThudraVersionText + " - 54 channel professional drum sampler";
  if (now < messageUntil) return message;
  return transport.View().message;
}

// ---- editor ----------------------------------------------------------------

VstIntPtr TThudraEffect::EditOpen(void* window) {
  if (editor) return 1;
  auto opened = std::make_unique<TEditor>(*this);
  if (!opened->Open(window)) return 0;
  editor = std::move(opened);
  return 1;
}

void TThudraEffect::EditClose() { editor.reset(); }

void TThudraEffect::EditIdle() {
  if (!editor) return;
  transport.Poll();
  TellKitMessages();
  editor->Idle();
}

void TThudraEffect::SetCompact(bool on) {
  compact = on;
  rect = {0, 0, on ? compactHeight : fullHeight, on ? compactWidth : fullWidth};
  if (editor) editor->Resize(rect.right - rect.left, rect.bottom - rect.top);
  if (host) host(&effect, audioMasterSizeWindow, rect.right - rect.left, rect.bottom - rect.top, nullptr, 0.0f);
}

const VstTimeInfo* TThudraEffect::QueryTime() {
  if (!host) return nullptr;
  const VstIntPtr answer = host(&effect, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f);
  return reinterpret_cast<const VstTimeInfo*>(answer);
}

void TThudraEffect::PressCell(int cell) {
  if (cell < 0 || cell >= kCellCount) return;
  engine.PlayFromUi(cell, 110);
  SendNote(kFirstCellNote + cell, 110);
}

void TThudraEffect::ReleaseCell(int cell) {
  if (cell >= 0 && cell < kCellCount) SendNote(kFirstCellNote + cell, 0);
}

void TThudraEffect::SendNote(int note, int velocity) {
  if (!host) return;
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent) - 8;
  event.midiData[0] = static_cast<char>(velocity > 0 ? 0x90 : 0x80);
  event.midiData[1] = static_cast<char>(note & 0x7F);
  event.midiData[2] = static_cast<char>(velocity & 0x7F);
  VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&event);
  host(&effect, audioMasterProcessEvents, 0, 0, &list, 0.0f);
}
