#include <gtest/gtest.h>

#include <vector>

#include "foundation/ScriptedPresenter.h"
#include "foundation/TPerfCounter.h"
#include "foundation/TTimerDialog.h"

namespace {
// A clock of milliseconds-as-ticks that the test moves by hand.
class TFakeClock : public ITimerClock {
public:
  int64_t Read() override { return ticks; }
  int64_t Frequency() override { return 1000000; }  // ticks per second
  void Advance(int64_t milliseconds) { ticks += milliseconds * 1000; }
  int64_t ticks = 5000000;
};

class TFakeWindowTimer : public IWindowTimer {
public:
  bool StartTimer(uint32_t id, uint32_t period, IWindowTimerTarget& t) override {
    starts.push_back({id, period});
    if (refuse) return false;
    running = true;
    target = &t;
    return true;
  }
  void StopTimer(uint32_t) override {
    ++stops;
    running = false;
  }
  struct TStart {
    uint32_t id;
    uint32_t period;
  };
  std::vector<TStart> starts;
  int stops = 0;
  bool running = false;
  bool refuse = false;
  IWindowTimerTarget* target = nullptr;
};

struct TCounter {
  int calls = 0;
  int stopAfter = -1;  // answer 0 on this call
};

int32_t Count(void* context) {
  auto* counter = static_cast<TCounter*>(context);
  ++counter->calls;
  return counter->calls == counter->stopAfter ? 0 : 1;
}

class TimerTest : public ::testing::Test {
protected:
  // One window-timer message after ms milliseconds.
  void Tick(int64_t milliseconds) {
    clock.Advance(milliseconds);
    service.OnWindowTimer(TTimerDialog::windowTimerId);
  }
  TFakeClock clock;
  TFakeWindowTimer windowTimer;
  TTimerDialog service{&clock, &windowTimer};
};

TEST(TimerSteps, MillisecondsRoundUpToWholeSteps) {
  const struct {
    int32_t milliseconds;
    int32_t steps;
  } cases[] = {{1, 1}, {32, 1}, {50, 1}, {51, 2}, {100, 2}, {101, 3}, {0, 0}, {1000, 20}};
  for (const auto& c : cases) EXPECT_EQ(TTimerDialog::StepsFor(c.milliseconds), c.steps) << c.milliseconds;
}

TEST_F(TimerTest, TheFirstTimerStartsTheWindowTimerOnce) {
  TCounter a, b;
  service.AddTimer(32, Count, &a);
  service.AddTimer(100, Count, &b);
  ASSERT_EQ(windowTimer.starts.size(), 1u);
  EXPECT_EQ(windowTimer.starts[0].id, 1u);
  EXPECT_EQ(windowTimer.starts[0].period, 50u);
  EXPECT_EQ(service.GetTimerCount(), 2);
}

TEST_F(TimerTest, EachRegistrationRunsOnItsOwnSteps) {
  TCounter every, second, third;
  service.AddTimer(1, Count, &every);
  service.AddTimer(100, Count, &second);
  service.AddTimer(101, Count, &third);
  for (int i = 0; i < 6; ++i) Tick(50);
  EXPECT_EQ(every.calls, 6);
  EXPECT_EQ(second.calls, 3);
  EXPECT_EQ(third.calls, 2);
}

TEST_F(TimerTest, TimeBelowAStepAccumulates) {
  TCounter counter;
  service.AddTimer(50, Count, &counter);
  Tick(30);
  EXPECT_EQ(counter.calls, 0);
  Tick(30);  // 60 ms since the start: one step
  EXPECT_EQ(counter.calls, 1);
}

TEST_F(TimerTest, ABlockedThreadCountsWholeStepsOnceAndDropsTheRest) {
  TCounter one, four, five;
  service.AddTimer(50, Count, &one);
  service.AddTimer(200, Count, &four);
  service.AddTimer(250, Count, &five);
  Tick(230);  // 4 steps, 30 ms dropped
  EXPECT_EQ(one.calls, 1) << "at most once per message";
  EXPECT_EQ(four.calls, 1);
  EXPECT_EQ(five.calls, 0);
  Tick(20);  // 20 ms since the counted steps: nothing (the 30 ms were dropped)
  EXPECT_EQ(one.calls, 1);
  EXPECT_EQ(five.calls, 0);
  Tick(30);
  EXPECT_EQ(one.calls, 2);
  EXPECT_EQ(five.calls, 1);
}

TEST_F(TimerTest, ACallbackAnsweringZeroEndsItsRegistration) {
  TCounter stops, stays;
  stops.stopAfter = 2;
  service.AddTimer(50, Count, &stops);
  service.AddTimer(50, Count, &stays);
  for (int i = 0; i < 4; ++i) Tick(50);
  EXPECT_EQ(stops.calls, 2);
  EXPECT_EQ(stays.calls, 4);
  EXPECT_TRUE(windowTimer.running);
  EXPECT_EQ(service.GetTimerCount(), 1);
}

TEST_F(TimerTest, WhenTheLastRegistrationEndsTheWindowTimerStops) {
  TCounter only;
  only.stopAfter = 1;
  service.AddTimer(50, Count, &only);
  Tick(50);
  EXPECT_EQ(only.calls, 1);
  EXPECT_FALSE(windowTimer.running);
  EXPECT_FALSE(service.IsTimerRunning());
  Tick(50);
  EXPECT_EQ(only.calls, 1);
  // A new registration starts the window timer again.
  service.AddTimer(50, Count, &only);
  EXPECT_EQ(windowTimer.starts.size(), 2u);
}

TEST_F(TimerTest, RemoveTimerTakesTheFirstMatchAndStopsWhenEmpty) {
  TCounter a, b;
  service.AddTimer(50, Count, &a);
  service.AddTimer(50, Count, &a);
  service.AddTimer(50, Count, &b);
  service.RemoveTimer(Count, &a);
  EXPECT_EQ(service.GetTimerCount(), 2);
  Tick(50);
  EXPECT_EQ(a.calls, 1);
  service.RemoveTimer(Count, &a);
  service.RemoveTimer(Count, &a);  // nothing left to remove
  EXPECT_TRUE(windowTimer.running);
  service.RemoveTimer(Count, &b);
  EXPECT_FALSE(windowTimer.running);
  EXPECT_EQ(windowTimer.stops, 1);
}

TEST_F(TimerTest, ARefusedWindowTimerIsReported) {
  TScriptedPresenter presenter;
  windowTimer.refuse = true;
  TCounter counter;
  service.AddTimer(50, Count, &counter);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, TStr("No timer available."));
  EXPECT_EQ(presenter.shown[0].caption, TStr("Fatal error"));
  EXPECT_EQ(presenter.shown[0].flags, MessageFlags::TaskModal | MessageFlags::IconExclamation | MessageFlags::Ok);
  EXPECT_FALSE(service.IsTimerRunning());

  TTimerDialog withoutTimer(&clock, nullptr);
  withoutTimer.AddTimer(50, Count, &counter);
  EXPECT_EQ(presenter.shown.size(), 2u);
}

// Callbacks that re-enter the service: a message that arrives while a callback
// runs does nothing; callbacks may add and remove registrations, themselves included.
struct TReentrant {
  TTimerDialog* service;
  TFakeClock* clock;
  int calls = 0;
  int innerCalls = 0;
  TCounter added;
};

int32_t ReenterService(void* context) {
  auto* r = static_cast<TReentrant*>(context);
  ++r->calls;
  r->clock->Advance(50);
  r->service->OnWindowTimer(TTimerDialog::windowTimerId);  // busy: ignored
  EXPECT_TRUE(r->service->IsBusy());
  r->service->AddTimer(50, Count, &r->added);
  r->service->RemoveTimer(ReenterService, r);
  return 1;
}

int32_t CountInner(void* context) {
  ++static_cast<TReentrant*>(context)->innerCalls;
  return 1;
}

TEST_F(TimerTest, BusyServiceIgnoresNestedMessagesAndToleratesChanges) {
  TReentrant reentrant{&service, &clock, 0, 0, {}};
  service.AddTimer(50, ReenterService, &reentrant);
  service.AddTimer(50, CountInner, &reentrant);
  Tick(50);
  EXPECT_EQ(reentrant.calls, 1);
  EXPECT_EQ(reentrant.innerCalls, 1) << "the nested message ran nothing twice";
  EXPECT_EQ(reentrant.added.calls, 0) << "added during the walk, counted from the next message";
  EXPECT_FALSE(service.IsBusy());
  EXPECT_EQ(service.GetTimerCount(), 2);
  Tick(50);
  EXPECT_EQ(reentrant.calls, 1);
  EXPECT_EQ(reentrant.added.calls, 1);
  EXPECT_EQ(reentrant.innerCalls, 2);
}

TEST_F(TimerTest, AClockThatGoesBackCountsNoSteps) {
  TCounter counter;
  service.AddTimer(50, Count, &counter);
  Tick(-1000);
  EXPECT_EQ(counter.calls, 0);
  Tick(50);
  EXPECT_EQ(counter.calls, 1);
}

TEST(PerfCounter, CountsNanosecondsOfAMonotonicClock) {
  EXPECT_EQ(TPerfCounter::Frequency(), 1000000000);
  TPerfCounter first;
  first.Read();
  TPerfCounter copy;
  copy.Copy(first);
  EXPECT_EQ(copy.GetTicks(), first.GetTicks());
  const TPerfCounter later = TPerfCounter::Now();
  EXPECT_GE(first.ElapsedTo(later), 0);
  EXPECT_EQ(TPerfCounter(100).ElapsedTo(TPerfCounter(350)), 250);
}
}  // namespace
