// The instrument as the host sees it: the effect record, its dispatcher and its
// processing entries, the kit state, the transport and the editor.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "TDrumkitLibrary.h"
#include "TKit.h"
#include "TKitLoading.h"
#include "TTransport.h"
#include "TVoiceEngine.h"
#include "vst2/Vst2.h"

class TEditor;

constexpr const char* kThudraProductString = "Thudra - 54 channel professional drum sampler";
constexpr const char* kThudraVersionText = "1.0.0";
constexpr VstInt32 kThudraVersion = 1000;

// Vendor-specific requests (effVendorSpecific, by index): 1 Load Kit (the newest kit
// file), 2 Save Kit, -1 About, 3 asks whether the chosen sampled kit is in place:
// 1 when it plays from the next block on (or has fallen back to the synthesised
// sounds), 0 while it still loads.
class TThudraEffect {
public:
  static constexpr int parameterCount = 1 + kCellCount;  // master, then the cell levels
  static constexpr int16_t fullWidth = 720, fullHeight = 440;
  static constexpr int16_t compactWidth = 720, compactHeight = 336;

  explicit TThudraEffect(audioMasterCallback host);
  ~TThudraEffect();
  TThudraEffect(const TThudraEffect&) = delete;
  TThudraEffect& operator=(const TThudraEffect&) = delete;

  AEffect* Effect() { return &effect; }
  static TThudraEffect* From(AEffect* effect);

  // ---- for the editor -------------------------------------------------------
  TVoiceEngine& Engine() { return engine; }
  TTransport& Transport() { return transport; }
  const char* KitName() const { return kitName; }
  // The sampled kits found on this machine, the one chosen, and choosing one ("" for
  // the synthesised sounds); what is in place and what was left out of it.
  std::vector<TDrumkitEntry> ListDrumkits() const { return TDrumkitLibrary::List(); }
  const std::string& DrumkitName() const { return drumkit; }
  void ChooseDrumkit(const std::string& name);
  TKitState DrumkitState() const { return kits->State(); }
  uint64_t DrumkitStateVersion() const { return kits->StateVersion(); }
  // Plays a cell (and sends it to the host as a note); Release ends the note there.
  void PressCell(int cell);
  void ReleaseCell(int cell);
  bool IsCompact() const { return compact; }
  void SetCompact(bool on);
  const VstTimeInfo* QueryTime();
  // The line under the header: About, kit messages, transport messages.
  std::string StatusLine() const;

private:
  static VstIntPtr DispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  static void ProcessEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
  static void ProcessReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
  static void SetParameterEntry(AEffect* e, VstInt32 index, float value);
  static float GetParameterEntry(AEffect* e, VstInt32 index);

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  void ProcessAccumulating(float** inputs, float** outputs, VstInt32 frames);
  void SetParameter(VstInt32 index, float value);
  float GetParameter(VstInt32 index) const;
  VstIntPtr GetChunk(void** data);
  VstIntPtr SetChunk(const void* data, VstIntPtr size);
  VstIntPtr VendorSpecific(VstInt32 index);
  VstIntPtr EditOpen(void* window);
  void EditClose();
  void EditIdle();
  void ParameterName(VstInt32 index, char* text) const;
  void ParameterDisplay(VstInt32 index, char* text) const;
  bool OutputProperties(VstInt32 index, VstPinProperties* props, bool input) const;
  void ShowAbout();
  void Tell(const std::string& text);
  void TellKitMessages();
  void SendNote(int note, int velocity);

  AEffect effect{};
  audioMasterCallback host;
  TVoiceEngine engine;
  TTransport transport;
  std::unique_ptr<TEditor> editor;
  char kitName[kKitNameSize] = {};
  std::string drumkit;  // the chosen sampled kit, kept in the chunk even when missing here
  std::unique_ptr<TKitLoading> kits;
  std::vector<uint8_t> chunk;
  ERect rect{};
  bool compact = false;
  std::string message;
  std::chrono::steady_clock::time_point messageUntil{};
  std::chrono::steady_clock::time_point aboutUntil{};
  // Scratch for the accumulating process: the block is rendered, then added.
  static constexpr int scratchFrames = 4096;
  std::vector<float> scratch;
  float* scratchChannels[TVoiceEngine::outputCount] = {};
};
