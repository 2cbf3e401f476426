#include "TSimulatedClock.h"

#include <algorithm>

void TSimulatedClock::Advance(int64_t milliseconds) {
  for (int64_t step = 0; step < milliseconds; ++step) {
    ++now;
    if (deviceStep) deviceStep(now);
    if (afterTick) afterTick();
    bool ticked = false;
    // A tick may stop timers (its own included): look each one up again.
    for (size_t i = 0; i < timers.size(); ++i) {
      if (timers[i].due > now) continue;
      timers[i].due += timers[i].period;
      IMediaTimerTarget* target = timers[i].target;
      target->OnMediaTick();
      ticked = true;
    }
    if (ticked && afterTick) afterTick();
  }
}

int32_t TSimulatedClock::RunningTimers() const { return static_cast<int32_t>(timers.size()); }

bool TSimulatedClock::BeginPeriod(int32_t) {
  ++begun;
  return true;
}

void TSimulatedClock::EndPeriod(int32_t) { --begun; }

uint32_t TSimulatedClock::Start(int32_t periodMilliseconds, int32_t, IMediaTimerTarget& target) {
  if (periodMilliseconds < caps.minPeriod || periodMilliseconds > caps.maxPeriod) return 0;
  lastPeriod = periodMilliseconds;
  const uint32_t id = nextId++;
  timers.push_back({id, periodMilliseconds, now + periodMilliseconds, &target});
  return id;
}

void TSimulatedClock::Stop(uint32_t timer) {
  timers.erase(std::remove_if(timers.begin(), timers.end(), [timer](const TTimer& t) { return t.id == timer; }),
               timers.end());
}
