#include "TMidiClock.h"

#include <cmath>
#include <new>

IMidiClock* IMidiClock::Create() { return new (std::nothrow) TMidiClock(); }

// A rate that is not a positive number would turn every later measurement into
// nonsense; it is ignored.
void TMidiClock::SetSampleRate(float rate) {
  if (!(rate > 0.0f) || !std::isfinite(rate)) return;
  sampleRate.store(rate, std::memory_order_relaxed);
}

void TMidiClock::SongPosition(int32_t, int32_t) {}

void TMidiClock::Start(int32_t) { clockCount.store(0, std::memory_order_relaxed); }

void TMidiClock::Tick(int32_t samplePos) {
  clockCount.fetch_add(1, std::memory_order_relaxed);
  totalClocks.fetch_add(1, std::memory_order_relaxed);
  if (samplePos == 0) return;

  const int32_t lastSample = measureSample.load(std::memory_order_relaxed);
  const float rate = sampleRate.load(std::memory_order_relaxed);
  // The first tick that counts, or one after the sample counter went back (the audio
  // port was replaced or restarted), only becomes the anchor of the next measurement:
  // measuring from a moment that was no tick would miscount by one tick, or by all of
  // them when the clock began long after audio.
  if (ticksSinceMeasure == 0 || samplePos < lastSample) {
    measureSample.store(samplePos, std::memory_order_relaxed);
    ticksSinceMeasure = 1;
    return;
  }
  if (!(static_cast<float>(lastSample) + rate < static_cast<float>(samplePos))) {
    ++ticksSinceMeasure;
    return;
  }

  const float quarters = static_cast<float>(ticksSinceMeasure) / static_cast<float>(clocksPerQuarter);
  const float elapsed = static_cast<float>(samplePos - lastSample);
  const float newTempo = rate * 60.0f * (quarters / elapsed);
  measureSample.store(samplePos, std::memory_order_relaxed);
  ticksSinceMeasure = 1;

  const float oldTempo = tempo.load(std::memory_order_relaxed);
  float weight = std::fabs((oldTempo - newTempo) * 10.0f / oldTempo);
  if (!(weight < 1.0f)) weight = 1.0f;
  const float next = weight * newTempo + (1.0f - weight) * oldTempo;
  if (next > 0.0f && std::isfinite(next)) tempo.store(next, std::memory_order_relaxed);
}

VstTimeInfo* TMidiClock::GetTimeInfo() {
  thread_local VstTimeInfo timeInfo{};
  timeInfo.timeSigNumerator = 4;
  timeInfo.timeSigDenominator = 4;
  timeInfo.flags = timeInfoFlags;
  timeInfo.samplePos = measureSample.load(std::memory_order_relaxed);
  timeInfo.sampleRate = sampleRate.load(std::memory_order_relaxed);
  timeInfo.ppqPos = clockCount.load(std::memory_order_relaxed) / clocksPerQuarter;
  timeInfo.tempo = static_cast<int32_t>(tempo.load(std::memory_order_relaxed) + 0.5f);
  return &timeInfo;
}
