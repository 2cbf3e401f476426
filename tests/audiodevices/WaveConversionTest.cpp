// The soundcard port's sample conversions, every rate factor in both directions,
// against sample values worked out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "audio/multimedia/TWaveConversion.h"

namespace {
// Device frames for the input routines: left as given, right its negation.
class TSource : public TWaveConversion::IInputSource {
public:
  explicit TSource(std::vector<int16_t> left) {
    for (int16_t sample : left) {
      frames.push_back(sample);
      frames.push_back(static_cast<int16_t>(-sample));
    }
  }
  bool NextBuffer(const int16_t*& read, const int16_t*& end) override {
    if (given) return false;
    given = true;
    read = frames.data();
    end = frames.data() + frames.size();
    return true;
  }
  std::vector<int16_t> frames;
  bool given = false;
};

struct TRecord {
  TRecord() {
    for (int row = 0; row < TAudioInOut::scratchRows; ++row) frame.scratch[row] = rows[row];
    for (int c = 0; c < TAudioInOut::channels; ++c) frame.channel[c] = &values[c];
    rows[0][0] = 1.0f;
  }
  float rows[TAudioInOut::scratchRows][TAudioInOut::channels] = {};
  float values[TAudioInOut::channels] = {};
  TWaveConversion::TFrame frame;
};

std::vector<float> ConvertIn(float factor, std::vector<int16_t> device, size_t frames, TWaveConversion* keep = nullptr) {
  TWaveConversion local;
  TWaveConversion& conversion = keep ? *keep : local;
  EXPECT_TRUE(conversion.Select(factor));
  TSource source(std::move(device));
  conversion.SetInput(&source);
  TRecord record;
  std::vector<float> out;
  for (size_t i = 0; i < frames; ++i) {
    conversion.ReadFrame(record.frame);
    out.push_back(record.rows[0][0]);
    EXPECT_FLOAT_EQ(record.rows[0][1], -record.rows[0][0]);
  }
  return out;
}

std::vector<int16_t> ConvertOut(float factor, std::vector<float> values, TWaveConversion* keep = nullptr) {
  TWaveConversion local;
  TWaveConversion& conversion = keep ? *keep : local;
  EXPECT_TRUE(conversion.Select(factor));
  std::vector<int16_t> device(values.size() * 4 + 4, 0x7777);
  conversion.SetOutput(device.data());
  TRecord record;
  for (float value : values) {
    record.values[0] = value;
    record.values[1] = -value;
    conversion.WriteFrame(record.frame);
  }
  const auto written = static_cast<size_t>(conversion.GetOutput() - device.data());
  std::vector<int16_t> left;
  for (size_t i = 0; i < written; i += 2) left.push_back(device[i]);
  return left;
}

TEST(WaveConversionTest, InputRoutinesOfEveryFactorGiveTheInterpolatedFrames) {
  // 8192 is 0.25, 16384 0.5, 4096 0.125.
  struct TCase {
    float factor;
    std::vector<int16_t> device;
    std::vector<float> expected;
  } cases[] = {
      {1.0f, {16384, -8192, 4096}, {0.5f, -0.25f, 0.125f}},
      // 0.25 b + 0.5 a + 0.25 (previous b)
      {0.5f, {8192, 16384, 4096, -8192}, {0.25f, 0.125f}},
      // (a + previous a) / 2, then a
      {2.0f, {16384, 8192}, {0.25f, 0.5f, 0.375f, 0.25f}},
      // 0.333 a + 0.667 previous, 0.667 a + 0.333 previous, a
      {3.0f, {16384, 8192}, {0.1665f, 0.3335f, 0.5f, 0.41675f, 0.33325f, 0.25f}},
      // (a + h) / 2 with h := a; 0.75 a + 0.25 h; 0.25 b + 0.75 a with h := b
      {0.75f, {16384, 8192, -8192, 4096, 16384, 0, 0, 0}, {0.25f, 0.3125f, -0.15625f, 0.3125f, 0.125f, 0.0f}},
      // (a + q) / 2 with p := a; 0.25 a + 0.75 p with q := a; 0.75 q + 0.25 p
      {1.5f, {16384, 8192, 0, 0}, {0.25f, 0.4375f, 0.3125f, 0.125f, 0.0f, 0.0f}},
  };
  for (const TCase& c : cases) {
    const std::vector<float> out = ConvertIn(c.factor, c.device, c.expected.size());
    ASSERT_EQ(out.size(), c.expected.size());
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-6) << c.factor << " frame " << i;
  }
}

TEST(WaveConversionTest, OutputRoutinesOfEveryFactorWriteTheAveragedSixteenBitFrames) {
  struct TCase {
    float factor;
    std::vector<float> values;
    std::vector<int16_t> expected;
  } cases[] = {
      {1.0f, {0.5f, -0.25f}, {16384, -8192}},
      {0.5f, {0.5f, -0.25f}, {16384, 16384, -8192, -8192}},
      // ((x1 + previous x1) / 2 + x0) / 2
      {2.0f, {0.5f, 0.25f, 0.125f, -0.25f}, {10240, 2048}},
      // ((x2 + previous x2) / 2 + x1 + x0) x 0.3333: 0.8125 and 0.6875 of it
      {3.0f, {0.5f, 0.25f, 0.125f, 0.25f, 0.25f, 0.25f}, {8873, 7508}},
      // the third frame twice
      {0.75f, {0.5f, 0.25f, 0.125f}, {16384, 8192, 4096, 4096}},
      // (previous x2 + x0) / 2, then ((x2 + x0) / 4 + x1) x 0.6667
      {1.5f, {0.5f, 0.25f, 0.125f}, {8192, 8875}},
  };
  for (const TCase& c : cases) EXPECT_EQ(ConvertOut(c.factor, c.values), c.expected) << c.factor;
}

TEST(WaveConversionTest, OutputClipsAndTruncatesTowardsZero) {
  EXPECT_EQ(ConvertOut(1.0f, {1.5f, -1.5f, 0.99999f, -0.99999f, 0.00002f}),
            (std::vector<int16_t>{32767, -32768, 32767, -32767, 0}));
}

TEST(WaveConversionTest, OnePhaseCounterServesBothDirectionsAndAWholeBlockEndsAtPhaseZero) {
  for (float factor : {0.75f, 1.5f, 2.0f, 3.0f}) {
    TWaveConversion conversion;
    const auto frames = static_cast<size_t>(factor * 128);
    ConvertIn(factor, std::vector<int16_t>(512, 0), frames, &conversion);
    EXPECT_EQ(conversion.GetPhase(), 0) << factor;
    ConvertOut(factor, std::vector<float>(frames, 0.0f), &conversion);
    EXPECT_EQ(conversion.GetPhase(), 0) << factor;
  }
}

TEST(WaveConversionTest, AnUnknownFactorKeepsThePreviousRoutinesAndNoInputReadsSilence) {
  TWaveConversion conversion;
  ASSERT_TRUE(conversion.Select(2.0f));
  EXPECT_FALSE(conversion.Select(1.25f));
  EXPECT_EQ(conversion.GetFactor(), 2.0f);
  TRecord record;
  record.rows[0][0] = 7.0f;
  conversion.SetInput(nullptr);
  conversion.ReadFrame(record.frame);
  EXPECT_EQ(record.rows[0][0], 0.0f);
  EXPECT_EQ(record.rows[0][1], 0.0f);
}

TEST(WaveConversionTest, PeaksFollowTheConvertedValuesUntilTaken) {
  TWaveConversion conversion;
  ConvertIn(1.0f, {-16056, 8028}, 2, &conversion);
  const TWaveConversion::TPeaks peaks = conversion.TakePeaks();
  EXPECT_NEAR(peaks.inMinLeft, -0.49f, 1e-4);
  EXPECT_NEAR(peaks.inMaxLeft, 0.245f, 1e-4);
  EXPECT_NEAR(peaks.inMaxRight, 0.49f, 1e-4);
  EXPECT_EQ(conversion.TakePeaks().inMinLeft, 0.0f);
}
}  // namespace

namespace {
// At factor 1.0 the port converts whole blocks at once: the same samples and peaks as
// frame by frame, across a buffer's end, into silence when no buffer follows, and with
// the 16-bit rules (clipped, truncated towards zero).
TEST(WaveConversionBlocks, AWholeBlockGivesWhatFrameByFrameGives) {
  const std::vector<int16_t> device = {0, 1, -1, 32767, -32768, 12345, -222, 7, 8, 9};
  TWaveConversion frames, block;
  frames.Select(1.0f);
  block.Select(1.0f);
  TSource a(device), b(device);
  frames.SetInput(&a);
  block.SetInput(&b);
  TRecord record;
  std::vector<float> expectedLeft, expectedRight;
  for (size_t i = 0; i < device.size() + 3; ++i) {
    frames.ReadFrame(record.frame);
    expectedLeft.push_back(record.rows[0][0]);
    expectedRight.push_back(record.rows[0][1]);
  }
  std::vector<float> left(device.size() + 3, 9.0f), right(device.size() + 3, 9.0f);
  block.ReadBlock(left.data(), right.data(), static_cast<int32_t>(left.size()));
  EXPECT_EQ(left, expectedLeft);
  EXPECT_EQ(right, expectedRight);

  const std::vector<float> outLeft = {0.0f, 1.5f, -1.5f, 0.99999f, -0.99999f, 0.5f, -0.25f};
  const std::vector<float> outRight = {0.1f, -2.0f, 2.0f, 0.0f, 1.0f, -1.0f, 0.3f};
  std::vector<int16_t> perFrame(outLeft.size() * 2), whole(outLeft.size() * 2);
  frames.SetOutput(perFrame.data());
  block.SetOutput(whole.data());
  record.rows[0][0] = 1.0f;  // the output gain
  for (size_t i = 0; i < outLeft.size(); ++i) {
    record.values[0] = outLeft[i];
    record.values[1] = outRight[i];
    frames.WriteFrame(record.frame);
  }
  block.WriteBlock(outLeft.data(), outRight.data(), 1.0f, static_cast<int32_t>(outLeft.size()));
  EXPECT_EQ(whole, perFrame);
  EXPECT_EQ(whole[2], 32767);
  EXPECT_EQ(whole[4], -32768);
  EXPECT_EQ(block.GetOutput(), whole.data() + whole.size());

  const TWaveConversion::TPeaks p = frames.TakePeaks(), q = block.TakePeaks();
  EXPECT_EQ(std::vector<float>({p.inMinLeft, p.inMaxLeft, p.inMinRight, p.inMaxRight, p.outMinLeft, p.outMaxLeft,
                                p.outMinRight, p.outMaxRight}),
            std::vector<float>({q.inMinLeft, q.inMaxLeft, q.inMinRight, q.inMaxRight, q.outMinLeft, q.outMaxLeft,
                                q.outMinRight, q.outMaxRight}));
}
}  // namespace
