// The headless loop's window timer on the real clock: the timer service counts every
// 50-millisecond step, so that the idle callback runs 20 times a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "pc/foundation/TEventLoop.h"

namespace {
using namespace std::chrono;

struct TTicks {
  std::vector<steady_clock::time_point> at;
};

int32_t Tick(void* context) {
  static_cast<TTicks*>(context)->at.push_back(steady_clock::now());
  return 1;
}

TEST(EventLoopRate, TheIdleTimerRunsTwentyTimesASecondOverTenSeconds) {
  TEventLoop loop;
  TTimerDialog service;  // on the performance counter
  loop.ServeTimers(service);
  TTicks ticks;
  ticks.at.reserve(400);
  // The host's idle registration: 32 milliseconds round up to one step.
  service.AddTimer(32, Tick, &ticks);
  const auto start = steady_clock::now();
  EXPECT_TRUE(loop.RunFor(10000));
  const double seconds = duration<double>(steady_clock::now() - start).count();
  ASSERT_GE(ticks.at.size(), 2u);
  // From the first tick to the last: what the loop costs once it runs (its first pass
  // may set up what it needs, fonts and the like).
  const double span = duration<double>(ticks.at.back() - ticks.at.front()).count();
  const double rate = static_cast<double>(ticks.at.size() - 1) / span;
  std::printf("idle rate %.2f per second (%zu ticks in %.3f s)\n", rate, ticks.at.size(), seconds);
  EXPECT_GE(ticks.at.size(), 180u);
  // 20 a second on an idle machine; a loaded one loses a little to late wake-ups,
  // never whole steps (a loop that woke early lost every third or fourth one).
  EXPECT_GE(rate, 18.0);
  EXPECT_LE(rate, 20.05);
  steady_clock::duration shortest = steady_clock::duration::max();
  for (size_t i = 1; i < ticks.at.size(); ++i) shortest = std::min(shortest, ticks.at[i] - ticks.at[i - 1]);
  EXPECT_GE(shortest, milliseconds(50)) << "no tick came before its step was over";
}
}  // namespace
