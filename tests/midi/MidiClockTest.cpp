#include <gtest/gtest.h>

#include "midi/TMidiClock.h"

namespace {

// Feeds timing clocks of a steady tempo starting at sample from; answers the
// sample position after the last one.
double FeedClock(TMidiClock& clock, double bpm, double from, int32_t ticks, double rate = 44100.0) {
  const double samplesPerTick = rate * 60.0 / bpm / 24.0;
  double at = from;
  for (int32_t i = 0; i < ticks; ++i) {
    at += samplesPerTick;
    clock.Tick(static_cast<int32_t>(at));
  }
  return at;
}

TEST(MidiClock, WithoutClockReportsTheInitialRecord) {
  TMidiClock clock;
  const VstTimeInfo* info = clock.GetTimeInfo();
  EXPECT_EQ(info->tempo, 120.0);
  EXPECT_EQ(info->ppqPos, 0.0);
  EXPECT_EQ(info->samplePos, -1.0);
  EXPECT_EQ(info->sampleRate, 44100.0);
  EXPECT_EQ(info->flags, 0x2602);
  EXPECT_EQ(info->timeSigNumerator, 4);
  EXPECT_EQ(info->timeSigDenominator, 4);
  EXPECT_EQ(info->barStartPos, 0.0);
  EXPECT_EQ(info->samplesToNextClock, 0);
}

TEST(MidiClock, SettlesOnANewTempoWithinOneMeasurement) {
  TMidiClock clock;
  double at = FeedClock(clock, 120.0, 0.0, 24 * 6);
  EXPECT_NEAR(clock.GetTempo(), 120.0, 0.5);
  // 100 BPM: the measurement that straddles the change moves the tempo by more than
  // 10 %, the next one measures 100 alone and is taken whole.
  at = FeedClock(clock, 100.0, at, 24 * 2);
  at = FeedClock(clock, 100.0, at, 24 * 2);
  EXPECT_NEAR(clock.GetTempo(), 100.0, 0.5);
  EXPECT_EQ(clock.GetTimeInfo()->tempo, 100.0);
}

TEST(MidiClock, SmallDeviationsAreSmoothedInProportion) {
  TMidiClock clock;
  double at = FeedClock(clock, 100.0, 0.0, 24 * 6);
  ASSERT_NEAR(clock.GetTempo(), 100.0, 0.3);
  const float before = clock.GetTempo();
  // A 2 % deviation moves the tempo about a fifth of the way.
  at = FeedClock(clock, 102.0, at, 24 * 3);
  const float after = clock.GetTempo();
  EXPECT_GT(after, before + 0.2f);
  EXPECT_LT(after, before + 0.8f);
}

TEST(MidiClock, TicksAtSampleZeroCountButNeverMeasure) {
  TMidiClock clock;
  for (int i = 0; i < 100; ++i) clock.Tick(0);
  EXPECT_EQ(clock.GetTempo(), 120.0f);
  EXPECT_EQ(clock.GetTimeInfo()->ppqPos, 4.0);  // 100 / 24 whole quarters
  EXPECT_EQ(clock.GetTimeInfo()->samplePos, -1.0);
}

TEST(MidiClock, ATickWithinASecondOnlyCounts) {
  TMidiClock clock;
  FeedClock(clock, 120.0, 0.0, 24 * 3);  // the first measurement at about 1 s
  const double measuredAt = clock.GetTimeInfo()->samplePos;
  ASSERT_GT(measuredAt, 44100.0);
  clock.Tick(static_cast<int32_t>(measuredAt) + 20000);
  EXPECT_EQ(clock.GetTimeInfo()->samplePos, measuredAt);
}

TEST(MidiClock, StartResetsThePositionButKeepsTheTempo) {
  TMidiClock clock;
  FeedClock(clock, 90.0, 0.0, 24 * 6);
  ASSERT_NEAR(clock.GetTempo(), 90.0, 0.5);
  EXPECT_EQ(clock.GetTimeInfo()->ppqPos, 6.0);
  clock.Start(1234);
  EXPECT_EQ(clock.GetTimeInfo()->ppqPos, 0.0);
  EXPECT_NEAR(clock.GetTempo(), 90.0, 0.5);
  // The count since construction goes on: the player's sync follows it.
  EXPECT_EQ(clock.GetTotalClocks(), 24u * 6u);
}

TEST(MidiClock, TheSampleRateEntersTheMeasurement) {
  TMidiClock clock;
  clock.SetSampleRate(48000.0f);
  EXPECT_EQ(clock.GetTimeInfo()->sampleRate, 48000.0);
  FeedClock(clock, 140.0, 0.0, 24 * 8, 48000.0);
  EXPECT_NEAR(clock.GetTempo(), 140.0, 0.5);
  clock.SetSampleRate(0.0f);  // ignored
  EXPECT_EQ(clock.GetTimeInfo()->sampleRate, 48000.0);
}

// A clock that begins long after audio started has counted nothing yet: its first
// tick only anchors the measurement, and a sample counter that went back (a new
// audio port) does not stop the measuring.
TEST(MidiClock, LateFirstClockAndRestartedSampleCounter) {
  TMidiClock clock;
  double at = FeedClock(clock, 100.0, 10.0 * 44100.0, 24 * 4);
  EXPECT_NEAR(clock.GetTempo(), 100.0, 0.5);
  EXPECT_GT(at, 10.0 * 44100.0);
  at = FeedClock(clock, 150.0, 1000.0, 24 * 6);
  EXPECT_NEAR(clock.GetTempo(), 150.0, 0.5);
}

TEST(MidiClock, SongPositionIsIgnored) {
  TMidiClock clock;
  FeedClock(clock, 120.0, 0.0, 48);
  clock.SongPosition(5000, 864);
  EXPECT_EQ(clock.GetTimeInfo()->ppqPos, 2.0);
}

}  // namespace
