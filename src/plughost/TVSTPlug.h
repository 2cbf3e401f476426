// The host's side of the one hosted plug-in: loads the library, opens the plug-in,
// checks that it is the expected product, opens its editor, wraps every call into
// it, keeps its MIDI event queue and answers its calls into the host.
#pragma once
#include <atomic>
#include <cstdint>

#include "IPlugEnsemble.h"
#include "IVSTPlug.h"
#include "TMidiEventQueue.h"
#include "TVSTWnd.h"
#include "foundation/TParamStr.h"

class TVSTPlug : public TBase, public virtual IVSTPlug {
public:
  static constexpr const char* libraryName = "Thudra.dll";
  static constexpr const char* entryName = "main";
  static constexpr const char* expectedProduct = "Thudra - 54 channel professional drum sampler";
  static constexpr const char* hostVendor = "Velmora";
  static constexpr const char* hostProduct = "VM-Host";
  static constexpr int32_t productBufferBytes = 160;
  static constexpr TPnt editorPosition{100, 100};

  // The library to host: an empty path means "Thudra.dll" in the program's folder;
  // checkProduct false hosts another plug-in without the product check.
  static void SetLibrary(const TStr& path, bool checkProduct);
  static TStr GetLibraryPath();
  static bool IsProductCheckOn();

  // ensemble may be null (a plug-in on its own: no ports, no clock, no MIDI out).
  explicit TVSTPlug(IPlugEnsemble* ensemble);
  ~TVSTPlug() override;
  TVSTPlug(const TVSTPlug&) = delete;
  TVSTPlug& operator=(const TVSTPlug&) = delete;

  virtual AEffect* Load();
  virtual void Unload();
  virtual void SendEventsOut(VstEvents* events);
  virtual void SendMidiOut(VstMidiEvent* event);

  bool IsLoaded() override { return effect != nullptr; }
  void GetProductString(char* text) override;
  int32_t KeysRequired() override;
  void SetBlockSize(int32_t frames) override;
  void SetSampleRate(float rate) override;
  void SetParameter(int32_t index, float value) override;
  float GetParameter(int32_t index) override;
  int32_t GetChunk(void** data, int32_t isPreset) override;
  void SetChunk(void* data, int32_t size, int32_t isPreset) override;
  void SetProgram(int32_t program) override;
  void SetProgramName(char* text) override;
  void GetProgramName(char* text) override;
  bool GetOutputProperties(int32_t index, VstPinProperties* properties) override;
  VstTimeInfo* GetTimeInfo() override;
  void Process(float** inputs, float** outputs, int32_t frames) override;
  void ProcessReplacing(float** inputs, float** outputs, int32_t frames) override;
  void ProcessEvents(VstEvents* events) override;
  void QueueMidiEvent(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  void FlushEvents() override;
  void ClearEvents() override;
  intptr_t VendorSpecific(int32_t index, void* ptr, intptr_t value) override;
  void EditOpen(void* window) override;
  void EditClose() override;
  int32_t EditGetRect(ERect** rect) override;
  void Idle() override;
  void Suspend() override;
  void Resume() override;
  void SuspendAgain() override { Suspend(); }
  void SetEventOffset(int32_t frame) override { events.SetEventOffset(frame); }
  void EditKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) override;
  void BeforePanel() override {}
  void AfterPanel() override {}
  void NoEffect() override {}
  int32_t AnswerZero1() override { return 0; }
  int32_t AnswerZero2() override { return 0; }
  TVSTWnd* GetEditor() override { return editor; }

  // The host callback handed to the library's main.
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt);

  AEffect* GetEffect() const { return effect; }
  bool IsSuspended() const { return suspended.load() != 0; }
  IPlugEnsemble* GetEnsemble() const { return ensemble; }
  TMidiEventQueue& GetEventQueue() { return events; }
  int64_t GetDroppedEventCount() override { return events.GetDroppedCount(); }

private:
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  bool CheckProduct();
  void OpenEditor();
  void Teardown();
  // The plug-in object of an effect record, or null (a record that is not, or not
  // yet, one of ours).
  static TVSTPlug* Find(AEffect* effect);
  static void Register(TVSTPlug* plug);
  static void Unregister(TVSTPlug* plug);

  AEffect* effect = nullptr;
  std::atomic<int32_t> suspended{0};
  TVSTWnd* editor = nullptr;
  IPlugEnsemble* ensemble;
  TMidiEventQueue events;
  void* library = nullptr;
};

namespace Msg {
extern TParamStr plugNotFound;   // "Thudra.dll not found !"
extern TParamStr plugCorrupted;  // "Thudra.dll is corrupted !"
}  // namespace Msg
