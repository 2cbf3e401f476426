// Declarations of the VST 2 plug-in interface shared by the host and our plug-ins,
// written from the interface's published binary layout for 64-bit Linux (LP64):
// integers are 32-bit, pointer-sized values are 64-bit, natural alignment.
#pragma once
#include <cstddef>
#include <cstdint>

struct AEffect;

using VstInt32 = int32_t;
using VstIntPtr = intptr_t;

// The host callback and the plug-in's entry points.
using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);
// The library's exported entry ("main" and "VSTPluginMain").
using VstPluginMainProc = AEffect* (*)(audioMasterCallback host);

constexpr VstInt32 kEffectMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // accumulating; deprecated
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;
  VstInt32 offQualities;
  float ioRatio;
  void* object;  // the plug-in's own object
  void* user;    // the host's
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

// AEffect::flags
enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 1 << 0,
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12,
};

// Dispatcher opcodes (host to plug-in).
enum AEffectOpcodes : VstInt32 {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effSetSpeakerArrangement = 42,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetParameterProperties = 56,
  effKeysRequired = 57,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effStartProcess = 71,
  effStopProcess = 72,
};

// Host callback opcodes (plug-in to host).
enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterPinConnected = 4,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterSetTime = 9,
  audioMasterTempoAt = 10,
  audioMasterGetNumAutomatableParameters = 11,
  audioMasterGetParameterQuantization = 12,
  audioMasterIOChanged = 13,
  audioMasterNeedIdle = 14,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetPreviousPlug = 20,
  audioMasterGetNextPlug = 21,
  audioMasterWillReplaceOrAccumulate = 22,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterOfflineStart = 25,
  audioMasterOfflineRead = 26,
  audioMasterOfflineWrite = 27,
  audioMasterOfflineGetCurrentPass = 28,
  audioMasterOfflineGetCurrentMetaPass = 29,
  audioMasterSetOutputSampleRate = 30,
  audioMasterGetSpeakerArrangement = 31,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterSetIcon = 36,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterOpenWindow = 39,
  audioMasterCloseWindow = 40,
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

// String lengths that the interface allows for answers (including the zero).
constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxParamStrLen = 8;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;
constexpr int kVstMaxEffectNameLen = 32;

// The editor's rectangle.
struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

// Events handed over with effProcessEvents / audioMasterProcessEvents.
enum VstEventTypes : VstInt32 {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

struct VstEvent {
  VstInt32 type;
  VstInt32 byteSize;     // size of the record behind these two fields
  VstInt32 deltaFrames;  // frames into the current block
  VstInt32 flags;
  char data[16];
};

enum VstMidiEventFlags : VstInt32 {
  kVstMidiEventIsRealtime = 1 << 0,
};

struct VstMidiEvent {
  VstInt32 type;  // kVstMidiType
  VstInt32 byteSize;  // 24
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

// The published list has room for two pointers; senders allocate more behind it.
struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];
};

// A VstEvents record with room for N events, laid out the same way.
template <int N>
struct VstEventList {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[N];

  VstEvents* AsEvents() { return reinterpret_cast<VstEvents*>(this); }
};

// Time information (audioMasterGetTime).
struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  VstInt32 timeSigNumerator;
  VstInt32 timeSigDenominator;
  VstInt32 smpteOffset;
  VstInt32 smpteFrameRate;
  VstInt32 samplesToNextClock;
  VstInt32 flags;
};

// VstTimeInfo::flags (and the request mask passed as the value of audioMasterGetTime).
enum VstTimeInfoFlags : VstInt32 {
  kVstTransportChanged = 1 << 0,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

// Output pin properties (effGetOutputProperties).
struct VstPinProperties {
  char label[64];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[8];
  char future[48];
};

enum VstPinPropertiesFlags : VstInt32 {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

enum VstPlugCategory : VstInt32 {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
};

// Fixed layout; a change here breaks every plug-in and host built against it.
static_assert(sizeof(void*) == 8, "these declarations describe the 64-bit layout");
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(sizeof(AEffect) == 192);
static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(sizeof(ERect) == 8);
static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);
