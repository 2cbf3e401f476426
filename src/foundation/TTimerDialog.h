// The program's periodic timer service: callbacks run on the user-interface thread
// in steps of 50 milliseconds, driven by one window timer.
#pragma once
#include <cstdint>

#include "IWindowTimer.h"
#include "TList.h"
#include "TParamStr.h"
#include "TPerfCounter.h"

// A callback answers non-zero to keep its registration, 0 to end it.
using TTimerCallback = int32_t (*)(void* context);

// The clock of the timer service (the performance counter; tests replace it).
class ITimerClock {
public:
  virtual ~ITimerClock() = default;
  virtual int64_t Read() = 0;
  virtual int64_t Frequency() = 0;
};

class TTimerData : public TLink {
public:
  TTimerData(int32_t interval, TTimerCallback callback, void* context)
      : interval(interval), countdown(interval), callback(callback), context(context) {}

  int32_t interval;   // in 50-millisecond steps
  int32_t countdown;  // steps left
  TTimerCallback callback;
  void* context;
  bool removed = false;  // removed while the callbacks run; released after them
  bool added = false;    // added while the callbacks run; first counted by the next tick
};

class TTimerDialog : public IWindowTimerTarget {
public:
  static constexpr uint32_t windowTimerId = 1;
  static constexpr uint32_t stepMilliseconds = 50;

  // Null clock: the performance counter. Null window timer: none yet (AddTimer
  // then reports "No timer available.").
  explicit TTimerDialog(ITimerClock* clock = nullptr, IWindowTimer* windowTimer = nullptr);
  ~TTimerDialog() override;
  TTimerDialog(const TTimerDialog&) = delete;
  TTimerDialog& operator=(const TTimerDialog&) = delete;

  // interval = (milliseconds + 49) / 50 steps.
  void AddTimer(int32_t milliseconds, TTimerCallback callback, void* context);
  void RemoveTimer(TTimerCallback callback, void* context);

  // Changes the window timer; a running one moves to the new timer.
  void SetWindowTimer(IWindowTimer* windowTimer);
  IWindowTimer* GetWindowTimer() const { return windowTimer; }
  void SetClock(ITimerClock* clock);

  // One window-timer message.
  void OnWindowTimer(uint32_t id) override;

  bool IsTimerRunning() const { return timerId != 0; }
  bool IsBusy() const { return busy; }
  int32_t GetTimerCount() const;
  static int32_t StepsFor(int32_t milliseconds);

private:
  bool StartWindowTimer();
  void StopWindowTimer();
  void ReleaseRemoved();
  TTimerData* Find(TTimerCallback callback, void* context) const;

  ITimerClock* clock;
  IWindowTimer* windowTimer;
  TList timers;
  uint32_t timerId = 0;
  int64_t last = 0;
  int64_t now = 0;
  int64_t ticksPerSecond = 0;
  bool busy = false;
};

// The process-wide timer service of the user-interface thread.
TTimerDialog& GetTimerService();
void AddTimer(int32_t milliseconds, TTimerCallback callback, void* context);
void RemoveTimer(TTimerCallback callback, void* context);

namespace Msg {
extern TParamStr noTimer;        // "No timer available."
extern TParamStr noTimerCaption;  // "Fatal error"
}  // namespace Msg
