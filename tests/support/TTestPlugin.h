// A minimal VST 2 loader of the tests' own: dlopen, the entry, dispatcher helpers,
// blocks of 16 inputs and 16 outputs, and a host callback that records every call
// and answers through a function the test may replace.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "vst2/Vst2.h"

struct TTestMidi {
  int32_t delta;
  uint8_t status, data1, data2;
};

struct THostCall {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  bool hadEffect;
  // For audioMasterProcessEvents: the MIDI events sent (delta and three bytes).
  std::vector<TTestMidi> events;
};

class TTestPlugin {
public:
  using THostAnswer = std::function<VstIntPtr(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                              float opt)>;
  static constexpr int channels = 16;
  static constexpr int maxFrames = 4096;

  explicit TTestPlugin(std::string path);
  ~TTestPlugin();  // closes the effect (effClose) and unloads the library
  TTestPlugin(const TTestPlugin&) = delete;
  TTestPlugin& operator=(const TTestPlugin&) = delete;

  // Open() and Enter(entry). False with Error() set when the library, the entry or
  // the effect is missing.
  bool Load(const char* entry = "main");
  // dlopen only (so that a test can set a plug-in's switches before its entry runs).
  bool Open();
  // Calls the exported entry ("main", or another name) with this loader's callback.
  bool Enter(const char* entry = "main");
  const std::string& Error() const { return error; }
  void* Symbol(const char* name) const;
  AEffect* Effect() const { return effect; }

  // Replaces the default answers (version 2400, "Velmora", "VM-Host", canDo
  // "sizeWindow" and "sendVstTimeInfo", a 120 BPM time record); the call is recorded
  // either way.
  void SetHostAnswer(THostAnswer answer);
  std::vector<THostCall> HostCalls() const;
  void ClearHostCalls();
  // The default time record, which tests may change.
  VstTimeInfo& TimeInfo() { return timeInfo; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0);
  std::string ProductString();
  // effOpen, block size, sample rate, resume.
  void Start(int blockSize = 128, float sampleRate = 44100.0f);
  void Stop();  // suspend
  // effProcessEvents with these events, then processReplacing of `frames`.
  void Process(int frames, const std::vector<TTestMidi>& events = {});
  void ProcessReplacingOnly(int frames);
  float* Output(int channel) { return outputs[channel].data(); }
  float* Input(int channel) { return inputs[channel].data(); }
  std::vector<uint8_t> GetChunk();
  bool SetChunk(const std::vector<uint8_t>& data);
  void Close();  // effClose; the library stays loaded

private:
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt);
  VstIntPtr DefaultAnswer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  std::string path;
  std::string error;
  void* library = nullptr;
  AEffect* effect = nullptr;
  THostAnswer answer;
  mutable std::mutex callsMutex;
  std::vector<THostCall> calls;
  VstTimeInfo timeInfo{};
  std::vector<float> inputs[channels], outputs[channels];
  float* inputPointers[channels] = {};
  float* outputPointers[channels] = {};
  VstMidiEvent eventRecords[1024] = {};
  VstEventList<1024> eventList{};
};
