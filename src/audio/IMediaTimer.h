// The periodic timer that drives the soundcard port (every 4 ms) and the port's short
// waits, as the model side sees them. The platform side installs a timer thread of
// its own on absolute deadlines; tests install a simulated clock that they advance.
//
// Threading contract:
// - GetCaps, BeginPeriod, EndPeriod, Start, Stop and Sleep run on the port's main
//   thread (Sleep on any thread).
// - The target's OnMediaTick runs on the timer's thread (the simulated clock: on the
//   thread that advances it), one tick at a time, never before its deadline.
// - Stop returns when the callback is not running and will not run again; it must not
//   be called from the callback.
// - RaiseCallbackPriority is called from the callback, RestoreNormalPriority from the
//   main thread.
#pragma once
#include <cstdint>

class IMediaTimerTarget {
public:
  virtual ~IMediaTimerTarget() = default;
  virtual void OnMediaTick() = 0;
};

struct TMediaTimerCaps {
  int32_t minPeriod = 1;
  int32_t maxPeriod = 1000000;
};

class IMediaTimer {
public:
  virtual ~IMediaTimer() = default;
  virtual TMediaTimerCaps GetCaps() = 0;
  // The timer resolution for a while; no effect on systems whose timers need none.
  virtual bool BeginPeriod(int32_t milliseconds) = 0;
  virtual void EndPeriod(int32_t milliseconds) = 0;
  // A periodic timer: the target's tick every period milliseconds from now; the
  // answer is its identifier, 0 when the system refuses one.
  virtual uint32_t Start(int32_t periodMilliseconds, int32_t resolutionMilliseconds, IMediaTimerTarget& target) = 0;
  virtual void Stop(uint32_t timer) = 0;
  // From the callback: the process's real-time priority and the callback thread's
  // highest, as far as the system allows (a refusal is silent). From the main thread:
  // the process's normal priority again.
  virtual void RaiseCallbackPriority() = 0;
  virtual void RestoreNormalPriority() = 0;
  virtual void Sleep(int32_t milliseconds) = 0;
};

// Installs the timer used from now on (null: none; no periodic timer is granted and
// Sleep waits in real time). Answers the previous one. The caller keeps ownership.
IMediaTimer* SetMediaTimer(IMediaTimer* timer);
IMediaTimer& GetMediaTimer();
