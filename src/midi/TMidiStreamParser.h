// Turns the bytes that a MIDI input delivers into messages: short messages (with
// running status, real-time bytes anywhere, even inside system-exclusive data) and
// system-exclusive messages byte by byte. Bytes that belong to no message are
// dropped. One parser per input, fed by that input's thread only.
#pragma once
#include <cstddef>
#include <cstdint>

class TMidiStreamParser {
public:
  class IReceiver {
  public:
    virtual ~IReceiver() = default;
    // The packed short message: status in bits 0-7, data1 in 8-15, data2 in 16-23.
    virtual void OnShortMessage(uint32_t message) = 0;
    // A system-exclusive message: its 0xF0, the data, and its 0xF7 when it has one
    // (a status byte other than a real-time one ends it without).
    virtual void OnSysexByte(uint8_t byte) = 0;
    virtual void OnSysexEnd() = 0;
  };

  void Feed(const uint8_t* bytes, size_t count, IReceiver& receiver);
  bool InSysex() const { return inSysex; }

private:
  void Status(uint8_t status, IReceiver& receiver);

  uint8_t status = 0;  // the status in force; 0 when a data byte has no message
  uint8_t data[2] = {};
  int32_t have = 0;
  int32_t need = 0;
  bool inSysex = false;
};
