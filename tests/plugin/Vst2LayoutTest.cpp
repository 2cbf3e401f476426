// The VST 2 records must match the interface's published 64-bit layout byte for
// byte: a plug-in built by anyone else reads and writes these offsets.
#include <gtest/gtest.h>

#include <cstddef>

#include "audio/THDRecordingPrp.h"
#include "vst2/Vst2.h"

namespace {

struct TField {
  const char* name;
  size_t actual;
  size_t expected;
};

void ExpectLayout(const std::vector<TField>& fields) {
  for (const TField& f : fields) EXPECT_EQ(f.actual, f.expected) << f.name;
}

#define FIELD(type, member, offset) TField{#type "::" #member, offsetof(type, member), offset}
#define SIZE(type, bytes) TField{"sizeof " #type, sizeof(type), bytes}

TEST(Vst2Layout, EffectRecordHasThePublishedOffsets) {
  ExpectLayout({FIELD(AEffect, magic, 0), FIELD(AEffect, dispatcher, 8), FIELD(AEffect, process, 16),
                FIELD(AEffect, setParameter, 24), FIELD(AEffect, getParameter, 32), FIELD(AEffect, numPrograms, 40),
                FIELD(AEffect, numParams, 44), FIELD(AEffect, numInputs, 48), FIELD(AEffect, numOutputs, 52),
                FIELD(AEffect, flags, 56), FIELD(AEffect, resvd1, 64), FIELD(AEffect, resvd2, 72),
                FIELD(AEffect, initialDelay, 80), FIELD(AEffect, realQualities, 84), FIELD(AEffect, offQualities, 88),
                FIELD(AEffect, ioRatio, 92), FIELD(AEffect, object, 96), FIELD(AEffect, user, 104),
                FIELD(AEffect, uniqueID, 112), FIELD(AEffect, version, 116), FIELD(AEffect, processReplacing, 120),
                FIELD(AEffect, processDoubleReplacing, 128), FIELD(AEffect, future, 136), SIZE(AEffect, 192)});
  EXPECT_EQ(kEffectMagic, 0x56737450);  // 'VstP'
}

TEST(Vst2Layout, EventRecordsHaveThePublishedOffsets) {
  ExpectLayout({FIELD(VstEvent, type, 0), FIELD(VstEvent, byteSize, 4), FIELD(VstEvent, deltaFrames, 8),
                FIELD(VstEvent, flags, 12), FIELD(VstEvent, data, 16), SIZE(VstEvent, 32),
                FIELD(VstMidiEvent, type, 0), FIELD(VstMidiEvent, byteSize, 4), FIELD(VstMidiEvent, deltaFrames, 8),
                FIELD(VstMidiEvent, flags, 12), FIELD(VstMidiEvent, noteLength, 16),
                FIELD(VstMidiEvent, noteOffset, 20), FIELD(VstMidiEvent, midiData, 24),
                FIELD(VstMidiEvent, detune, 28), FIELD(VstMidiEvent, noteOffVelocity, 29),
                FIELD(VstMidiEvent, reserved1, 30), FIELD(VstMidiEvent, reserved2, 31), SIZE(VstMidiEvent, 32),
                FIELD(VstEvents, numEvents, 0), FIELD(VstEvents, reserved, 8), FIELD(VstEvents, events, 16),
                SIZE(VstEvents, 32)});
  using TList = VstEventList<1000>;
  ExpectLayout({FIELD(TList, numEvents, 0), FIELD(TList, reserved, 8), FIELD(TList, events, 16),
                SIZE(TList, 16 + 8 * 1000)});
}

TEST(Vst2Layout, RectangleTimeAndPinRecordsHaveThePublishedOffsets) {
  ExpectLayout({FIELD(ERect, top, 0), FIELD(ERect, left, 2), FIELD(ERect, bottom, 4), FIELD(ERect, right, 6),
                SIZE(ERect, 8)});
  ExpectLayout({FIELD(VstTimeInfo, samplePos, 0), FIELD(VstTimeInfo, sampleRate, 8),
                FIELD(VstTimeInfo, nanoSeconds, 16), FIELD(VstTimeInfo, ppqPos, 24), FIELD(VstTimeInfo, tempo, 32),
                FIELD(VstTimeInfo, barStartPos, 40), FIELD(VstTimeInfo, cycleStartPos, 48),
                FIELD(VstTimeInfo, cycleEndPos, 56), FIELD(VstTimeInfo, timeSigNumerator, 64),
                FIELD(VstTimeInfo, timeSigDenominator, 68), FIELD(VstTimeInfo, smpteOffset, 72),
                FIELD(VstTimeInfo, smpteFrameRate, 76), FIELD(VstTimeInfo, samplesToNextClock, 80),
                FIELD(VstTimeInfo, flags, 84), SIZE(VstTimeInfo, 88)});
  ExpectLayout({FIELD(VstPinProperties, label, 0), FIELD(VstPinProperties, flags, 64),
                FIELD(VstPinProperties, arrangementType, 68), FIELD(VstPinProperties, shortLabel, 72),
                SIZE(VstPinProperties, 128)});
}

TEST(Vst2Layout, TimeFlagsMakeTheClockCombination) {
  // Transport playing, ppq position, tempo and time signature valid.
  EXPECT_EQ(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid, 0x2602);
  EXPECT_EQ(kVstClockValid, 0x8000);
}

TEST(Vst2Layout, OpcodesHaveTheirPublishedNumbers) {
  const std::pair<int, int> dispatcher[] = {
      {effOpen, 0}, {effClose, 1}, {effSetProgram, 2}, {effSetProgramName, 4}, {effGetProgramName, 5},
      {effSetSampleRate, 10}, {effSetBlockSize, 11}, {effMainsChanged, 12}, {effEditGetRect, 13},
      {effEditOpen, 14}, {effEditClose, 15}, {effEditIdle, 19}, {effGetChunk, 23}, {effSetChunk, 24},
      {effProcessEvents, 25}, {effGetOutputProperties, 34}, {effGetProductString, 48}, {effVendorSpecific, 50},
      {effCanDo, 51}, {effIdle, 53}, {effKeysRequired, 57}, {effEditKeyDown, 59}};
  for (const auto& [actual, expected] : dispatcher) EXPECT_EQ(actual, expected);
  const std::pair<int, int> host[] = {
      {audioMasterAutomate, 0}, {audioMasterVersion, 1}, {audioMasterCurrentId, 2}, {audioMasterIdle, 3},
      {audioMasterPinConnected, 4}, {audioMasterWantMidi, 6}, {audioMasterGetTime, 7},
      {audioMasterProcessEvents, 8}, {audioMasterSetTime, 9}, {audioMasterNeedIdle, 14},
      {audioMasterSizeWindow, 15}, {audioMasterGetSampleRate, 16}, {audioMasterGetSpeakerArrangement, 31},
      {audioMasterGetVendorString, 32}, {audioMasterGetProductString, 33}, {audioMasterGetVendorVersion, 34},
      {audioMasterVendorSpecific, 35}, {audioMasterSetIcon, 36}, {audioMasterCanDo, 37}};
  for (const auto& [actual, expected] : host) EXPECT_EQ(actual, expected);
  EXPECT_EQ(effFlagsHasEditor, 1);
  EXPECT_EQ(effFlagsCanReplacing, 16);
  EXPECT_EQ(effFlagsProgramChunks, 32);
  EXPECT_EQ(effFlagsIsSynth, 256);
}

TEST(RecorderCommandRecord, FieldsKeepTheirOrderAndWidths) {
  ExpectLayout({FIELD(THDRecordingPrp, command, 0), FIELD(THDRecordingPrp, position, 4),
                FIELD(THDRecordingPrp, recordMode, 8), FIELD(THDRecordingPrp, playerPosition, 8),
                FIELD(THDRecordingPrp, playMode, 12), FIELD(THDRecordingPrp, length, 12),
                FIELD(THDRecordingPrp, sampleRate, 16), FIELD(THDRecordingPrp, playerActive, 20),
                FIELD(THDRecordingPrp, paused, 24), FIELD(THDRecordingPrp, playerStopped, 28),
                FIELD(THDRecordingPrp, loop, 32), FIELD(THDRecordingPrp, fileName, 40),
                FIELD(THDRecordingPrp, folder, 56), FIELD(THDRecordingPrp, fileType, 72),
                FIELD(THDRecordingPrp, newName, 80), SIZE(THDRecordingPrp, 96)});
}

}  // namespace
