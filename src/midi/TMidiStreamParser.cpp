#include "TMidiStreamParser.h"

namespace {
// Data bytes that follow a status byte.
int32_t DataBytes(uint8_t status) {
  if (status < 0xC0) return 2;
  if (status < 0xE0) return 1;
  if (status < 0xF0) return 2;
  switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0;
  }
}
}  // namespace

void TMidiStreamParser::Feed(const uint8_t* bytes, size_t count, IReceiver& receiver) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b >= 0xF8) {
      receiver.OnShortMessage(b);
    } else if (b & 0x80) {
      Status(b, receiver);
    } else if (inSysex) {
      receiver.OnSysexByte(b);
    } else if (status != 0) {
      data[have++] = b;
      if (have < need) continue;
      receiver.OnShortMessage(status | uint32_t(data[0]) << 8 | uint32_t(need == 2 ? data[1] : 0) << 16);
      have = 0;
      // System common messages have no running status.
      if (status >= 0xF0) status = 0;
    }
  }
}

void TMidiStreamParser::Status(uint8_t b, IReceiver& receiver) {
  have = 0;
  if (b == 0xF7) {
    if (inSysex) {
      receiver.OnSysexByte(b);
      receiver.OnSysexEnd();
      inSysex = false;
    }
    status = 0;
    return;
  }
  if (inSysex) {
    receiver.OnSysexEnd();
    inSysex = false;
  }
  if (b == 0xF0) {
    inSysex = true;
    status = 0;
    receiver.OnSysexByte(b);
    return;
  }
  status = b;
  need = DataBytes(b);
  if (need == 0) {
    receiver.OnShortMessage(b);
    status = 0;
  }
}
