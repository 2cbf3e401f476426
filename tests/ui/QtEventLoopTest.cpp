// The toolkit's event loop as the program's loop: the timer service on the real clock
// (every step counted, 20 idle calls a second), posted work from other threads, quit
// before and during the loop, signals.
#include <gtest/gtest.h>

#include <signal.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "UiTest.h"
#include "pc/ui/TQtEventLoop.h"

namespace {
using namespace std::chrono;

struct TTicks {
  std::vector<steady_clock::time_point> at;
};

int32_t Tick(void* context) {
  static_cast<TTicks*>(context)->at.push_back(steady_clock::now());
  return 1;
}

TEST(QtEventLoop, TheIdleTimerRunsTwentyTimesASecondOverTenSeconds) {
  OffscreenApplication();
  TQtEventLoop loop;
  TTimerDialog service;
  loop.ServeTimers(service);
  TTicks ticks;
  ticks.at.reserve(400);
  service.AddTimer(32, Tick, &ticks);
  QTimer::singleShot(10000, Qt::PreciseTimer, [&] { loop.PostQuit(7); });
  const auto start = steady_clock::now();
  EXPECT_EQ(loop.Run(), 7);
  const double seconds = duration<double>(steady_clock::now() - start).count();
  ASSERT_GE(ticks.at.size(), 2u);
  // From the first tick to the last: what the loop costs once it runs (its first pass
  // may set up what it needs, fonts and the like).
  const double span = duration<double>(ticks.at.back() - ticks.at.front()).count();
  const double rate = static_cast<double>(ticks.at.size() - 1) / span;
  std::printf("idle rate %.2f per second (%zu ticks in %.3f s)\n", rate, ticks.at.size(), seconds);
  EXPECT_GE(ticks.at.size(), 180u);
  EXPECT_GE(rate, 18.0);
  EXPECT_LE(rate, 20.05);
  steady_clock::duration shortest = steady_clock::duration::max();
  for (size_t i = 1; i < ticks.at.size(); ++i) shortest = std::min(shortest, ticks.at[i] - ticks.at[i - 1]);
  EXPECT_GE(shortest, milliseconds(50)) << "no tick came before its step was over";
}

TEST(QtEventLoop, WorkPostedFromOtherThreadsRunsOnTheLoopsThreadInOrder) {
  OffscreenApplication();
  TQtEventLoop loop;
  std::vector<int> order;
  std::atomic<int> offThread{0};
  const std::thread::id uiThread = std::this_thread::get_id();
  std::thread poster([&] {
    EXPECT_FALSE(loop.IsLoopThread());
    for (int i = 0; i < 200; ++i) {
      loop.PostTask([&, i] {
        if (std::this_thread::get_id() != uiThread) ++offThread;
        order.push_back(i);
      });
    }
    loop.PostTask([&] { loop.PostQuit(3); });
  });
  EXPECT_EQ(loop.Run(), 3);
  poster.join();
  EXPECT_TRUE(loop.IsLoopThread());
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(offThread.load(), 0);
}

TEST(QtEventLoop, AQuitBeforeTheLoopRunsEndsItAtOnce) {
  OffscreenApplication();
  TQtEventLoop loop;
  loop.PostQuit(1);
  const auto start = steady_clock::now();
  EXPECT_EQ(loop.Run(), 1);
  EXPECT_LT(steady_clock::now() - start, seconds(1));
  EXPECT_TRUE(loop.IsQuitting());
}

TEST(QtEventLoop, TimersStartedAndStoppedFromTheirTicks) {
  OffscreenApplication();
  struct TTarget : IWindowTimerTarget {
    TQtEventLoop* loop;
    int fired[3] = {0, 0, 0};
    void OnWindowTimer(uint32_t id) override {
      ++fired[id];
      if (id == 1 && fired[1] == 1) loop->StartTimer(2, 10, *this);
      if (id == 2 && fired[2] == 3) loop->StopTimer(2);
      if (id == 1 && fired[1] == 5) loop->PostQuit(0);
    }
  } target;
  TQtEventLoop loop;
  target.loop = &loop;
  EXPECT_FALSE(loop.StartTimer(1, 0, target)) << "a zero period is refused";
  ASSERT_TRUE(loop.StartTimer(1, 30, target));
  loop.Run();
  EXPECT_EQ(target.fired[1], 5);
  EXPECT_EQ(target.fired[2], 3);
}

TEST(QtEventLoop, SigtermPostsQuit) {
  OffscreenApplication();
  TQtEventLoop loop;
  loop.QuitOnSignals();
  std::thread sender([] {
    std::this_thread::sleep_for(milliseconds(30));
    kill(getpid(), SIGTERM);
  });
  EXPECT_EQ(loop.Run(), 128 + SIGTERM);
  sender.join();
  struct sigaction restore {};
  restore.sa_handler = SIG_DFL;
  sigaction(SIGTERM, &restore, nullptr);
}
}  // namespace
