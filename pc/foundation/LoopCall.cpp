#include "LoopCall.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
struct TCall {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool done = false;
  bool dropped = false;
};

// How often a waiting caller looks whether the loop has quit.
constexpr auto quitCheck = std::chrono::milliseconds(20);
}  // namespace

bool CallOnLoopThread(IEventLoop& loop, const std::function<void()>& work) {
  if (loop.IsLoopThread()) {
    work();
    return true;
  }
  if (loop.IsQuitting()) return false;
  auto call = std::make_shared<TCall>();
  const bool posted = loop.PostTask([call, work] {
    {
      std::lock_guard<std::mutex> hold(call->mutex);
      if (call->dropped) return;
      call->started = true;
    }
    work();
    {
      std::lock_guard<std::mutex> hold(call->mutex);
      call->done = true;
    }
    call->changed.notify_all();
  });
  if (!posted) return false;
  std::unique_lock<std::mutex> hold(call->mutex);
  while (!call->done) {
    call->changed.wait_for(hold, quitCheck);
    if (!call->started && !call->done && loop.IsQuitting()) {
      call->dropped = true;
      return false;
    }
  }
  return true;
}
