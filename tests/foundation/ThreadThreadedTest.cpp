#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/DCriticalSection.h"
#include "foundation/IHeap.h"
#include "foundation/TThread.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
// Counts the messages it gets until message 0 arrives; answers the count.
class TCountingThread : public TThread {
public:
  ~TCountingThread() override { Join(); }
  std::atomic<int> sum{0};

protected:
  int32_t Run() override {
    int count = 0;
    TThreadMessage message;
    while (GetThreadMessage(message) && message.message != 0) {
      ++count;
      sum += static_cast<int>(message.param1 + message.param2);
    }
    return count;
  }
};

class TSleeper : public TThread {
public:
  ~TSleeper() override {
    stop = true;
    Join();
  }
  std::atomic<bool> stop{false};
  std::atomic<bool> raised{false};

protected:
  int32_t Run() override {
    raised = SetPriority(EThreadPriority::Highest);  // granted or not, never an error
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 7;
  }
};

TEST(Thread, RunsAndAnswersItsExitCode) {
  TCountingThread thread;
  EXPECT_FALSE(thread.IsCreated());
  ASSERT_TRUE(thread.CreateThread());
  EXPECT_FALSE(thread.CreateThread()) << "already running";
  for (int i = 1; i <= 10; ++i) EXPECT_TRUE(thread.PostThreadMessage(1, i, 1));
  thread.PostThreadMessage(0);
  EXPECT_TRUE(thread.Wait(10000));
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetExitCode(), 10);
  EXPECT_EQ(thread.sum.load(), 55 + 10);
  // A thread object can run again once joined.
  ASSERT_TRUE(thread.CreateThread());
  thread.PostThreadMessage(0);
  thread.Join();
  EXPECT_EQ(thread.GetExitCode(), 0);
}

TEST(Thread, WaitTimesOutWhileTheThreadRunsAndPrioritiesFallBackSilently) {
  InstallPosixPlatform();
  TSleeper thread;
  ASSERT_TRUE(thread.CreateThread());
  while (!thread.IsRunning()) std::this_thread::yield();
  EXPECT_FALSE(thread.Wait(20));
  EXPECT_NE(thread.GetThreadId(), std::thread::id());
  thread.SetPriority(EThreadPriority::TimeCritical);
  EXPECT_TRUE(thread.SetPriority(EThreadPriority::Normal));
  thread.stop = true;
  EXPECT_TRUE(thread.Wait(10000));
  EXPECT_EQ(thread.GetExitCode(), 7);
  EXPECT_FALSE(thread.SetPriority(EThreadPriority::Normal)) << "no thread any more";
  SetCurrentThreadPriority(EThreadPriority::Normal);
}

TEST(Thread, MessagesTimeOutAndTheQueueIsBounded) {
  TCountingThread idle;  // never started: its queue alone
  TThreadMessage message;
  EXPECT_FALSE(idle.GetThreadMessage(message, 5));
  size_t accepted = 0;
  while (idle.PostThreadMessage(1) && accepted <= TThread::maxMessages) ++accepted;
  EXPECT_EQ(accepted, TThread::maxMessages);
  EXPECT_TRUE(idle.PeekThreadMessage(message));
}

TEST(CriticalSection, ExcludesOtherThreadsAndIsRecursive) {
  DCriticalSection lock;
  int shared = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        TLockScope outer(lock);
        TLockScope inner(lock);  // the owner may take it again
        ++shared;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared, 8000);

  lock.Lock();
  std::atomic<bool> gotIt{true};
  std::thread other([&] {
    gotIt = lock.try_lock();
    if (gotIt) lock.unlock();
  });
  other.join();
  EXPECT_FALSE(gotIt.load());
  lock.Unlock();
}

TEST(Heap, ServesSeveralThreads) {
  EPtr<IHeap> heap(IHeap::Create(0));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        void* block = heap->Alloc(64 + i);
        ASSERT_NE(block, nullptr);
        if (i % 2) heap->Free(block);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  size_t expected = 0;
  for (int i = 0; i < 500; i += 2) expected += 64 + i;
  EXPECT_EQ(heap->GetUsed(), 4 * expected);
}
}  // namespace
