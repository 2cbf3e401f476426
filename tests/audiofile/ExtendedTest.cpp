#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "audiofile/TExtended.h"

namespace {
TExtended FromBytes(std::initializer_list<uint8_t> list) {
  uint8_t raw[TExtended::byteCount] = {};
  std::copy(list.begin(), list.end(), raw);
  return TExtended(raw);
}

std::vector<uint8_t> BytesOf(const TExtended& value) {
  return std::vector<uint8_t>(value.Bytes(), value.Bytes() + TExtended::byteCount);
}
}  // namespace

TEST(Extended, SampleRatesOfAIFFFiles) {
  EXPECT_EQ(BytesOf(TExtended::FromDouble(44100)),
            (std::vector<uint8_t>{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(BytesOf(TExtended::FromDouble(22050)),
            (std::vector<uint8_t>{0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
  double rate = 0;
  ASSERT_TRUE(FromBytes({0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}).ToDouble(rate));
  EXPECT_EQ(rate, 22050.0);
  ASSERT_TRUE(FromBytes({0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}).ToDouble(rate));
  EXPECT_EQ(rate, 48000.0);
}

TEST(Extended, PowersOfTwoAreExact) {
  for (int power = -60; power <= 60; ++power) {
    const double value = std::ldexp(1.0, power);
    const TExtended extended = TExtended::FromDouble(value);
    const int32_t exponent = (int32_t(extended.Bytes()[0] & 0x7F) << 8) | extended.Bytes()[1];
    EXPECT_EQ(exponent, 16383 + power) << power;
    EXPECT_EQ(extended.Bytes()[2], 0x80) << power;
    for (int i = 3; i < TExtended::byteCount; ++i) EXPECT_EQ(extended.Bytes()[i], 0) << power;
    double back = 0;
    ASSERT_TRUE(extended.ToDouble(back));
    EXPECT_EQ(back, value);
  }
}

TEST(Extended, DoublesRoundTripExactly) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> mantissa(0.5, 1.0);
  std::uniform_int_distribution<int> power(-1000, 1000);
  for (int i = 0; i < 2000; ++i) {
    const double value = std::ldexp(mantissa(random), power(random)) * (i % 2 ? -1 : 1);
    double back = 0;
    ASSERT_TRUE(TExtended::FromDouble(value).ToDouble(back));
    EXPECT_EQ(back, value);
  }
  double zero = 1;
  ASSERT_TRUE(TExtended::FromDouble(0.0).ToDouble(zero));
  EXPECT_EQ(zero, 0.0);
  EXPECT_EQ(BytesOf(TExtended::FromDouble(0.0)), std::vector<uint8_t>(10, 0));
}

TEST(Extended, InfinityNaNAndUnreachableExponentsAreRefused) {
  double value = 7.0;
  EXPECT_FALSE(FromBytes({0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}).ToDouble(value));  // infinity
  EXPECT_FALSE(FromBytes({0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0}).ToDouble(value));  // NaN
  EXPECT_FALSE(FromBytes({0xFF, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 1}).ToDouble(value));
  EXPECT_FALSE(FromBytes({0x44, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}).ToDouble(value));  // 2^1025
  EXPECT_FALSE(FromBytes({0x00, 0x01, 0x80, 0, 0, 0, 0, 0, 0, 0}).ToDouble(value));  // 2^-16382
  EXPECT_EQ(value, 7.0);
  EXPECT_FALSE(TExtended::FromDouble(std::numeric_limits<double>::infinity()).ToDouble(value));
  EXPECT_FALSE(TExtended::FromDouble(std::nan("")).ToDouble(value));
}
