#include "TWaveEventQueue.h"

bool TWaveEventQueue::Push(const TWaveNotification& notification) {
  if (!ring.TryPush(notification)) {
    dropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  pushed.fetch_add(1, std::memory_order_release);
  signals.fetch_add(1, std::memory_order_release);
  signals.notify_one();
  return true;
}

// The waiter reads the signal count before it looks: a notification posted after
// the look changes the count, so the wait returns at once.
void TWaveEventQueue::Wait(TWaveNotification& notification) {
  for (;;) {
    const uint32_t seen = signals.load(std::memory_order_acquire);
    if (Pop(notification)) return;
    signals.wait(seen, std::memory_order_acquire);
  }
}
