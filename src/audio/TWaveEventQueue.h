// The mailbox of the soundcard port's worker thread: the device layer's threads post
// their notifications into it without a lock or an allocation, the worker thread
// takes them in order and waits while there are none.
//
// Threading: Push (OnWaveEvent) from any number of threads at once, never blocking;
// Pop and Wait from one thread only.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "IWaveDevices.h"
#include "foundation/ELockFreeRing.h"

class TWaveEventQueue : public IWaveNotify {
public:
  // Room for every header of the port's rings many times over.
  static constexpr size_t capacity = 4096;

  TWaveEventQueue() = default;
  TWaveEventQueue(const TWaveEventQueue&) = delete;
  TWaveEventQueue& operator=(const TWaveEventQueue&) = delete;

  // Posts; false (and counted) when the mailbox is full.
  bool Push(const TWaveNotification& notification);
  void OnWaveEvent(const TWaveNotification& notification) override { Push(notification); }

  bool Pop(TWaveNotification& notification) { return ring.TryPop(notification); }
  // Waits until a notification is there and takes it.
  void Wait(TWaveNotification& notification);

  uint32_t GetDropped() const { return dropped.load(std::memory_order_relaxed); }
  // Notifications posted so far.
  uint64_t GetPushed() const { return pushed.load(std::memory_order_acquire); }

private:
  ELockFreeRing<TWaveNotification> ring{capacity};
  alignas(64) std::atomic<uint32_t> signals{0};
  std::atomic<uint32_t> dropped{0};
  std::atomic<uint64_t> pushed{0};
};
