// The driver port's sample formats against values worked out by hand: every type's
// write (gain, clipping, truncation) and read (scaling), each big-endian code alike
// its little-endian partner, nothing written past the samples asked, and the peaks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/asio/AsioLibrary.h"
#include "audio/asio/AsioSampleFormats.h"

namespace {
struct TCase {
  int32_t type;  // the little-endian code; its partner is type - 16
  double value;  // float to write, or the float a read must give
  int64_t raw;   // the stored integer (or, for the float types, unused)
};

// The bytes of one stored sample of that type.
std::vector<uint8_t> Stored(int32_t type, const TCase& c) {
  const int32_t bytes = Asio::SampleBytes(type);
  std::vector<uint8_t> stored(static_cast<size_t>(bytes));
  if ((type & ~16) == Asio::float32MSB) {
    const auto f = static_cast<float>(c.raw == 0 ? c.value : double(c.raw));
    std::memcpy(stored.data(), &f, 4);
  } else if ((type & ~16) == Asio::float64MSB) {
    const double d = c.raw == 0 ? c.value : double(c.raw);
    std::memcpy(stored.data(), &d, 8);
  } else {
    std::memcpy(stored.data(), &c.raw, size_t(bytes));  // little-endian machine: the low bytes
  }
  return stored;
}

std::string Describe(int32_t type, double value) { return "type " + std::to_string(type) + " value " + std::to_string(value); }
}  // namespace

TEST(AsioSampleFormats, WritesEveryTypeClippedAndTruncated) {
  const TCase cases[] = {
      {Asio::int16LSB, 0.5, 16383},          {Asio::int16LSB, -0.5, -16383},
      {Asio::int16LSB, 1.5, 32767},          {Asio::int16LSB, -1.5, -32767},
      {Asio::int24LSB, 0.5, 4194303},        {Asio::int24LSB, -1.5, -8388607},
      {Asio::int24LSB, 1.0, 8388607},        {Asio::int32LSB, 0.5, 1073741823},
      {Asio::int32LSB, 1.0, 2147483647},     {Asio::int32LSB, -1.5, -2147483647},
      {Asio::float32LSB, 0.25, 0},           {Asio::float32LSB, 1.5, 1},
      {Asio::float64LSB, -0.125, 0},         {Asio::float64LSB, -2.0, -1},
      {Asio::int32LSB16, 0.5, 16383},        {Asio::int32LSB16, -1.5, -32767},
      {Asio::int32LSB18, 0.5, 65535},        {Asio::int32LSB18, 1.5, 131071},
      {Asio::int32LSB20, 0.5, 262143},       {Asio::int32LSB20, -1.5, -524287},
      {Asio::int32LSB24, 0.5, 4194303},      {Asio::int32LSB24, 1.5, 8388607},
  };
  for (const TCase& c : cases)
    for (int32_t type : {c.type, c.type - 16}) {
      const int32_t bytes = Asio::SampleBytes(type);
      std::vector<uint8_t> buffer(size_t(3 * bytes), 0xEE);
      const float source = static_cast<float>(c.value);
      float min = 0, max = 0;
      AsioSamples::Write(type, buffer.data(), 1, &source, 1, 1.0f, min, max);
      const std::vector<uint8_t> expected = Stored(type, c);
      EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + bytes, buffer.begin() + 2 * bytes), expected)
          << Describe(type, c.value);
      for (int32_t i = 0; i < bytes; ++i) {
        EXPECT_EQ(buffer[size_t(i)], 0xEE) << "sample 0 untouched, " << Describe(type, c.value);
        EXPECT_EQ(buffer[size_t(2 * bytes + i)], 0xEE) << "sample 2 untouched, " << Describe(type, c.value);
      }
    }
}

TEST(AsioSampleFormats, ReadsEveryTypeScaled) {
  const TCase cases[] = {
      {Asio::int16LSB, 0.5, 16384},       {Asio::int16LSB, -1.0, -32768},
      {Asio::int24LSB, 0.5, 4194304},     {Asio::int24LSB, -1.0, -8388608},
      {Asio::int24LSB, -0.5, -4194304},   {Asio::int32LSB, 0.5, 1073741824},
      {Asio::int32LSB, -1.0, -2147483648LL},
      {Asio::float32LSB, 0.75, 0},        {Asio::float64LSB, -0.125, 0},
      {Asio::int32LSB16, 0.5, 16384},     {Asio::int32LSB18, 0.5, 65536},
      {Asio::int32LSB20, -0.5, -262144},  {Asio::int32LSB24, 0.5, 4194304},
      {Asio::int32LSB24, -1.0, -8388608},
  };
  for (const TCase& c : cases)
    for (int32_t type : {c.type, c.type - 16}) {
      TCase stored = c;
      if ((type & ~16) == Asio::float32MSB || (type & ~16) == Asio::float64MSB) stored.raw = 0;
      const std::vector<uint8_t> sample = Stored(type, stored);
      std::vector<uint8_t> buffer(sample);
      buffer.insert(buffer.end(), sample.begin(), sample.end());
      float read[2] = {9, 9};
      float min = 0, max = 0;
      AsioSamples::Read(type, buffer.data(), 1, read, 1, min, max);
      EXPECT_FLOAT_EQ(read[0], static_cast<float>(c.value)) << Describe(type, c.value);
      EXPECT_EQ(read[1], 9.0f) << "one sample read, " << Describe(type, c.value);
    }
}

TEST(AsioSampleFormats, AppliesTheGainAndFollowsThePeaksBeforeClipping) {
  const float source[] = {0.25f, -0.75f, 1.0f, 3.0f};
  int16_t written[4] = {};
  float min = 0, max = 0;
  AsioSamples::Write(Asio::int16LSB, written, 0, source, 4, 0.5f, min, max);
  EXPECT_EQ(written[0], 4095);  // 0.125 × 32767 = 4095.875
  EXPECT_EQ(written[1], -12287);
  EXPECT_EQ(written[2], 16383);
  EXPECT_EQ(written[3], 32767);
  EXPECT_FLOAT_EQ(min, -0.375f);
  EXPECT_FLOAT_EQ(max, 1.5f);

  const int32_t stored[] = {1 << 22, -(1 << 21), 0};
  float read[3];
  float readMin = 0, readMax = 0;
  AsioSamples::Read(Asio::int32LSB24, stored, 0, read, 3, readMin, readMax);
  EXPECT_FLOAT_EQ(readMin, -0.25f);
  EXPECT_FLOAT_EQ(readMax, 0.5f);
}

TEST(AsioSampleFormats, AnUnknownTypeReadsSilenceAndWritesNothing) {
  uint8_t buffer[16];
  std::memset(buffer, 0x11, sizeof buffer);
  const float source[2] = {0.5f, 0.5f};
  float min = 0, max = 0;
  AsioSamples::Write(5, buffer, 0, source, 2, 1.0f, min, max);
  for (uint8_t byte : buffer) EXPECT_EQ(byte, 0x11);
  float read[2] = {1, 1};
  AsioSamples::Read(12, buffer, 0, read, 2, min, max);
  EXPECT_EQ(read[0], 0.0f);
  EXPECT_EQ(read[1], 0.0f);
  EXPECT_FALSE(AsioSamples::IsKnown(5));
  EXPECT_TRUE(AsioSamples::IsKnown(Asio::int32MSB20));
}
