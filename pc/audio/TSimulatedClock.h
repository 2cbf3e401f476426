// A clock that tests advance by hand: the media timer of simulated runs. Advance
// moves the time on one millisecond at a time; in each step the simulated devices
// play and record what that millisecond holds, then every periodic timer whose
// deadline has come runs its tick, all on the thread that called Advance. Sleep
// advances the clock too.
//
// Threading: one thread at a time advances the clock, starts and stops timers.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "audio/IMediaTimer.h"

class TSimulatedClock : public IMediaTimer {
public:
  // Called after each step with the time in milliseconds (the devices play here).
  using TStep = std::function<void(int64_t now)>;

  void Advance(int64_t milliseconds);
  int64_t Now() const { return now; }
  // The devices' step, before the timers of each millisecond.
  void SetDeviceStep(TStep step) { deviceStep = std::move(step); }
  // After the devices' step and after the ticks of each millisecond, for example to
  // wait until another thread has taken what they caused.
  void SetSettle(std::function<void()> settle) { afterTick = std::move(settle); }

  int32_t RunningTimers() const;
  int32_t BegunPeriods() const { return begun; }
  int32_t PriorityRaises() const { return raises; }
  int32_t PriorityRestores() const { return restores; }
  // The period and resolution of the timer last started.
  int32_t LastPeriod() const { return lastPeriod; }

  TMediaTimerCaps GetCaps() override { return caps; }
  void SetCaps(TMediaTimerCaps value) { caps = value; }
  bool BeginPeriod(int32_t milliseconds) override;
  void EndPeriod(int32_t milliseconds) override;
  uint32_t Start(int32_t periodMilliseconds, int32_t resolutionMilliseconds, IMediaTimerTarget& target) override;
  void Stop(uint32_t timer) override;
  void RaiseCallbackPriority() override { ++raises; }
  void RestoreNormalPriority() override { ++restores; }
  void Sleep(int32_t milliseconds) override { Advance(milliseconds); }

private:
  struct TTimer {
    uint32_t id = 0;
    int64_t period = 0;
    int64_t due = 0;
    IMediaTimerTarget* target = nullptr;
  };

  int64_t now = 0;
  uint32_t nextId = 1;
  std::vector<TTimer> timers;
  TStep deviceStep;
  std::function<void()> afterTick;
  TMediaTimerCaps caps{1, 1000000};
  int32_t begun = 0;
  int32_t raises = 0;
  int32_t restores = 0;
  int32_t lastPeriod = 0;
};
