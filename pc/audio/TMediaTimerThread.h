// The media timer of this platform: each periodic timer is a thread of our own that
// sleeps to absolute deadlines on the monotonic clock (start + n periods), so it never
// drifts and never fires early; a tick that comes too late for the next deadlines
// skips them rather than firing in a burst. The thread runs at the highest priority
// the process may use (real-time scheduling where allowed, else the normal policy,
// silently). Timer periods need no setting here: BeginPeriod and EndPeriod do nothing,
// and the process's real-time priority is that same attempt on the timer thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "audio/IMediaTimer.h"

class TMediaTimerThread : public IMediaTimer {
public:
  TMediaTimerThread();
  ~TMediaTimerThread() override;
  TMediaTimerThread(const TMediaTimerThread&) = delete;
  TMediaTimerThread& operator=(const TMediaTimerThread&) = delete;

  TMediaTimerCaps GetCaps() override { return {1, 1000000}; }
  bool BeginPeriod(int32_t) override { return true; }
  void EndPeriod(int32_t) override {}
  uint32_t Start(int32_t periodMilliseconds, int32_t resolutionMilliseconds, IMediaTimerTarget& target) override;
  void Stop(uint32_t timer) override;
  void RaiseCallbackPriority() override;
  void RestoreNormalPriority() override {}
  void Sleep(int32_t milliseconds) override;

  // Deadlines that a late tick made the timer skip, over all its timers.
  uint64_t SkippedTicks() const { return skipped.load(std::memory_order_relaxed); }

  class TTimer;

private:
  std::mutex lock;
  uint32_t nextId = 1;
  std::map<uint32_t, std::unique_ptr<TTimer>> timers;
  std::atomic<uint64_t> skipped{0};
};
