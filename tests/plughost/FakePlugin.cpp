#include "FakePlugin.h"

#include <algorithm>
#include <cstring>

TCallLog& TCallLog::Get() {
  static TCallLog log;
  return log;
}

void TCallLog::Add(const std::string& entry) {
  std::lock_guard<std::mutex> guard(mutex);
  entries.push_back(entry);
}

std::vector<std::string> TCallLog::Entries() const {
  std::lock_guard<std::mutex> guard(mutex);
  return entries;
}

void TCallLog::Clear() {
  std::lock_guard<std::mutex> guard(mutex);
  entries.clear();
}

int TCallLog::Find(const std::string& entry, int from) const {
  std::lock_guard<std::mutex> guard(mutex);
  for (int i = std::max(0, from); i < static_cast<int>(entries.size()); ++i)
    if (entries[i] == entry) return i;
  return -1;
}

TFakePlugin& TFakePlugin::Get() {
  static TFakePlugin plugin;
  return plugin;
}

void TFakePlugin::Reset() {
  std::lock_guard<std::mutex> guard(mutex);
  product = thudraProduct;
  editorRect = {0, 0, 300, 400};
  hasEditor = true;
  noMain = mainAnswersNull = mainAnswersGarbage = callHostFromMain = false;
  chunk.clear();
  outputValue = 0.0f;
  calls.clear();
  blocks.clear();
  pending.clear();
  pendingSeen = false;
  setChunk.clear();
  mainAnswers.clear();
  processCount = 0;
  processedWhileSuspended = 0;
  processedWhileClosing = 0;
  whileClosing = nullptr;
  blocksWithoutEvents = 0;
  active = false;
  open = false;
  host = nullptr;
  effect = AEffect{};
}

void TFakePlugin::ClearRecord() {
  std::lock_guard<std::mutex> guard(mutex);
  calls.clear();
  blocks.clear();
  pending.clear();
  pendingSeen = false;
  setChunk.clear();
  processCount = 0;
  processedWhileSuspended = 0;
  blocksWithoutEvents = 0;
}

std::vector<TFakeCall> TFakePlugin::Calls() const {
  std::lock_guard<std::mutex> guard(mutex);
  return calls;
}

std::vector<int32_t> TFakePlugin::Opcodes() const {
  std::vector<int32_t> codes;
  for (const TFakeCall& call : Calls()) codes.push_back(call.opcode);
  return codes;
}

std::vector<int32_t> TFakePlugin::OpcodesWithoutIdle() const {
  std::vector<int32_t> codes;
  for (const TFakeCall& call : Calls())
    if (call.opcode != effIdle && call.opcode != effEditIdle) codes.push_back(call.opcode);
  return codes;
}

std::vector<std::vector<TFakeEvent>> TFakePlugin::Blocks() const {
  std::lock_guard<std::mutex> guard(mutex);
  return blocks;
}

std::vector<uint8_t> TFakePlugin::LastSetChunk() const {
  std::lock_guard<std::mutex> guard(mutex);
  return setChunk;
}

std::vector<intptr_t> TFakePlugin::MainAnswers() const {
  std::lock_guard<std::mutex> guard(mutex);
  return mainAnswers;
}

AEffect* TFakePlugin::Main(audioMasterCallback hostCallback) {
  TFakePlugin& plugin = Get();
  plugin.host = hostCallback;
  TCallLog::Get().Add("plug:main");
  if (plugin.callHostFromMain) {
    // A record that is not finished yet: its user field holds garbage.
    plugin.effect.user = reinterpret_cast<void*>(0x1234);
    const intptr_t first = hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
    const intptr_t second = hostCallback(&plugin.effect, audioMasterVersion, 0, 0, nullptr, 0);
    const intptr_t idle = hostCallback(&plugin.effect, audioMasterIdle, 0, 0, nullptr, 0);
    const intptr_t size = hostCallback(&plugin.effect, audioMasterSizeWindow, 10, 10, nullptr, 0);
    const intptr_t events = hostCallback(&plugin.effect, audioMasterProcessEvents, 0, 0, nullptr, 0);
    std::lock_guard<std::mutex> guard(plugin.mutex);
    plugin.mainAnswers = {first, second, idle, size, events};
  }
  if (plugin.mainAnswersNull) return nullptr;
  static AEffect garbage{};
  if (plugin.mainAnswersGarbage) return &garbage;
  AEffect& e = plugin.effect;
  e = AEffect{};
  e.magic = kEffectMagic;
  e.dispatcher = &Dispatcher;
  e.setParameter = &SetParameter;
  e.getParameter = &GetParameter;
  e.processReplacing = &ProcessReplacing;
  e.numPrograms = 1;
  e.numParams = 4;
  e.numInputs = 16;
  e.numOutputs = 16;
  e.flags = effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth | (plugin.hasEditor ? effFlagsHasEditor : 0);
  return &e;
}

VstIntPtr TFakePlugin::Dispatcher(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return Get().Handle(opcode, index, value, ptr, opt);
}

VstIntPtr TFakePlugin::Handle(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (opcode == effClose && whileClosing) {
    closing = true;
    whileClosing();
    closing = false;
  }
  TFakeCall call{opcode, index, value, opt, {}};
  VstIntPtr answer = 0;
  std::unique_lock<std::mutex> guard(mutex);
  switch (opcode) {
    case effOpen: open = true; break;
    case effClose: open = false; break;
    case effGetProductString:
      std::strncpy(static_cast<char*>(ptr), product.c_str(), 159);
      call.text = product;
      answer = 1;
      break;
    case effEditGetRect:
      if (hasEditor) {
        *static_cast<ERect**>(ptr) = &editorRect;
        answer = 1;
      }
      break;
    case effMainsChanged: active = value != 0; break;
    case effGetChunk:
      chunkAnswer = chunk;
      if (!chunkAnswer.empty()) {
        *static_cast<void**>(ptr) = chunkAnswer.data();
        answer = static_cast<VstIntPtr>(chunkAnswer.size());
      }
      break;
    case effSetChunk: {
      const uint8_t* bytes = static_cast<const uint8_t*>(ptr);
      setChunk.assign(bytes, bytes + value);
      break;
    }
    case effProcessEvents: {
      const VstEvents* list = static_cast<const VstEvents*>(ptr);
      pending.clear();
      pendingSeen = true;
      for (int32_t i = 0; list && i < list->numEvents; ++i) {
        const auto* event = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
        pending.push_back({event->deltaFrames, static_cast<uint8_t>(event->midiData[0]),
                           static_cast<uint8_t>(event->midiData[1]), static_cast<uint8_t>(event->midiData[2])});
      }
      call.value = list ? list->numEvents : -1;
      break;
    }
    case effVendorSpecific:
    case effEditKeyDown:
    case effEditOpen:
    case effEditClose:
    case effSetBlockSize:
    case effSetSampleRate:
    default: break;
  }
  calls.push_back(call);
  guard.unlock();
  TCallLog::Get().Add("plug:" + std::to_string(opcode) + (opcode == effMainsChanged ? ":" + std::to_string(value) : ""));
  return answer;
}

void TFakePlugin::ProcessReplacing(AEffect*, float**, float** outputs, VstInt32 frames) {
  TFakePlugin& plugin = Get();
  if (!plugin.active.load()) plugin.processedWhileSuspended.fetch_add(1);
  if (plugin.closing.load()) plugin.processedWhileClosing.fetch_add(1);
  plugin.processCount.fetch_add(1);
  for (int32_t c = 0; c < 16; ++c)
    for (int32_t i = 0; i < frames; ++i) outputs[c][i] = plugin.outputValue;
  std::lock_guard<std::mutex> guard(plugin.mutex);
  if (!plugin.pendingSeen) plugin.blocksWithoutEvents.fetch_add(1);
  plugin.blocks.push_back(plugin.pending);
  plugin.calls.push_back({-1, 0, frames, 0, "process"});
  plugin.pending.clear();
  plugin.pendingSeen = false;
}

void TFakePlugin::SetParameter(AEffect*, VstInt32 index, float value) {
  TFakePlugin& plugin = Get();
  if (index >= 0 && index < 4) plugin.parameters[index] = value;
}

float TFakePlugin::GetParameter(AEffect*, VstInt32 index) {
  TFakePlugin& plugin = Get();
  return index >= 0 && index < 4 ? plugin.parameters[index] : 0.0f;
}

// ---- The loader ------------------------------------------------------------------

TFakeLoader::TFakeLoader() : next(SetLibraryLoader(this)) {}
TFakeLoader::~TFakeLoader() { SetLibraryLoader(next); }

void* TFakeLoader::Load(const TStr& path) {
  if (path == TFakePlugin::path) {
    ++loads;
    TCallLog::Get().Add("loader:load");
    return &token;
  }
  return next ? next->Load(path) : nullptr;
}

void* TFakeLoader::FindEntry(void* library, const char* name) {
  if (library == &token) {
    if (TFakePlugin::Get().noMain || std::strcmp(name, "main") != 0) return nullptr;
    return reinterpret_cast<void*>(&TFakePlugin::Main);
  }
  return next ? next->FindEntry(library, name) : nullptr;
}

void TFakeLoader::Unload(void* library) {
  if (library == &token) {
    ++unloads;
    TCallLog::Get().Add("loader:unload");
    return;
  }
  if (next) next->Unload(library);
}
