// A bounded ring between one writer thread and one reader thread, without locks.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>

template <typename T, size_t N>
class TSpscRing {
  static_assert((N & (N - 1)) == 0, "a power of two");

public:
  bool Push(const T& value) {
    const size_t at = writeAt.load(std::memory_order_relaxed);
    if (at - readAt.load(std::memory_order_acquire) == N) return false;
    slots[at & (N - 1)] = value;
    writeAt.store(at + 1, std::memory_order_release);
    return true;
  }
  bool Pop(T& value) {
    const size_t at = readAt.load(std::memory_order_relaxed);
    if (at == writeAt.load(std::memory_order_acquire)) return false;
    value = slots[at & (N - 1)];
    readAt.store(at + 1, std::memory_order_release);
    return true;
  }
  bool Empty() const { return readAt.load(std::memory_order_acquire) == writeAt.load(std::memory_order_acquire); }

private:
  std::array<T, N> slots{};
  alignas(64) std::atomic<size_t> writeAt{0};
  alignas(64) std::atomic<size_t> readAt{0};
};
