#include "AsioSampleFormats.h"

#include <algorithm>
#include <cstring>

#include "AsioLibrary.h"

namespace {
// Integers of the given stored width and the given significant bits.
template <class TStored, int bits>
struct TIntegerFormat {
  static constexpr float readScale = 1.0f / float(1LL << (bits - 1));
  static constexpr double writeScale = double((1LL << (bits - 1)) - 1);
  static float Load(const uint8_t* at) {
    TStored value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(value) * readScale;
  }
  static void Store(uint8_t* at, float v) {
    const auto value = static_cast<TStored>(static_cast<double>(v) * writeScale);
    std::memcpy(at, &value, sizeof value);
  }
  static constexpr int bytes = sizeof(TStored);
};

struct TInt24Format {
  static constexpr float readScale = 1.0f / 8388608.0f;
  static float Load(const uint8_t* at) {
    const int32_t value = static_cast<int32_t>(uint32_t(at[0]) << 8 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 24) >> 8;
    return static_cast<float>(value) * readScale;
  }
  static void Store(uint8_t* at, float v) {
    const auto value = static_cast<int32_t>(static_cast<double>(v) * 8388607.0);
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
  }
  static constexpr int bytes = 3;
};

template <class TStored>
struct TFloatFormat {
  static float Load(const uint8_t* at) {
    TStored value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(value);
  }
  static void Store(uint8_t* at, float v) {
    const auto value = static_cast<TStored>(v);
    std::memcpy(at, &value, sizeof value);
  }
  static constexpr int bytes = sizeof(TStored);
};

template <class TFormat>
void ReadAs(const void* buffer, int32_t first, float* target, int32_t count, float& min, float& max) {
  const uint8_t* at = static_cast<const uint8_t*>(buffer) + size_t(first) * TFormat::bytes;
  float low = min, high = max;
  for (int32_t i = 0; i < count; ++i, at += TFormat::bytes) {
    const float value = TFormat::Load(at);
    low = std::min(low, value);
    high = std::max(high, value);
    target[i] = value;
  }
  min = low;
  max = high;
}

template <class TFormat>
void WriteAs(void* buffer, int32_t first, const float* source, int32_t count, float gain, float& min, float& max) {
  uint8_t* at = static_cast<uint8_t*>(buffer) + size_t(first) * TFormat::bytes;
  float low = min, high = max;
  for (int32_t i = 0; i < count; ++i, at += TFormat::bytes) {
    const float value = gain * source[i];
    low = std::min(low, value);
    high = std::max(high, value);
    TFormat::Store(at, std::clamp(value, -1.0f, 1.0f));
  }
  min = low;
  max = high;
}

template <template <class> class TAction, class... TArgs>
void ByType(int32_t type, TArgs&&... args) {
  using namespace Asio;
  switch (type) {
    case int16MSB: case int16LSB: TAction<TIntegerFormat<int16_t, 16>>::Run(args...); break;
    case int24MSB: case int24LSB: TAction<TInt24Format>::Run(args...); break;
    case int32MSB: case int32LSB: TAction<TIntegerFormat<int32_t, 32>>::Run(args...); break;
    case float32MSB: case float32LSB: TAction<TFloatFormat<float>>::Run(args...); break;
    case float64MSB: case float64LSB: TAction<TFloatFormat<double>>::Run(args...); break;
    case int32MSB16: case int32LSB16: TAction<TIntegerFormat<int32_t, 16>>::Run(args...); break;
    case int32MSB18: case int32LSB18: TAction<TIntegerFormat<int32_t, 18>>::Run(args...); break;
    case int32MSB20: case int32LSB20: TAction<TIntegerFormat<int32_t, 20>>::Run(args...); break;
    case int32MSB24: case int32LSB24: TAction<TIntegerFormat<int32_t, 24>>::Run(args...); break;
    default: break;
  }
}

template <class TFormat>
struct TRead {
  static void Run(const void* buffer, int32_t first, float* target, int32_t count, float& min, float& max) {
    ReadAs<TFormat>(buffer, first, target, count, min, max);
  }
};
template <class TFormat>
struct TWrite {
  static void Run(void* buffer, int32_t first, const float* source, int32_t count, float gain, float& min, float& max) {
    WriteAs<TFormat>(buffer, first, source, count, gain, min, max);
  }
};
}  // namespace

bool AsioSamples::IsKnown(int32_t type) { return Asio::SampleBytes(type) != 0; }

void AsioSamples::Read(int32_t type, const void* buffer, int32_t first, float* target, int32_t count, float& min,
                       float& max) {
  if (!IsKnown(type)) {
    std::fill(target, target + count, 0.0f);
    return;
  }
  ByType<TRead>(type, buffer, first, target, count, min, max);
}

void AsioSamples::Write(int32_t type, void* buffer, int32_t first, const float* source, int32_t count, float gain,
                        float& min, float& max) {
  ByType<TWrite>(type, buffer, first, source, count, gain, min, max);
}
