#include "TPortQueue.h"

bool TPortQueue::Push(const TPortMessage& message) {
  if (!ring.TryPush(message)) return false;
  pushes.fetch_add(1, std::memory_order_release);
  pushes.notify_one();
  return true;
}
