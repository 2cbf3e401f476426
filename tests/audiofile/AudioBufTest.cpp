#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audiofile/TAudioBuf.h"
#include "foundation/Messages.h"
#include "foundation/TMemoryFile.h"

namespace {
int32_t FullScale(int32_t bits) { return int32_t((int64_t(1) << (bits - 1)) - 1); }

int32_t StoredInteger(TAudioBuf& buffer, int32_t frame, int32_t channel) {
  const auto* p = static_cast<const uint8_t*>(buffer.GetSamplePtr(frame, channel));
  switch (buffer.GetBytesPerSample()) {
    case 1: return int8_t(p[0]);
    case 2: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 3: return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

std::string CaughtMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (EError) {
    const std::string text(std::string_view(GetPendingError()->GetText()));
    ClearPendingError();
    return text;
  }
  return "";
}
}  // namespace

TEST(AudioBuf, NewBufferIsEmptyStereoFloatAt44100) {
  TAudioBuf buffer;
  EXPECT_EQ(buffer.GetLength(), 0);
  EXPECT_EQ(buffer.GetChannels(), 2);
  EXPECT_EQ(buffer.GetSampleRate(), 44100);
  EXPECT_FALSE(buffer.IsInterleaved());
  EXPECT_EQ(buffer.GetBits(), 32);
  EXPECT_EQ(buffer.GetBytesPerSample(), 4);
  EXPECT_TRUE(buffer.IsFloat());
  EXPECT_EQ(buffer.GetMargin(), 0);
  EXPECT_EQ(buffer.GetSamplePtr(0, 0), nullptr);
}

class AudioBufBits : public ::testing::TestWithParam<int32_t> {};

TEST_P(AudioBufBits, StoresClampedTruncatedValuesAndReadsThemScaled) {
  const int32_t bits = GetParam();
  TAudioBuf buffer;
  buffer.SetFormat(false, true, bits, 2, 44100, 4, 0);
  EXPECT_EQ(buffer.GetBytesPerSample(), (bits + 7) / 8);
  buffer.SetSample(0, 1.5f, 0);
  buffer.SetSample(0, -1.5f, 1);
  buffer.SetSample(1, 0.5f, 0);
  buffer.SetSample(1, -0.25f, 1);
  const double full = FullScale(bits);
  EXPECT_EQ(StoredInteger(buffer, 0, 0), int32_t(std::trunc(32767.0 / 32768.0 * full)));
  EXPECT_EQ(StoredInteger(buffer, 0, 1), -FullScale(bits));
  EXPECT_EQ(StoredInteger(buffer, 1, 0), int32_t(std::trunc(0.5 * full)));
  EXPECT_EQ(StoredInteger(buffer, 1, 1), int32_t(std::trunc(-0.25 * full)));
  EXPECT_NEAR(buffer.GetSample(0, 1), -1.0f, 1e-6);
  EXPECT_NEAR(buffer.GetSample(1, 0), 0.5f, 1.0 / full + 1e-6);
  // The neighbouring samples are untouched.
  EXPECT_EQ(StoredInteger(buffer, 2, 0), 0);
  EXPECT_EQ(StoredInteger(buffer, 2, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, AudioBufBits, ::testing::Values(8, 16, 24, 32));

TEST(AudioBuf, SixteenBitEdgeValuesOfTheRules) {
  TAudioBuf buffer;
  buffer.SetFormat(false, false, 16, 1, 44100, 2, 0);
  buffer.SetSample(0, 1.5f, 0);
  buffer.SetSample(1, -1.5f, 0);
  EXPECT_EQ(StoredInteger(buffer, 0, 0), 32766);
  EXPECT_EQ(StoredInteger(buffer, 1, 0), -32767);
  buffer.SetSample(0, std::nanf(""), 0);
  EXPECT_EQ(StoredInteger(buffer, 0, 0), 0);
}

TEST(AudioBuf, FloatSamplesAreStoredUnchanged) {
  TAudioBuf buffer;
  buffer.SetFormat(true, false, 16, 2, 48000, 3, 0);
  EXPECT_EQ(buffer.GetBits(), 32);
  buffer.SetSample(2, 1.5f, -1);
  EXPECT_EQ(buffer.GetSample(2, 0), 1.5f);
  EXPECT_EQ(buffer.GetSample(2, 1), 1.5f);
}

TEST(AudioBuf, FramesOutsideTheMarginsAndChannelsAreIgnored) {
  TAudioBuf buffer;
  buffer.SetFormat(true, false, 32, 2, 44100, 4, 2);
  for (int32_t frame : {-3, 6, 1000, -1000}) {
    buffer.SetSample(frame, 0.5f, -1);
    EXPECT_EQ(buffer.GetSamplePtr(frame, 0), nullptr) << frame;
    EXPECT_EQ(buffer.GetSample(frame, 0), 0.0f);
  }
  buffer.SetSample(0, 0.5f, 2);
  buffer.SetSample(0, 0.5f, -2);
  EXPECT_EQ(buffer.GetSample(0, 0), 0.0f);
  buffer.SetSample(-2, 0.25f, 0);
  buffer.SetSample(5, 0.75f, 1);
  EXPECT_EQ(buffer.GetSample(-2, 0), 0.25f);
  EXPECT_EQ(buffer.GetSample(5, 1), 0.75f);
}

TEST(AudioBuf, RefreshMarginsWrapsAroundBothEnds) {
  for (bool interleaved : {false, true}) {
    TAudioBuf buffer;
    buffer.SetFormat(false, interleaved, 16, 2, 44100, 4, 2);
    for (int32_t i = 0; i < 4; ++i) {
      buffer.SetSample(i, 0.1f * float(i + 1), 0);
      buffer.SetSample(i, -0.1f * float(i + 1), 1);
    }
    buffer.RefreshMargins();
    for (int32_t c = 0; c < 2; ++c) {
      EXPECT_EQ(buffer.GetSample(-2, c), buffer.GetSample(2, c));
      EXPECT_EQ(buffer.GetSample(-1, c), buffer.GetSample(3, c));
      EXPECT_EQ(buffer.GetSample(4, c), buffer.GetSample(0, c));
      EXPECT_EQ(buffer.GetSample(5, c), buffer.GetSample(1, c));
    }
    buffer.Clear();
    EXPECT_EQ(buffer.GetSample(-2, 0), 0.0f);
    EXPECT_EQ(buffer.GetSample(3, 1), 0.0f);
  }
}

TEST(AudioBuf, MarginsLongerThanTheBufferWrapAgain) {
  TAudioBuf buffer;
  buffer.SetFormat(true, false, 32, 1, 44100, 2, 5);
  buffer.SetSample(0, 1.0f, 0);
  buffer.SetSample(1, 2.0f, 0);
  buffer.RefreshMargins();
  for (int32_t frame = -5; frame < 7; ++frame)
    EXPECT_EQ(buffer.GetSample(frame, 0), ((frame % 2) + 2) % 2 == 0 ? 1.0f : 2.0f) << frame;
}

TEST(AudioBuf, SetLengthKeepsTheSharedFrames) {
  TAudioBuf buffer;
  buffer.SetFormat(false, true, 16, 2, 44100, 3, 0);
  buffer.SetSample(2, 0.5f, 1);
  buffer.SetLength(10);
  EXPECT_EQ(buffer.GetLength(), 10);
  EXPECT_NEAR(buffer.GetSample(2, 1), 0.5f, 1e-4);
  EXPECT_EQ(buffer.GetSample(9, 1), 0.0f);
  buffer.SetLength(2);
  EXPECT_EQ(buffer.GetSamplePtr(2, 1), nullptr);
}

TEST(AudioBuf, CopyFromConvertsTheFormatAndClipsToTheDestination) {
  TAudioBuf source;
  source.SetFormat(false, true, 16, 2, 44100, 8, 0);
  for (int32_t i = 0; i < 8; ++i) source.SetSample(i, 0.1f * float(i), -1);
  TAudioBuf target;
  target.SetFormat(true, false, 32, 1, 44100, 4, 0);
  target.CopyFrom(source, -1, 2, 1);
  EXPECT_EQ(target.GetSample(0, 0), 0.0f);
  for (int32_t i = 1; i < 4; ++i) EXPECT_NEAR(target.GetSample(i, 0), 0.1f * float(i + 1), 1e-4) << i;

  TAudioBuf other;
  other.SetFormat(true, false, 32, 1, 48000, 4, 0);
  other.CopyFrom(source, 4, 0, 0);
  EXPECT_EQ(other.GetSample(1, 0), 0.0f);
}

TEST(AudioBuf, CopyFromBetweenDifferentRatesCopiesNothing) {
  TAudioBuf source;
  source.SetFormat(true, false, 32, 2, 48000, 4, 0);
  source.SetSample(0, 0.5f, -1);
  TAudioBuf target;
  target.SetFormat(true, false, 32, 2, 44100, 4, 0);
  target.CopyFrom(source, -1, 0, 0);
  EXPECT_EQ(target.GetSample(0, 0), 0.0f);
}

TEST(AudioBuf, FailedAllocationLeavesAnEmptyBufferAndRaisesMemoryIsLow) {
  TAudioBuf buffer;
  buffer.SetFormat(false, false, 16, 1, 44100, 10, 0);
  const std::string message = CaughtMessage(
      [&] { buffer.SetFormat(false, true, 32, 65535, 44100, INT32_MAX, INT32_MAX); });
  EXPECT_EQ(message, "Memory is low. Cannot finish operation!");
  EXPECT_EQ(buffer.GetLength(), 0);
  EXPECT_EQ(buffer.GetData(), nullptr);
}

struct TSerialCase {
  int32_t byteOrder;
  std::vector<uint8_t> expected;
};

TEST(AudioBuf, SerialisedFormInBothByteOrders) {
  const std::vector<TSerialCase> cases = {
      {LittleEndian, {2, 0, 0, 0, 2, 0, 0, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0,
                      0x01, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0xFE, 0xFF}},
      {BigEndian, {0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0xAC, 0x44, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0,
                   0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFE}},
  };
  for (const TSerialCase& c : cases) {
    TAudioBuf buffer;
    buffer.SetFormat(false, false, 16, 2, 44100, 2, 0);
    *static_cast<int16_t*>(buffer.GetSamplePtr(0, 0)) = 1;
    *static_cast<int16_t*>(buffer.GetSamplePtr(1, 0)) = 2;
    *static_cast<int16_t*>(buffer.GetSamplePtr(0, 1)) = -1;
    *static_cast<int16_t*>(buffer.GetSamplePtr(1, 1)) = -2;
    TMemoryFile out;
    ASSERT_TRUE(out.OpenWrite());
    out.SetByteOrder(c.byteOrder);
    buffer.Write(out);
    EXPECT_EQ(buffer.GetSerialisedSize(), int64_t(c.expected.size()));
    ASSERT_EQ(out.GetSize(), int64_t(c.expected.size()));
    EXPECT_EQ(std::vector<uint8_t>(out.GetData(), out.GetData() + out.GetSize()), c.expected);

    TMemoryFile in;
    ASSERT_TRUE(in.OpenRead(c.expected.data(), int64_t(c.expected.size())));
    in.SetByteOrder(c.byteOrder);
    TAudioBuf copy;
    copy.Read(in, int64_t(c.expected.size()));
    EXPECT_EQ(copy.GetLength(), 2);
    EXPECT_EQ(copy.GetChannels(), 2);
    EXPECT_EQ(copy.GetBits(), 16);
    EXPECT_FALSE(copy.IsFloat());
    EXPECT_EQ(*static_cast<int16_t*>(copy.GetSamplePtr(1, 1)), -2);
    EXPECT_EQ(*static_cast<int16_t*>(copy.GetSamplePtr(1, 0)), 2);
  }
}

TEST(AudioBuf, SerialisedFormOfEveryDepthRoundTrips) {
  for (int32_t bits : {8, 16, 24, 32}) {
    TAudioBuf buffer;
    buffer.SetFormat(false, false, bits, 1, 22050, 3, 0);
    buffer.SetSample(0, -0.5f, 0);
    buffer.SetSample(2, 0.75f, 0);
    TMemoryFile out;
    ASSERT_TRUE(out.OpenWrite());
    out.SetByteOrder(BigEndian);
    buffer.Write(out);
    TMemoryFile in;
    ASSERT_TRUE(in.OpenRead(out.GetData(), out.GetSize()));
    in.SetByteOrder(BigEndian);
    TAudioBuf copy;
    copy.Read(in, out.GetSize());
    EXPECT_EQ(StoredInteger(copy, 0, 0), StoredInteger(buffer, 0, 0)) << bits;
    EXPECT_EQ(StoredInteger(copy, 2, 0), StoredInteger(buffer, 2, 0)) << bits;
  }
}

TEST(AudioBuf, SerialisedFormsThatDoNotFitAreCorrupt) {
  struct TCase {
    const char* what;
    int32_t length, channels, interleaved, bits, isFloat;
    int64_t room;
  };
  const TCase cases[] = {
      {"samples beyond the room", 100, 1, 0, 32, 1, 24 + 399},
      {"length in the billions", INT32_MAX, 1, 0, 16, 0, 1000},
      {"interleaved, nothing stored, huge", 100000000, 2, 1, 16, 0, 1000},
      {"no channels", 0, 0, 0, 16, 0, 1000},
      {"a million channels", 0, 1000000, 0, 16, 0, 1000},
      {"negative length", -5, 1, 0, 16, 0, 1000},
      {"no bits", 1, 1, 0, 0, 0, 1000},
      {"64 bits", 1, 1, 0, 64, 0, 1000},
      {"float of 16 bits", 1, 1, 0, 16, 1, 1000},
      {"header beyond the room", 0, 1, 0, 16, 0, 20},
  };
  for (const TCase& c : cases) {
    TMemoryFile out;
    ASSERT_TRUE(out.OpenWrite());
    out.WriteInt32(c.length);
    out.WriteInt32(c.channels);
    out.WriteInt32(44100);
    out.WriteInt32(c.interleaved);
    out.WriteInt32(c.bits);
    out.WriteInt32(c.isFloat);
    out.WriteInt32(0);
    TMemoryFile in;
    ASSERT_TRUE(in.OpenRead(out.GetData(), out.GetSize()));
    TAudioBuf buffer;
    const std::string message = CaughtMessage([&] { buffer.Read(in, c.room); });
    EXPECT_EQ(message, std::string(std::string_view(in.GetStreamName())) + " is corrupt.") << c.what;
    EXPECT_EQ(buffer.GetLength(), 0) << c.what;
  }
}
