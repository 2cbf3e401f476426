// The MIDI event record's kinds and the packed short message, shared by the MIDI
// ports, the ensemble and the plug-in wrapper.
#pragma once
#include <cstdint>

// Kinds of the MIDI event record (bits 4 to 6 of the status byte).
enum EMidiKind : int32_t {
  MidiNoteOff = 0,
  MidiNoteOn = 1,
  MidiPolyPressure = 2,
  MidiControl = 3,
  MidiProgram = 4,
  MidiChannelPressure = 5,
  MidiPitchBend = 6,
  MidiSystem = 7,
};

// For kind 7 the channel field says which system message arrived.
enum EMidiSystem : int32_t {
  MidiSongPosition = 2,
  MidiTimingClock = 8,
  MidiStart = 10,
  MidiContinue = 11,
  MidiStop = 12,
};

// The packed short message: status in bits 0-7, data1 in 8-15, data2 in 16-23.
constexpr uint32_t PackShortMessage(uint32_t status, uint32_t data1, uint32_t data2) {
  return (status & 0xFF) | (data1 & 0x7F) << 8 | (data2 & 0x7F) << 16;
}
constexpr int32_t ShortMessageKind(uint32_t message) { return static_cast<int32_t>(message >> 4 & 0x07); }
constexpr int32_t ShortMessageChannel(uint32_t message) { return static_cast<int32_t>(message & 0x0F); }
constexpr int32_t ShortMessageData1(uint32_t message) { return static_cast<int32_t>(message >> 8 & 0xFF); }
constexpr int32_t ShortMessageData2(uint32_t message) { return static_cast<int32_t>(message >> 16 & 0xFF); }
