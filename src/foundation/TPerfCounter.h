// High-resolution time: a 64-bit counter of the monotonic clock in nanoseconds.
#pragma once
#include <cstdint>

class TPerfCounter {
public:
  TPerfCounter() = default;
  explicit TPerfCounter(int64_t ticks) : ticks(ticks) {}

  // Reads the counter into this value.
  void Read();
  static TPerfCounter Now();
  void Copy(const TPerfCounter& other) { ticks = other.ticks; }
  // Ticks from this value to later.
  int64_t ElapsedTo(const TPerfCounter& later) const { return later.ticks - ticks; }
  int64_t GetTicks() const { return ticks; }
  // Ticks per second.
  static int64_t Frequency();

private:
  int64_t ticks = 0;
};
