// 80-bit IEEE extended reals as AIFF stores its sample rate: sign and 15-bit
// exponent, then a 64-bit mantissa with an explicit integer bit, big-endian.
#pragma once
#include <cstdint>

class TExtended {
public:
  static constexpr int32_t byteCount = 10;

  TExtended() = default;
  explicit TExtended(const uint8_t (&raw)[byteCount]);

  // Exact for every value a double holds with at most 64 mantissa bits, powers of
  // two included.
  static TExtended FromDouble(double value);
  // False for an infinity, a NaN, or an exponent that a double cannot reach (the
  // value is then left unchanged).
  bool ToDouble(double& value) const;

  const uint8_t* Bytes() const { return bytes; }
  uint8_t* Bytes() { return bytes; }

private:
  uint8_t bytes[byteCount] = {};
};
