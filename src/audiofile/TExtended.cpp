#include "TExtended.h"

#include <cmath>
#include <cstring>

namespace {
constexpr int32_t exponentBias = 16383;
constexpr int32_t exponentSpecial = 0x7FFF;

uint32_t LoadBig32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void StoreBig32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value >> 24);
  p[1] = uint8_t(value >> 16);
  p[2] = uint8_t(value >> 8);
  p[3] = uint8_t(value);
}
}  // namespace

TExtended::TExtended(const uint8_t (&raw)[byteCount]) { std::memcpy(bytes, raw, byteCount); }

TExtended TExtended::FromDouble(double value) {
  TExtended result;
  const bool negative = std::signbit(value);
  double magnitude = std::fabs(value);
  int32_t exponent = 0;
  uint32_t high = 0;
  uint32_t low = 0;
  if (std::isnan(magnitude) || std::isinf(magnitude)) {
    exponent = exponentSpecial;
    high = std::isnan(magnitude) ? 0xC0000000u : 0x80000000u;
  } else if (magnitude != 0.0) {
    // frexp gives the exact binary exponent, also for powers of two: magnitude =
    // fraction * 2^binary with fraction in [0.5, 1).
    int binary = 0;
    const double fraction = std::frexp(magnitude, &binary);
    exponent = exponentBias + binary - 1;
    const double scaled = std::ldexp(fraction, 32);
    high = static_cast<uint32_t>(scaled);
    low = static_cast<uint32_t>(std::ldexp(scaled - high, 32));
  }
  result.bytes[0] = uint8_t((negative ? 0x80 : 0) | ((exponent >> 8) & 0x7F));
  result.bytes[1] = uint8_t(exponent & 0xFF);
  StoreBig32(result.bytes + 2, high);
  StoreBig32(result.bytes + 6, low);
  return result;
}

bool TExtended::ToDouble(double& value) const {
  const bool negative = (bytes[0] & 0x80) != 0;
  const int32_t exponent = (int32_t(bytes[0] & 0x7F) << 8) | bytes[1];
  const uint32_t high = LoadBig32(bytes + 2);
  const uint32_t low = LoadBig32(bytes + 6);
  if (exponent == exponentSpecial) return false;
  if (high == 0 && low == 0) {
    value = negative ? -0.0 : 0.0;
    return true;
  }
  // A double reaches 2^1023 at most and, with its subnormals, 2^-1074 at least;
  // the mantissa adds up to 63 bits below the exponent.
  const int32_t power = exponent - exponentBias;
  if (power > 1023 || power < -1074 + 63) return false;
  const double magnitude = std::ldexp(double(high), power - 31) + std::ldexp(double(low), power - 63);
  if (std::isinf(magnitude)) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}
