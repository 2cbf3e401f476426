#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/ScriptedPresenter.h"
#include "pc/foundation/TEventLoop.h"

namespace {
using namespace std::chrono;

struct TTicks {
  TEventLoop* loop;
  int calls = 0;
  int quitAfter;
};

int32_t Tick(void* context) {
  auto* ticks = static_cast<TTicks*>(context);
  if (++ticks->calls == ticks->quitAfter) {
    ticks->loop->PostQuit(3);
    return 0;
  }
  return 1;
}

TEST(EventLoop, RunsTheTimerServiceInFiftyMillisecondSteps) {
  TEventLoop loop;
  TTimerDialog service;
  loop.ServeTimers(service);
  TTicks ticks{&loop, 0, 4};
  const auto start = steady_clock::now();
  service.AddTimer(50, Tick, &ticks);
  EXPECT_TRUE(service.IsTimerRunning());
  EXPECT_EQ(loop.Run(), 3);
  const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_EQ(ticks.calls, 4);
  EXPECT_GE(took, 4 * 50 - 5);
  EXPECT_FALSE(service.IsTimerRunning()) << "the callback ended the only registration";
}

TEST(EventLoop, TakesMessagesAndTasksFromOtherThreads) {
  TEventLoop loop;
  std::vector<intptr_t> received;
  std::atomic<int> tasks{0};
  loop.SetMessageHandler([&](uint32_t message, intptr_t param1, intptr_t) {
    EXPECT_EQ(message, TEventLoop::userMessage + 1);
    received.push_back(param1);
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        loop.PostMessage(TEventLoop::userMessage + 1, t * 1000 + i);
        loop.PostTask([&] { ++tasks; });
      }
    });
  }
  for (auto& poster : posters) poster.join();
  std::thread quitter([&] { loop.PostMessage(TEventLoop::quitMessage, 9); });
  quitter.join();
  // Quit ends the loop; what was posted before it may or may not have run.
  EXPECT_EQ(loop.Run(), 9);

  TEventLoop second;
  std::atomic<bool> done{false};
  second.SetMessageHandler([&](uint32_t, intptr_t param1, intptr_t) { received.push_back(param1); });
  std::thread poster([&] {
    for (int i = 0; i < 50; ++i) second.PostMessage(TEventLoop::userMessage, i);
    second.PostTask([&] {
      done = true;
      second.PostQuit(0);
    });
  });
  received.clear();
  EXPECT_EQ(second.Run(), 0);
  poster.join();
  EXPECT_TRUE(done.load());
  ASSERT_EQ(received.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(received[i], i) << "in posting order";
}

TEST(EventLoop, RunForReturnsAfterItsTime) {
  TEventLoop loop;
  const auto start = steady_clock::now();
  EXPECT_TRUE(loop.RunFor(30));
  const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_GE(took, 29);
  EXPECT_LT(took, 2000);
  loop.PostQuit(1);
  EXPECT_FALSE(loop.RunFor(1000));
}

TEST(EventLoop, SignalsPostQuit) {
  for (int signal : {SIGTERM, SIGINT}) {
    TEventLoop loop;
    loop.QuitOnSignals();
    std::thread sender([signal] {
      std::this_thread::sleep_for(milliseconds(20));
      kill(getpid(), signal);
    });
    EXPECT_EQ(loop.Run(), 128 + signal);
    sender.join();
  }
  struct sigaction restore {};
  restore.sa_handler = SIG_DFL;
  sigaction(SIGINT, &restore, nullptr);
  sigaction(SIGTERM, &restore, nullptr);
}

TEST(EventLoop, TimersStartedAndStoppedFromCallbacks) {
  struct TTarget : IWindowTimerTarget {
    TEventLoop* loop;
    int fired[3] = {0, 0, 0};
    void OnWindowTimer(uint32_t id) override {
      ++fired[id];
      if (id == 1 && fired[1] == 1) loop->StartTimer(2, 10, *this);
      if (id == 2 && fired[2] == 3) loop->StopTimer(2);
      if (id == 1 && fired[1] == 5) loop->PostQuit(0);
    }
  } target;
  TEventLoop loop;
  target.loop = &loop;
  EXPECT_FALSE(loop.StartTimer(1, 0, target)) << "a zero period is refused";
  ASSERT_TRUE(loop.StartTimer(1, 30, target));
  loop.Run();
  EXPECT_EQ(target.fired[1], 5);
  EXPECT_EQ(target.fired[2], 3);
}

TEST(EventLoop, DestroyingTheLoopDetachesItFromTheService) {
  TScriptedPresenter presenter;
  TTimerDialog service;
  int dummy = 0;
  {
    TEventLoop loop;
    loop.ServeTimers(service);
    service.AddTimer(50, [](void*) -> int32_t { return 1; }, &dummy);
    EXPECT_EQ(service.GetWindowTimer(), &loop);
  }
  EXPECT_EQ(service.GetWindowTimer(), nullptr);
  EXPECT_TRUE(presenter.shown.empty());
  TEventLoop next;
  next.ServeTimers(service);
  EXPECT_TRUE(service.IsTimerRunning()) << "the registration moves to the new loop";
}
}  // namespace
