#include "TMediaTimerThread.h"

#include <time.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "foundation/IThreadScheduler.h"

namespace {
constexpr int64_t nanosecondsPerSecond = 1000000000;

timespec Monotonic() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

int64_t Nanoseconds(const timespec& time) { return time.tv_sec * nanosecondsPerSecond + time.tv_nsec; }

timespec Timespec(int64_t nanoseconds) {
  return {static_cast<time_t>(nanoseconds / nanosecondsPerSecond), static_cast<long>(nanoseconds % nanosecondsPerSecond)};
}

void RaiseThisThread() {
  for (EThreadPriority priority :
       {EThreadPriority::TimeCritical, EThreadPriority::Highest, EThreadPriority::AboveNormal})
    if (GetThreadScheduler().SetCurrentThreadPriority(priority)) return;
}
}  // namespace

class TMediaTimerThread::TTimer {
public:
  TTimer(int64_t period, IMediaTimerTarget& target, std::atomic<uint64_t>& skipped)
      : period(period), target(target), skipped(skipped), thread([this] { Run(); }) {}
  ~TTimer() {
    stop.store(true, std::memory_order_release);
    thread.join();
  }
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

private:
  void Run() {
    RaiseThisThread();
    int64_t deadline = Nanoseconds(Monotonic()) + period;
    while (!stop.load(std::memory_order_acquire)) {
      const timespec until = Timespec(deadline);
      if (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) continue;
      if (stop.load(std::memory_order_acquire)) break;
      target.OnMediaTick();
      deadline += period;
      const int64_t now = Nanoseconds(Monotonic());
      if (deadline <= now) {
        const int64_t missed = (now - deadline) / period + 1;
        deadline += missed * period;
        skipped.fetch_add(static_cast<uint64_t>(missed), std::memory_order_relaxed);
      }
    }
  }

  const int64_t period;
  IMediaTimerTarget& target;
  std::atomic<uint64_t>& skipped;
  std::atomic<bool> stop{false};
  std::thread thread;
};

TMediaTimerThread::TMediaTimerThread() = default;

TMediaTimerThread::~TMediaTimerThread() {
  std::lock_guard<std::mutex> hold(lock);
  timers.clear();
}

uint32_t TMediaTimerThread::Start(int32_t periodMilliseconds, int32_t, IMediaTimerTarget& target) {
  if (periodMilliseconds < 1) return 0;
  std::lock_guard<std::mutex> hold(lock);
  const uint32_t id = nextId++;
  try {
    timers.emplace(id, std::make_unique<TTimer>(int64_t(periodMilliseconds) * 1000000, target, skipped));
  } catch (const std::system_error&) {
    return 0;
  }
  return id;
}

void TMediaTimerThread::Stop(uint32_t timer) {
  std::unique_ptr<TTimer> ending;
  {
    std::lock_guard<std::mutex> hold(lock);
    auto found = timers.find(timer);
    if (found == timers.end()) return;
    ending = std::move(found->second);
    timers.erase(found);
  }
  ending.reset();
}

void TMediaTimerThread::RaiseCallbackPriority() { RaiseThisThread(); }

void TMediaTimerThread::Sleep(int32_t milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
