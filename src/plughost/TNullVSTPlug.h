// A plug-in object without a plug-in: every operation does nothing and answers 0.
// The base of stand-ins (the inspection tool's, tests').
#pragma once
#include "IVSTPlug.h"

class TNullVSTPlug : public TBase, public virtual IVSTPlug {
public:
  bool IsLoaded() override { return false; }
  void GetProductString(char* text) override {
    if (text) text[0] = 0;
  }
  int32_t KeysRequired() override { return 0; }
  void SetBlockSize(int32_t) override {}
  void SetSampleRate(float) override {}
  void SetParameter(int32_t, float) override {}
  float GetParameter(int32_t) override { return 0.0f; }
  int32_t GetChunk(void**, int32_t) override { return 0; }
  void SetChunk(void*, int32_t, int32_t) override {}
  void SetProgram(int32_t) override {}
  void SetProgramName(char*) override {}
  void GetProgramName(char* text) override {
    if (text) text[0] = 0;
  }
  bool GetOutputProperties(int32_t, VstPinProperties*) override { return false; }
  VstTimeInfo* GetTimeInfo() override { return nullptr; }
  void Process(float**, float**, int32_t) override {}
  void ProcessReplacing(float**, float**, int32_t) override {}
  void ProcessEvents(VstEvents*) override {}
  void QueueMidiEvent(int32_t, int32_t, int32_t, int32_t) override {}
  void FlushEvents() override {}
  void ClearEvents() override {}
  intptr_t VendorSpecific(int32_t, void*, intptr_t) override { return 0; }
  void EditOpen(void*) override {}
  void EditClose() override {}
  int32_t EditGetRect(ERect**) override { return 0; }
  void Idle() override {}
  void Suspend() override {}
  void Resume() override {}
  void SuspendAgain() override {}
  void SetEventOffset(int32_t) override {}
  void EditKeyDown(int32_t, int32_t, int32_t) override {}
  void BeforePanel() override {}
  void AfterPanel() override {}
  void NoEffect() override {}
  int32_t AnswerZero1() override { return 0; }
  int32_t AnswerZero2() override { return 0; }
  TVSTWnd* GetEditor() override { return nullptr; }
  int64_t GetDroppedEventCount() override { return 0; }
};
