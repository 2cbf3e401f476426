#include <gtest/gtest.h>

#include <vector>

#include "audiofile/TAudioBuf.h"
#include "audiofile/TFloatBuf.h"

namespace {
void Fill(TFloatBuf& buffer, int32_t channel, float value) {
  for (int32_t i = 0; i < buffer.GetFrames(); ++i) buffer.GetChannel(channel)[i] = value;
}
}  // namespace

TEST(FloatBuf, OwningBufferHasZeroedArraysFromTheSharedHeap) {
  const size_t usedBefore = TFloatBuf::SharedHeap()->GetUsed();
  {
    TFloatBuf buffer(16, 16, 44100, 10000);
    EXPECT_TRUE(buffer.OwnsMemory());
    EXPECT_EQ(buffer.GetFrames(), 10000);
    EXPECT_EQ(buffer.GetCapacity(), 10000);
    for (int32_t c = 0; c < 16; ++c) {
      ASSERT_NE(buffer.GetChannel(c), nullptr);
      EXPECT_EQ(buffer.GetChannel(c)[9999], 0.0f);
      EXPECT_FALSE(buffer.IsSubstituted(c));
    }
    EXPECT_EQ(TFloatBuf::SharedHeap()->GetUsed(), usedBefore + 16 * 10000 * sizeof(float));
  }
  EXPECT_EQ(TFloatBuf::SharedHeap()->GetUsed(), usedBefore);
}

TEST(FloatBuf, SetFramesWithinTheCapacityKeepsArraysAndContents) {
  TFloatBuf buffer(2, 4, 44100, 100);
  Fill(buffer, 1, 0.5f);
  float* before = buffer.GetChannel(1);
  buffer.SetFrames(40);
  EXPECT_EQ(buffer.GetFrames(), 40);
  EXPECT_EQ(buffer.GetChannel(1), before);
  EXPECT_EQ(buffer.GetChannel(1)[39], 0.5f);
  buffer.SetFrames(100);
  EXPECT_EQ(buffer.GetChannel(1)[99], 0.5f);
}

TEST(FloatBuf, SetFramesBeyondTheCapacityGivesZeroedArraysOfTheNewSize) {
  TFloatBuf buffer(2, 4, 44100, 100);
  Fill(buffer, 0, 0.5f);
  buffer.SetFrames(5000);
  EXPECT_EQ(buffer.GetFrames(), 5000);
  EXPECT_EQ(buffer.GetCapacity(), 5000);
  EXPECT_EQ(buffer.GetChannels(), 2);
  for (int32_t c = 0; c < 2; ++c) {
    ASSERT_NE(buffer.GetChannel(c), nullptr);
    EXPECT_EQ(buffer.GetChannel(c)[0], 0.0f);
    buffer.GetChannel(c)[4999] = 1.0f;  // the whole new size is there
  }
}

TEST(FloatBuf, SetChannelsAddsArraysAndKeepsTheOldChannels) {
  TFloatBuf buffer(2, 8, 44100, 64);
  Fill(buffer, 0, 0.25f);
  Fill(buffer, 1, -0.25f);
  buffer.SetChannels(4);
  EXPECT_EQ(buffer.GetChannels(), 4);
  for (int32_t c = 2; c < 4; ++c) {
    ASSERT_NE(buffer.GetChannel(c), nullptr);
    buffer.GetChannel(c)[63] = 1.0f;
  }
  EXPECT_EQ(buffer.GetChannel(0)[63], 0.25f);
  EXPECT_EQ(buffer.GetChannel(1)[0], -0.25f);
  buffer.SetChannels(100);
  EXPECT_EQ(buffer.GetChannels(), 8);
}

TEST(FloatBuf, ChannelsAddedAfterShrinkingFramesCoverTheWholeCapacity) {
  TFloatBuf buffer(1, 4, 44100, 1000);
  buffer.SetFrames(10);
  buffer.SetChannels(2);
  buffer.SetFrames(1000);
  ASSERT_NE(buffer.GetChannel(1), nullptr);
  buffer.GetChannel(1)[999] = 1.0f;
  buffer.Clear(1);
  EXPECT_EQ(buffer.GetChannel(1)[999], 0.0f);
}

TEST(FloatBuf, SubstituteTwiceKeepsTheFirstSavedArray) {
  TFloatBuf buffer(2, 16, 44100, 8);
  float* own = buffer.GetChannel(1);
  std::vector<float> first(8, 1.0f);
  std::vector<float> second(8, 2.0f);
  buffer.Substitute(1, first.data());
  buffer.Substitute(1, second.data());
  EXPECT_TRUE(buffer.IsSubstituted(1));
  EXPECT_EQ(buffer.GetChannel(1), second.data());
  buffer.RestoreChannels();
  EXPECT_FALSE(buffer.IsSubstituted(1));
  EXPECT_EQ(buffer.GetChannel(1), own);
  buffer.Substitute(16, first.data());
  buffer.Substitute(-1, first.data());
  EXPECT_EQ(buffer.GetChannel(0)[0], 0.0f);
}

TEST(FloatBuf, GrowingWhileSubstitutedRestoresAnArrayOfTheNewSize) {
  TFloatBuf buffer(2, 16, 44100, 8);
  std::vector<float> outside(8, 1.0f);
  buffer.Substitute(0, outside.data());
  buffer.SetFrames(4096);
  EXPECT_EQ(buffer.GetChannel(0), outside.data());
  EXPECT_EQ(outside[0], 1.0f);
  buffer.RestoreChannels();
  ASSERT_NE(buffer.GetChannel(0), nullptr);
  buffer.GetChannel(0)[4095] = 0.5f;
}

TEST(FloatBuf, BufferOverOutsideArrays) {
  std::vector<float> left(256, 0.5f), right(256, -0.5f);
  float* channels[2] = {left.data(), right.data()};
  const size_t usedBefore = TFloatBuf::SharedHeap()->GetUsed();
  {
    TFloatBuf buffer(2, 2, 44100, 128, 256, channels);
    EXPECT_FALSE(buffer.OwnsMemory());
    buffer.SetFrames(256);
    EXPECT_EQ(buffer.GetFrames(), 256);
    buffer.SetFrames(257);
    EXPECT_EQ(buffer.GetFrames(), 256);
    buffer.Clear(0, 10, 250);
    EXPECT_EQ(left[255], 0.0f);
    EXPECT_EQ(left[249], 0.5f);
    buffer.SetChannels(2);
  }
  EXPECT_EQ(TFloatBuf::SharedHeap()->GetUsed(), usedBefore);
  EXPECT_EQ(right[0], -0.5f);
}

TEST(FloatBuf, CopyFromNeedsTheSameRateAndChannels) {
  TAudioBuf source;
  source.SetFormat(false, true, 16, 2, 48000, 64, 0);
  for (int32_t i = 0; i < 64; ++i) source.SetSample(i, 0.5f, -1);
  TFloatBuf buffer(2, 2, 44100, 32);
  buffer.CopyFrom(source, -1, 0, 0);
  EXPECT_EQ(buffer.GetChannel(0)[0], 0.0f);

  source.SetSampleRate(44100);
  TFloatBuf mono(1, 2, 44100, 32);
  mono.CopyFrom(source, -1, 0, 0);
  EXPECT_EQ(mono.GetChannel(0)[0], 0.0f);

  buffer.CopyFrom(source, 40, 10, 4);
  EXPECT_EQ(buffer.GetChannel(1)[3], 0.0f);
  EXPECT_NEAR(buffer.GetChannel(1)[4], 0.5f, 1e-4);
  EXPECT_NEAR(buffer.GetChannel(0)[31], 0.5f, 1e-4);
}
