// The driver port's rate conversion for each factor, both ways, against frames worked
// out by hand, with the history carried from one block into the next.
#include <gtest/gtest.h>

#include <vector>

#include "audio/asio/TAsioRateConverter.h"

namespace {
struct TCase {
  double factor;
  std::vector<float> first, second;                  // two blocks in
  std::vector<float> firstOut, secondOut;            // what comes out
};

void Check(const TCase& c, bool fromDevice) {
  TAsioRateConverter converter;
  converter.SetFactor(c.factor);
  std::vector<float> out(64, -99.0f);
  for (int block = 0; block < 2; ++block) {
    const std::vector<float>& in = block ? c.second : c.first;
    const std::vector<float>& expected = block ? c.secondOut : c.firstOut;
    const int32_t written = fromDevice ? converter.FromDevice(in.data(), int32_t(in.size()), out.data())
                                       : converter.ToDevice(in.data(), int32_t(in.size()), out.data());
    ASSERT_EQ(written, int32_t(expected.size())) << "factor " << c.factor << " block " << block;
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_NEAR(out[i], expected[i], 1e-6) << "factor " << c.factor << " block " << block << " frame " << i;
  }
}
}  // namespace

TEST(AsioRateConverter, DeviceFramesBecomeProcessingFrames) {
  const TCase cases[] = {
      {1.0, {0.1f, 0.2f}, {0.3f}, {0.1f, 0.2f}, {0.3f}},
      // a, b: 0.25 b + 0.5 a + 0.25 (previous b)
      {0.5, {0.4f, 0.8f, 0.2f, 0.0f}, {1.0f, 0.4f}, {0.4f, 0.3f}, {0.6f}},
      // (a + previous a) / 2, then a
      {2.0, {0.4f, 0.8f}, {0.0f}, {0.2f, 0.4f, 0.6f, 0.8f}, {0.4f, 0.0f}},
      // a/3 + 2 previous/3, 2a/3 + previous/3, a
      {3.0, {0.3f}, {0.6f}, {0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}},
      // four frames give three: (a + h)/2 with h := a; 0.75 a + 0.25 h; 0.25 b + 0.75 a with h := b
      {0.75, {0.4f, 0.8f, 0.2f, 0.6f}, {1.0f, 0.0f, 0.0f, 0.0f}, {0.2f, 0.7f, 0.3f}, {0.8f, 0.25f, 0.0f}},
      // two frames give three: (a + q)/2 with p := a; 0.25 a + 0.75 p with q := a; 0.75 q + 0.25 p
      {1.5, {0.4f, 0.8f}, {0.0f, 0.4f}, {0.2f, 0.5f, 0.7f}, {0.4f, 0.1f, 0.3f}},
  };
  for (const TCase& c : cases) Check(c, true);
}

TEST(AsioRateConverter, ProcessingFramesBecomeDeviceFrames) {
  const TCase cases[] = {
      {1.0, {0.1f}, {0.2f}, {0.1f}, {0.2f}},
      {0.5, {0.1f, 0.2f}, {0.3f}, {0.1f, 0.1f, 0.2f, 0.2f}, {0.3f, 0.3f}},
      // x0, x1: ((x1 + previous x1)/2 + x0)/2
      {2.0, {0.4f, 0.8f}, {0.0f, 0.4f}, {0.4f}, {0.3f}},
      // x0, x1, x2: ((x2 + previous x2)/2 + x1 + x0)/3
      {3.0, {0.3f, 0.3f, 0.6f}, {0.0f, 0.3f, 0.0f}, {0.3f}, {0.2f}},
      // three frames give four: the third twice
      {0.75, {0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}, {0.1f, 0.2f, 0.3f, 0.3f}, {0.4f, 0.5f, 0.6f, 0.6f}},
      // three frames give two: (previous x2 + x0)/2, ((x2 + x0)/4 + x1) × 2/3
      {1.5, {0.4f, 0.6f, 0.8f}, {0.0f, 0.3f, 0.4f}, {0.2f, 0.6f}, {0.4f, 0.2666667f}},
  };
  for (const TCase& c : cases) Check(c, false);
}

TEST(AsioRateConverter, ASteadyLevelStaysSteadyAtEveryFactor) {
  for (double factor : {0.5, 0.75, 1.0, 1.5, 2.0, 3.0}) {
    TAsioRateConverter in, out;
    in.SetFactor(factor);
    out.SetFactor(factor);
    const std::vector<float> level(24, 0.5f);
    std::vector<float> processing(96), device(96);
    for (int block = 0; block < 3; ++block) {
      const int32_t frames = in.FromDevice(level.data(), 24, processing.data());
      EXPECT_EQ(frames, int32_t(24 * factor)) << factor;
      const int32_t back = out.ToDevice(processing.data(), frames, device.data());
      EXPECT_EQ(back, 24) << factor;
      if (block == 0) continue;  // the history starts at silence
      for (int32_t i = 0; i < back; ++i) ASSERT_NEAR(device[size_t(i)], 0.5f, 1e-6) << factor << " frame " << i;
    }
  }
}

TEST(AsioRateConverter, AnUnsupportedFactorKeepsThePreviousOne) {
  TAsioRateConverter converter;
  converter.SetFactor(2.0);
  converter.SetFactor(1.25);
  EXPECT_EQ(converter.Factor(), 2.0);
  EXPECT_FALSE(TAsioRateConverter::IsSupported(4.0));
}
