#include "TVSTPlug.h"

#include <atomic>
#include <cstring>

#include "ILibraryLoader.h"
#include "foundation/IFileName.h"
#include "foundation/IFileSystem.h"
#include "foundation/Messages.h"
#include "foundation/MidiMessage.h"

namespace Msg {
TParamStr plugNotFound("Thudra.dll not found !");
TParamStr plugCorrupted("Thudra.dll is corrupted !");
}  // namespace Msg

namespace {
struct TLibraryChoice {
  TStr path;  // empty: Thudra.dll in the program's folder
  bool checkProduct = true;
};
TLibraryChoice& Choice() {
  static TLibraryChoice choice;
  return choice;
}

// The plug-in objects whose effect records are live, so that the host callback
// never trusts a record's user field before the record is ours (a plug-in may
// call back from inside main, with a record it has not finished).
struct TLive {
  std::atomic<AEffect*> effect{nullptr};
  std::atomic<TVSTPlug*> plug{nullptr};
};
constexpr int32_t liveSlots = 16;
TLive live[liveSlots];

// More events than any plug-in sends in one call; a count beyond it is not believed.
constexpr int32_t maxEventsOut = 100000;

class TNoLoader : public ILibraryLoader {
public:
  void* Load(const TStr&) override { return nullptr; }
  void* FindEntry(void*, const char*) override { return nullptr; }
  void Unload(void*) override {}
};
TNoLoader noLoader;
std::atomic<ILibraryLoader*> libraryLoader{nullptr};

thread_local int32_t idleDepth = 0;
}  // namespace

ILibraryLoader* SetLibraryLoader(ILibraryLoader* loader) { return libraryLoader.exchange(loader); }
ILibraryLoader& GetLibraryLoader() {
  ILibraryLoader* loader = libraryLoader.load();
  return loader ? *loader : noLoader;
}

void TVSTPlug::SetLibrary(const TStr& path, bool checkProduct) {
  Choice().path = path;
  Choice().checkProduct = checkProduct;
}

TStr TVSTPlug::GetLibraryPath() {
  if (!Choice().path.IsEmpty()) return Choice().path;
  return GetFileSystem().GetProgramFolder() + "/" + libraryName;
}

bool TVSTPlug::IsProductCheckOn() { return Choice().checkProduct; }

// ---- The live table ------------------------------------------------------------

void TVSTPlug::Register(TVSTPlug* plug) {
  for (TLive& slot : live) {
    TVSTPlug* expected = nullptr;
    if (slot.plug.compare_exchange_strong(expected, plug)) {
      slot.effect.store(plug->effect, std::memory_order_release);
      return;
    }
  }
}

void TVSTPlug::Unregister(TVSTPlug* plug) {
  for (TLive& slot : live) {
    if (slot.plug.load() == plug) {
      slot.effect.store(nullptr, std::memory_order_release);
      slot.plug.store(nullptr, std::memory_order_release);
    }
  }
}

TVSTPlug* TVSTPlug::Find(AEffect* effect) {
  if (!effect) return nullptr;
  for (TLive& slot : live) {
    if (slot.effect.load(std::memory_order_acquire) == effect) {
      TVSTPlug* plug = slot.plug.load(std::memory_order_acquire);
      if (plug && effect->user == plug) return plug;
    }
  }
  return nullptr;
}

// ---- Construction and teardown ---------------------------------------------------

TVSTPlug::TVSTPlug(IPlugEnsemble* owner) : ensemble(owner) {
  if (!Load()) return;
  Dispatch(effOpen);
  if (IsProductCheckOn() && !CheckProduct()) {
    ShowError(Msg::plugCorrupted, 0);
    // Suspended like a plug-in that passed, so that starting audio sends mains-on
    // before its first block.
    Suspend();
    return;
  }
  OpenEditor();
  Suspend();
}

AEffect* TVSTPlug::Load() {
  ILibraryLoader& loader = GetLibraryLoader();
  library = loader.Load(GetLibraryPath());
  if (!library) {
    ShowError(Msg::plugNotFound, 0);
    return nullptr;
  }
  auto entry = reinterpret_cast<VstPluginMainProc>(loader.FindEntry(library, entryName));
  if (!entry) return nullptr;
  AEffect* answer = entry(&HostCallback);
  // A record without the interface's magic or dispatcher is no plug-in.
  if (!answer || answer->magic != kEffectMagic || !answer->dispatcher) return nullptr;
  effect = answer;
  effect->user = this;
  Register(this);
  return effect;
}

void TVSTPlug::Unload() {
  if (!library) return;
  void* old = library;
  library = nullptr;
  GetLibraryLoader().Unload(old);
}

bool TVSTPlug::CheckProduct() {
  char text[productBufferBytes] = {};
  GetProductString(text);
  text[productBufferBytes - 1] = 0;
  return std::strcmp(text, expectedProduct) == 0;
}

void TVSTPlug::OpenEditor() {
  ERect* rect = nullptr;
  if (EditGetRect(&rect) == 0) return;
  editor = CreateOrReport<TVSTWnd>(this);
  if (!editor) return;
  TArea size;
  if (rect) size = {0, 0, rect->right - rect->left, rect->bottom - rect->top};
  editor->SetPlacement(editorPosition, size);
  editor->SetTitle("Thudra");
  IFrameWnd* frame = editor->GetFrame();
  const uintptr_t handle = frame ? frame->GetNativeHandle() : 0;
  if (handle) EditOpen(reinterpret_cast<void*>(handle));
}

// The owner saves "Last Session" before it destroys the wrapper (it still holds the
// chunk then); the destructor only closes.
TVSTPlug::~TVSTPlug() {
  RunDestructorBody([this] { Teardown(); });
}

void TVSTPlug::Teardown() {
  if (effect) {
    Dispatch(effEditClose);
    TVSTWnd* window = editor;
    editor = nullptr;
    ::Release(window);
    Dispatch(effClose);
    Unregister(this);
    effect = nullptr;
  }
  Unload();
}

// ---- Calls into the plug-in ----------------------------------------------------------

VstIntPtr TVSTPlug::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!effect || !effect->dispatcher) return 0;
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void TVSTPlug::GetProductString(char* text) { Dispatch(effGetProductString, 0, 0, text); }
int32_t TVSTPlug::KeysRequired() { return static_cast<int32_t>(Dispatch(effKeysRequired)); }
void TVSTPlug::SetBlockSize(int32_t frames) { Dispatch(effSetBlockSize, 0, frames); }
void TVSTPlug::SetSampleRate(float rate) { Dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

void TVSTPlug::SetParameter(int32_t index, float value) {
  if (effect && effect->setParameter) effect->setParameter(effect, index, value);
}

float TVSTPlug::GetParameter(int32_t index) {
  return effect && effect->getParameter ? effect->getParameter(effect, index) : 0.0f;
}

int32_t TVSTPlug::GetChunk(void** data, int32_t isPreset) {
  return static_cast<int32_t>(Dispatch(effGetChunk, isPreset & 0xFF, 0, data));
}

void TVSTPlug::SetChunk(void* data, int32_t size, int32_t isPreset) {
  Dispatch(effSetChunk, isPreset & 0xFF, size, data);
}

void TVSTPlug::SetProgram(int32_t program) { Dispatch(effSetProgram, 0, program); }
void TVSTPlug::SetProgramName(char* text) { Dispatch(effSetProgramName, 0, 0, text); }
void TVSTPlug::GetProgramName(char* text) { Dispatch(effGetProgramName, 0, 0, text); }

bool TVSTPlug::GetOutputProperties(int32_t index, VstPinProperties* properties) {
  return Dispatch(effGetOutputProperties, index, 0, properties) != 0;
}

VstTimeInfo* TVSTPlug::GetTimeInfo() { return ensemble ? ensemble->UpdateTimeInfo() : nullptr; }

void TVSTPlug::Process(float** inputs, float** outputs, int32_t frames) {
  if (effect && effect->process) effect->process(effect, inputs, outputs, frames);
}

void TVSTPlug::ProcessReplacing(float** inputs, float** outputs, int32_t frames) {
  if (effect && effect->processReplacing) effect->processReplacing(effect, inputs, outputs, frames);
}

void TVSTPlug::ProcessEvents(VstEvents* list) { Dispatch(effProcessEvents, 0, 0, list); }

void TVSTPlug::QueueMidiEvent(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  // System messages go to the clock only; kinds beyond pitch bend are no events.
  if (kind < MidiNoteOff || kind > MidiPitchBend) return;
  const uint8_t status = static_cast<uint8_t>(0x80 | (kind & 0x0F) << 4 | (channel & 0x0F));
  events.Queue(status, static_cast<uint8_t>(data1 & 0x7F), static_cast<uint8_t>(data2 & 0x7F));
}

void TVSTPlug::FlushEvents() {
  VstEvents* list = events.Collect();
  if (list) ProcessEvents(list);
}

void TVSTPlug::ClearEvents() { events.Clear(); }

intptr_t TVSTPlug::VendorSpecific(int32_t index, void* ptr, intptr_t value) {
  return Dispatch(effVendorSpecific, index, value, ptr);
}

void TVSTPlug::EditOpen(void* window) { Dispatch(effEditOpen, 0, 0, window); }
void TVSTPlug::EditClose() { Dispatch(effEditClose); }
int32_t TVSTPlug::EditGetRect(ERect** rect) { return static_cast<int32_t>(Dispatch(effEditGetRect, 0, 0, rect)); }

void TVSTPlug::Idle() {
  // A plug-in that asks for idle from inside its idle call is not called again.
  if (idleDepth > 0) return;
  ++idleDepth;
  Dispatch(effIdle);
  Dispatch(effEditIdle);
  --idleDepth;
}

void TVSTPlug::Suspend() {
  if (suspended) return;
  Dispatch(effMainsChanged, 0, 0);
  suspended = 1;
}

void TVSTPlug::Resume() {
  if (!suspended) return;
  if (const int32_t frames = ensemble ? ensemble->GetPortBlockSize() : 0) SetBlockSize(frames);
  Dispatch(effMainsChanged, 0, 1);
  suspended = 0;
}

void TVSTPlug::EditKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) {
  Dispatch(effEditKeyDown, character, virtualKey & 0xFF, nullptr, static_cast<float>(modifiers & 0xFF));
}

// ---- MIDI out ------------------------------------------------------------------------

void TVSTPlug::SendEventsOut(VstEvents* list) {
  if (!list || list->numEvents <= 0 || list->numEvents > maxEventsOut) return;
  for (int32_t i = 0; i < list->numEvents; ++i) {
    VstEvent* event = list->events[i];
    if (event && event->type == kVstMidiType) SendMidiOut(reinterpret_cast<VstMidiEvent*>(event));
  }
}

void TVSTPlug::SendMidiOut(VstMidiEvent* event) {
  if (!event || !ensemble) return;
  const uint32_t channel = static_cast<uint32_t>(ensemble->GetSendChannel() - 1) & 0x0F;
  uint32_t status = static_cast<uint8_t>(event->midiData[0]);
  if ((status & 0x0F) != channel) status = 0x80 | (status & 0x70) | channel;
  const uint32_t message = status | static_cast<uint32_t>(static_cast<uint8_t>(event->midiData[1])) << 8 |
                           static_cast<uint32_t>(static_cast<uint8_t>(event->midiData[2])) << 16 |
                           static_cast<uint32_t>(static_cast<uint8_t>(event->midiData[3])) << 24;
  ensemble->SendMidiOut(message);
}

// ---- The host callback ------------------------------------------------------------------

VstIntPtr TVSTPlug::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float) {
  TVSTPlug* plug = Find(effect);
  switch (opcode) {
    case audioMasterVersion: return 1;
    case audioMasterIdle:
      if (plug) plug->Idle();
      return 0;
    case audioMasterGetTime: return plug ? reinterpret_cast<VstIntPtr>(plug->GetTimeInfo()) : 0;
    case audioMasterProcessEvents:
      if (plug) plug->SendEventsOut(static_cast<VstEvents*>(ptr));
      return 0;
    case audioMasterSizeWindow:
      if (plug && plug->editor) plug->editor->SetPlacement({0, 0}, {0, 0, index, static_cast<int32_t>(value)});
      return 0;
    case audioMasterGetVendorString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), hostVendor);
      return 0;
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), hostProduct);
      return 0;
    case audioMasterVendorSpecific:
      if (plug && plug->ensemble && ptr && (index == 0 || index == 1)) plug->ensemble->RunTransportCommand(index, ptr);
      return 0;
    case audioMasterCanDo: {
      const char* text = static_cast<const char*>(ptr);
      if (!text) return 0;
      // Bounded: the comparison includes the terminating zero.
      return std::strncmp(text, "sizeWindow", 11) == 0 || std::strncmp(text, "sendVstTimeInfo", 16) == 0 ? 1 : 0;
    }
    default: return 0;
  }
}
