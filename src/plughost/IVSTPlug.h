// The plug-in wrapper as the host, the ports and the session files use it: every
// call into the hosted plug-in goes through here.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "vst2/Vst2.h"

class TVSTWnd;

class IVSTPlug : public virtual IBase {
public:
  virtual bool IsLoaded() = 0;
  // text must hold at least 160 bytes (the interface allows 64).
  virtual void GetProductString(char* text) = 0;
  virtual int32_t KeysRequired() = 0;
  virtual void SetBlockSize(int32_t frames) = 0;
  virtual void SetSampleRate(float rate) = 0;
  virtual void SetParameter(int32_t index, float value) = 0;
  virtual float GetParameter(int32_t index) = 0;
  // Answers the size; *data stays the plug-in's memory.
  virtual int32_t GetChunk(void** data, int32_t isPreset) = 0;
  virtual void SetChunk(void* data, int32_t size, int32_t isPreset) = 0;
  virtual void SetProgram(int32_t program) = 0;
  virtual void SetProgramName(char* text) = 0;
  virtual void GetProgramName(char* text) = 0;
  virtual bool GetOutputProperties(int32_t index, VstPinProperties* properties) = 0;
  virtual VstTimeInfo* GetTimeInfo() = 0;
  virtual void Process(float** inputs, float** outputs, int32_t frames) = 0;
  virtual void ProcessReplacing(float** inputs, float** outputs, int32_t frames) = 0;
  virtual void ProcessEvents(VstEvents* events) = 0;
  // From the MIDI thread and the user-interface thread; constant time, no allocation.
  virtual void QueueMidiEvent(int32_t kind, int32_t channel, int32_t data1, int32_t data2) = 0;
  // Audio thread, once per block: hands the block's events over, then clears them.
  virtual void FlushEvents() = 0;
  virtual void ClearEvents() = 0;
  virtual intptr_t VendorSpecific(int32_t index, void* ptr, intptr_t value) = 0;
  virtual void EditOpen(void* window) = 0;
  virtual void EditClose() = 0;
  virtual int32_t EditGetRect(ERect** rect) = 0;
  virtual void Idle() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;
  virtual void SuspendAgain() = 0;
  // Events queued from now on until the next flush get at least this delta frame.
  virtual void SetEventOffset(int32_t frame) = 0;
  virtual void EditKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) = 0;
  // Called before and after a settings panel; no effect.
  virtual void BeforePanel() = 0;
  virtual void AfterPanel() = 0;
  // A slot without effect, kept so that the operations after it keep their places.
  virtual void NoEffect() = 0;
  // Two slots that answer 0, kept for the same reason.
  virtual int32_t AnswerZero1() = 0;
  virtual int32_t AnswerZero2() = 0;
  virtual TVSTWnd* GetEditor() = 0;
  // Events that found the queue full and were dropped, since the object was made.
  virtual int64_t GetDroppedEventCount() = 0;
};
