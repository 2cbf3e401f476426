// The bounded many-producer ring at full speed: every pushed value arrives once, in
// each producer's order, and every refusal happened because the ring was full.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "foundation/ELockFreeRing.h"

namespace {
struct TItem {
  uint32_t producer = 0;
  uint32_t serial = 0;
};

struct TRun {
  int producers;
  size_t capacity;
  uint32_t perProducer;
};

class LockFreeRing : public ::testing::TestWithParam<TRun> {};

TEST_P(LockFreeRing, ProducersAtFullSpeedLoseNothingAndKeepTheirOrder) {
  const TRun run = GetParam();
  ELockFreeRing<TItem> ring(run.capacity);
  std::atomic<int> producing{run.producers};
  std::vector<uint32_t> refusals(run.producers, 0);
  std::vector<std::thread> threads;
  for (int p = 0; p < run.producers; ++p) {
    threads.emplace_back([&, p] {
      for (uint32_t serial = 0; serial < run.perProducer;) {
        if (ring.TryPush({static_cast<uint32_t>(p), serial})) {
          ++serial;
        } else {
          ++refusals[p];
          std::this_thread::yield();
        }
      }
      producing.fetch_sub(1);
    });
  }

  std::vector<uint32_t> next(run.producers, 0);
  uint64_t received = 0;
  bool inOrder = true;
  size_t largest = 0;
  TItem item;
  while (producing.load() > 0 || ring.ApproximateSize() > 0) {
    largest = std::max(largest, ring.ApproximateSize());
    if (!ring.TryPop(item)) continue;
    inOrder = inOrder && item.producer < next.size() && item.serial == next[item.producer];
    if (item.producer < next.size()) next[item.producer] = item.serial + 1;
    ++received;
  }
  for (std::thread& thread : threads) thread.join();
  while (ring.TryPop(item)) ++received;

  EXPECT_TRUE(inOrder);
  EXPECT_EQ(received, static_cast<uint64_t>(run.producers) * run.perProducer);
  for (uint32_t serial : next) EXPECT_EQ(serial, run.perProducer);
  EXPECT_LE(largest, run.capacity);
  EXPECT_EQ(ring.Front(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Runs, LockFreeRing,
                         ::testing::Values(TRun{1, 2, 200000}, TRun{4, 8, 100000}, TRun{3, 4096, 200000}));

TEST(LockFreeRingFull, AFullRingRefusesAtOnceAndTakesAgainAfterAPop) {
  ELockFreeRing<int> ring(4);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(ring.TryPush(i));
  EXPECT_FALSE(ring.TryPush(99));
  int value = -1;
  ASSERT_TRUE(ring.TryPop(value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(ring.TryPush(4));
  for (int expected = 1; expected <= 4; ++expected) {
    ASSERT_TRUE(ring.TryPop(value));
    EXPECT_EQ(value, expected);
  }
  EXPECT_FALSE(ring.TryPop(value));
}
}  // namespace
