#include "TWaveEventQueue.h"

static_assert((TWaveEventQueue::capacity & (TWaveEventQueue::capacity - 1)) == 0, "a power of two");

TWaveEventQueue::TWaveEventQueue() {
  for (size_t i = 0; i < capacity; ++i) cells[i].sequence.store(i, std::memory_order_relaxed);
}

// A bounded ring in which each cell's sequence number says whose turn it is: a writer
// claims the position whose cell is free, a reader the position whose cell is filled.
bool TWaveEventQueue::Push(const TWaveNotification& notification) {
  size_t position = pushAt.load(std::memory_order_relaxed);
  for (;;) {
    TCell& cell = cells[position & (capacity - 1)];
    const size_t sequence = cell.sequence.load(std::memory_order_acquire);
    const auto difference = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(position);
    if (difference == 0) {
      if (pushAt.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
        cell.value = notification;
        cell.sequence.store(position + 1, std::memory_order_release);
        signals.fetch_add(1, std::memory_order_release);
        signals.notify_one();
        return true;
      }
    } else if (difference < 0) {
      dropped.fetch_add(1, std::memory_order_relaxed);
      return false;
    } else {
      position = pushAt.load(std::memory_order_relaxed);
    }
  }
}

bool TWaveEventQueue::Pop(TWaveNotification& notification) {
  const size_t position = popAt.load(std::memory_order_relaxed);
  TCell& cell = cells[position & (capacity - 1)];
  if (cell.sequence.load(std::memory_order_acquire) != position + 1) return false;
  notification = cell.value;
  cell.sequence.store(position + capacity, std::memory_order_release);
  popAt.store(position + 1, std::memory_order_relaxed);
  return true;
}

void TWaveEventQueue::Wait(TWaveNotification& notification) {
  for (;;) {
    const uint32_t seen = signals.load(std::memory_order_acquire);
    if (Pop(notification)) return;
    signals.wait(seen, std::memory_order_acquire);
  }
}
