// The platform's window timer as the timer service sees it: a periodic timer that
// delivers its ticks on the user-interface thread (the headless event loop now, the
// window toolkit later).
#pragma once
#include <cstdint>

class IWindowTimerTarget {
public:
  virtual ~IWindowTimerTarget() = default;
  virtual void OnWindowTimer(uint32_t id) = 0;
};

class IWindowTimer {
public:
  virtual ~IWindowTimer() = default;
  // Starts (or restarts) timer id; every period the target's OnWindowTimer runs on
  // the user-interface thread. False when the platform refuses.
  virtual bool StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) = 0;
  virtual void StopTimer(uint32_t id) = 0;
};
