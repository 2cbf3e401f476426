// The 4 ms media timer thread and the notification mailbox across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/TWaveEventQueue.h"
#include "pc/audio/TMediaTimerThread.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
using TClock = std::chrono::steady_clock;

class TRecordingTarget : public IMediaTimerTarget {
public:
  void OnMediaTick() override {
    const size_t at = count.load(std::memory_order_relaxed);
    if (at < times.size()) times[at] = TClock::now();
    count.store(at + 1, std::memory_order_release);
  }
  std::vector<TClock::time_point> times = std::vector<TClock::time_point>(1000);
  std::atomic<size_t> count{0};
};

TEST(MediaTimerThreadTest, TicksOnAGridOfDeadlinesNeverEarlyAndWithoutDrift) {
  InstallPosixPlatform();
  TMediaTimerThread timer;
  TRecordingTarget target;
  const auto start = TClock::now();
  const uint32_t id = timer.Start(4, 0, target);
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  timer.Stop(id);
  const auto stopped = TClock::now();
  const size_t ticks = target.count.load();
  ASSERT_GT(ticks, 0u);
  // The n-th tick comes at the earliest n periods after the start.
  for (size_t n = 0; n < std::min(ticks, target.times.size()); ++n)
    ASSERT_GE(target.times[n] - start, std::chrono::milliseconds(4) * (n + 1)) << n;
  // Every deadline up to the stop either ticked or was skipped by a late tick.
  const auto periods = (stopped - start) / std::chrono::milliseconds(4);
  EXPECT_LE(int64_t(ticks + timer.SkippedTicks()), int64_t(periods));
  EXPECT_GE(int64_t(ticks + timer.SkippedTicks()), int64_t(periods) - 5);
  // Stopped means stopped.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(target.count.load(), ticks);
}

TEST(WaveEventQueueThreadedTest, ManyPostersOneWaiterEveryNotificationInEachPostersOrder) {
  TWaveEventQueue queue;
  constexpr int posters = 4;
  constexpr int each = 5000;
  std::vector<TWaveHeader> headers(posters * each);
  std::vector<std::thread> threads;
  for (int p = 0; p < posters; ++p) {
    threads.emplace_back([&, p] {
      for (int i = 0; i < each; ++i) {
        TWaveHeader* header = &headers[size_t(p * each + i)];
        while (!queue.Push({EWaveEvent::BlockDone, EWaveDirection::Output, header})) std::this_thread::yield();
      }
    });
  }
  std::vector<int> next(posters, 0);
  for (int received = 0; received < posters * each; ++received) {
    TWaveNotification notification;
    queue.Wait(notification);
    const auto index = static_cast<int>(notification.header - headers.data());
    const int poster = index / each;
    ASSERT_EQ(index % each, next[size_t(poster)]++);
  }
  for (auto& thread : threads) thread.join();
}
}  // namespace
