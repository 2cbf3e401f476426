// The message queue of the MIDI port thread: many writers (the inputs' threads, the
// user-interface thread), one reader (the port thread). Fixed size, no lock and no
// allocation after construction; a writer that finds it full is told so at once.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/ELockFreeRing.h"

struct TPortMessage {
  uint32_t kind = 0;
  uint32_t message = 0;
  int32_t port = 0;
  void* source = nullptr;
  void* buffer = nullptr;
};

class TPortQueue {
public:
  // capacity: a power of two.
  explicit TPortQueue(size_t capacity) : ring(capacity) {}

  // Any writer. False when the queue is full.
  bool Push(const TPortMessage& message);
  // The reader only. False when the queue is empty.
  bool Pop(TPortMessage& message) { return ring.TryPop(message); }

  // The reader: Seen() before trying Pop, then WaitAfter(seen) when Pop found
  // nothing; a Push after Seen() ends the wait at once.
  uint32_t Seen() const { return pushes.load(std::memory_order_acquire); }
  void WaitAfter(uint32_t seen) const { pushes.wait(seen, std::memory_order_acquire); }

private:
  ELockFreeRing<TPortMessage> ring;
  alignas(64) std::atomic<uint32_t> pushes{0};
};
