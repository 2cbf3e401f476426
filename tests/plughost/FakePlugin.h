// An in-process VST 2 plug-in for the host's tests, reached through a library
// loader of the tests' own: it records every call it receives and behaves as the
// test switches it. The log is shared with the test ports, so that one list shows
// the order of plug-in calls, device steps and MIDI port steps.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "plughost/ILibraryLoader.h"
#include "vst2/Vst2.h"

// The process-wide order log of the tests.
class TCallLog {
public:
  static TCallLog& Get();
  void Add(const std::string& entry);
  std::vector<std::string> Entries() const;
  void Clear();
  // Index of the first entry equal to entry at or after from, or -1.
  int Find(const std::string& entry, int from = 0) const;

private:
  mutable std::mutex mutex;
  std::vector<std::string> entries;
};

struct TFakeEvent {
  int32_t delta;
  uint8_t status;
  uint8_t data1;
  uint8_t data2;
  bool operator==(const TFakeEvent&) const = default;
};

struct TFakeCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
  std::string text;  // what a string pointer carried (product string, canDo ...)
};

class TFakePlugin {
public:
  static constexpr const char* thudraProduct = "Thudra - 54 channel professional drum sampler";
  static constexpr const char* path = "/fake/Thudra.dll";

  static TFakePlugin& Get();
  // Default behaviour, empty record.
  void Reset();
  // Empty record; the switches and a loaded plug-in stay.
  void ClearRecord();

  // ---- Switches (set before the host loads the plug-in) ----
  std::string product = thudraProduct;
  ERect editorRect{0, 0, 300, 400};  // top, left, bottom, right: 400 x 300
  bool hasEditor = true;
  bool noMain = false;
  bool mainAnswersNull = false;
  bool mainAnswersGarbage = false;
  // main calls the host before answering: version with a null record, then with
  // the unfinished record.
  bool callHostFromMain = false;
  std::vector<uint8_t> chunk;  // empty: effGetChunk answers 0
  // processReplacing writes this into every output sample.
  float outputValue = 0.0f;
  // Runs inside effClose before the plug-in closes (a close that takes its time).
  std::function<void()> whileClosing;

  // ---- Record ----
  std::vector<TFakeCall> Calls() const;
  std::vector<int32_t> Opcodes() const;
  // Opcodes without the idle calls (effIdle, effEditIdle).
  std::vector<int32_t> OpcodesWithoutIdle() const;
  // The events handed over before each processReplacing, block by block.
  std::vector<std::vector<TFakeEvent>> Blocks() const;
  std::vector<uint8_t> LastSetChunk() const;
  int64_t ProcessCount() const { return processCount.load(); }
  int64_t ProcessedWhileSuspended() const { return processedWhileSuspended.load(); }
  // processReplacing calls that came while effClose was running.
  int64_t ProcessedWhileClosing() const { return processedWhileClosing.load(); }
  int64_t BlocksWithoutEvents() const { return blocksWithoutEvents.load(); }
  bool IsActive() const { return active.load(); }
  bool IsOpen() const { return open.load(); }
  // Answers that the host callback gave while main ran.
  std::vector<intptr_t> MainAnswers() const;
  audioMasterCallback Host() const { return host; }
  AEffect* Effect() { return &effect; }

  // What main does.
  static AEffect* Main(audioMasterCallback host);

private:
  static VstIntPtr Dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt);
  static void ProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
  static void SetParameter(AEffect* effect, VstInt32 index, float value);
  static float GetParameter(AEffect* effect, VstInt32 index);
  VstIntPtr Handle(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  mutable std::mutex mutex;
  std::vector<TFakeCall> calls;
  std::vector<std::vector<TFakeEvent>> blocks;
  std::vector<TFakeEvent> pending;
  bool pendingSeen = false;
  std::vector<uint8_t> setChunk;
  std::vector<intptr_t> mainAnswers;
  std::vector<uint8_t> chunkAnswer;
  std::atomic<int64_t> processCount{0};
  std::atomic<int64_t> processedWhileSuspended{0};
  std::atomic<int64_t> processedWhileClosing{0};
  std::atomic<bool> closing{false};
  std::atomic<int64_t> blocksWithoutEvents{0};
  std::atomic<bool> active{false};
  std::atomic<bool> open{false};
  audioMasterCallback host = nullptr;
  AEffect effect{};
  float parameters[4] = {};
};

// The library loader of the tests: TFakePlugin::path loads the fake plug-in; any
// other path goes to the next loader (the platform's dlopen one when installed).
class TFakeLoader : public ILibraryLoader {
public:
  TFakeLoader();
  ~TFakeLoader() override;
  void* Load(const TStr& path) override;
  void* FindEntry(void* library, const char* name) override;
  void Unload(void* library) override;

  int Loads() const { return loads; }
  int Unloads() const { return unloads; }

private:
  ILibraryLoader* next;
  int loads = 0;
  int unloads = 0;
  int token = 0;
};
