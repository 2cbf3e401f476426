#include "TPortQueue.h"

TPortQueue::TPortQueue(size_t capacity) : cells(new TCell[capacity]), mask(capacity - 1) {
  for (size_t i = 0; i < capacity; ++i) cells[i].sequence.store(i, std::memory_order_relaxed);
}

bool TPortQueue::Push(const TPortMessage& message) {
  size_t pos = writePos.load(std::memory_order_relaxed);
  TCell* cell;
  for (;;) {
    cell = &cells[pos & mask];
    const size_t sequence = cell->sequence.load(std::memory_order_acquire);
    const auto lag = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(pos);
    if (lag == 0) {
      if (writePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) break;
    } else if (lag < 0) {
      return false;
    } else {
      pos = writePos.load(std::memory_order_relaxed);
    }
  }
  cell->message = message;
  cell->sequence.store(pos + 1, std::memory_order_release);
  pushes.fetch_add(1, std::memory_order_release);
  pushes.notify_one();
  return true;
}

bool TPortQueue::Pop(TPortMessage& message) {
  TCell& cell = cells[readPos & mask];
  const size_t sequence = cell.sequence.load(std::memory_order_acquire);
  if (static_cast<intptr_t>(sequence) - static_cast<intptr_t>(readPos + 1) < 0) return false;
  message = cell.message;
  cell.sequence.store(readPos + mask + 1, std::memory_order_release);
  ++readPos;
  return true;
}
