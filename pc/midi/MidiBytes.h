// The bytes of a packed short message (status in bits 0-7, data1 in 8-15, data2 in
// 16-23) as they go over the wire.
#pragma once
#include <cstddef>
#include <cstdint>

inline size_t ShortMessageBytes(uint32_t message, uint8_t bytes[3]) {
  const auto status = static_cast<uint8_t>(message & 0xFF);
  bytes[0] = status;
  bytes[1] = static_cast<uint8_t>(message >> 8 & 0x7F);
  bytes[2] = static_cast<uint8_t>(message >> 16 & 0x7F);
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 3;
  if (status < 0xE0 || status == 0xF1 || status == 0xF3) return 2;
  return 1;
}
