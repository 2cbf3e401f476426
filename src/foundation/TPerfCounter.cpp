#include "TPerfCounter.h"

#include <chrono>

namespace {
using TClock = std::chrono::steady_clock;
static_assert(TClock::is_steady);
}  // namespace

void TPerfCounter::Read() {
  ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}

TPerfCounter TPerfCounter::Now() {
  TPerfCounter counter;
  counter.Read();
  return counter;
}

int64_t TPerfCounter::Frequency() { return 1000000000; }
