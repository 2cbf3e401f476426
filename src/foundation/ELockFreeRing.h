// A bounded ring of slots for many producers and one consumer, without locks,
// waits or allocation after construction.
//
// Each slot carries a sequence number. A producer claims the slot at the write
// position with one compare-and-swap when its sequence equals the position, fills
// it and publishes it by setting the sequence to position + 1. The consumer takes
// the slot at the read position once it is published and frees it for the next
// round by setting the sequence to position + capacity. A producer that finds the
// slot of its position not yet freed knows the ring is full and is told so at once.
//
// Threading: TryPush and TryEmplace from any number of threads at once; Front, Pop
// and TryPop from one consumer thread only. Neither side ever waits for the other.
// ForEachSlot may run on any thread: it sees slots in every state, so what it reads
// of a payload must be atomics.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

template <typename T>
class ELockFreeRing {
public:
  // capacity: a power of two. A failed allocation leaves a ring that refuses every
  // push (IsValid answers false).
  explicit ELockFreeRing(size_t capacity) : slots(new (std::nothrow) TSlot[capacity]), mask(capacity - 1) {
    if (!slots) return;
    for (size_t i = 0; i < capacity; ++i) slots[i].sequence.store(i, std::memory_order_relaxed);
  }
  ELockFreeRing(const ELockFreeRing&) = delete;
  ELockFreeRing& operator=(const ELockFreeRing&) = delete;

  bool IsValid() const { return slots != nullptr; }
  size_t Capacity() const { return slots ? mask + 1 : 0; }

  // Producers. fill(T&) writes the claimed slot before it is published. False
  // when the ring is full (nothing is called then).
  template <typename F>
  bool TryEmplace(F&& fill) {
    size_t position = 0;
    TSlot* slot = Claim(position);
    if (!slot) return false;
    fill(slot->value);
    slot->sequence.store(position + 1, std::memory_order_release);
    return true;
  }
  bool TryPush(const T& value) {
    return TryEmplace([&value](T& into) { into = value; });
  }

  // The consumer: the oldest published slot, or null when there is none. It stays
  // the consumer's until Pop.
  T* Front() {
    if (!slots) return nullptr;
    TSlot& slot = slots[readPos & mask];
    const size_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (Distance(sequence, readPos + 1) < 0) return nullptr;
    return &slot.value;
  }
  // The consumer: frees the slot that Front answered.
  void Pop() {
    TSlot& slot = slots[readPos & mask];
    slot.sequence.store(readPos + mask + 1, std::memory_order_release);
    ++readPos;
    consumed.store(readPos, std::memory_order_relaxed);
  }
  bool TryPop(T& value) {
    T* front = Front();
    if (!front) return false;
    value = *front;
    Pop();
    return true;
  }

  // Claimed and not yet popped; an estimate while producers run.
  size_t ApproximateSize() const {
    return writePos.load(std::memory_order_relaxed) - consumed.load(std::memory_order_relaxed);
  }

  // Calls f for every slot's payload, whatever its state.
  template <typename F>
  void ForEachSlot(F&& f) const {
    for (size_t i = 0; slots && i <= mask; ++i) f(static_cast<const T&>(slots[i].value));
  }
  template <typename F>
  void ForEachSlot(F&& f) {
    for (size_t i = 0; slots && i <= mask; ++i) f(slots[i].value);
  }

private:
  struct TSlot {
    std::atomic<size_t> sequence{0};
    T value{};
  };

  static std::ptrdiff_t Distance(size_t sequence, size_t position) {
    return static_cast<std::ptrdiff_t>(sequence - position);
  }

  TSlot* Claim(size_t& position) {
    if (!slots) return nullptr;
    position = writePos.load(std::memory_order_relaxed);
    for (;;) {
      TSlot* slot = &slots[position & mask];
      const std::ptrdiff_t lag = Distance(slot->sequence.load(std::memory_order_acquire), position);
      if (lag == 0) {
        if (writePos.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) return slot;
      } else if (lag < 0) {
        return nullptr;
      } else {
        position = writePos.load(std::memory_order_relaxed);
      }
    }
  }

  std::unique_ptr<TSlot[]> slots;
  size_t mask;
  alignas(64) std::atomic<size_t> writePos{0};
  alignas(64) size_t readPos = 0;
  std::atomic<size_t> consumed{0};
};
