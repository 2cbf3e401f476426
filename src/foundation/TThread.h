// Worker thread base: derive it, override Run, and start it with CreateThread.
// A derived class must end its thread (Wait or Join) in its own destructor, since
// Run uses the derived object; the base destructor only joins as a last resort.
//
// Each thread has a small message queue (PostThreadMessage from any thread other
// than the audio thread, GetThreadMessage in Run).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "Base.h"
#include "IThreadScheduler.h"

struct TThreadMessage {
  uint32_t message = 0;
  intptr_t param1 = 0;
  intptr_t param2 = 0;
};

class TThread : public TBase {
public:
  static constexpr size_t maxMessages = 1024;

  TThread() = default;
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Run on a new thread. False when it is running already or the system
  // refuses a thread.
  bool CreateThread();
  // Waits up to milliseconds (negative: forever) for Run to return; true when it has
  // and the thread is joined.
  bool Wait(int32_t milliseconds);
  void Join() { Wait(-1); }

  // True from the moment the new thread starts until Run returns.
  bool IsRunning() const { return running.load(std::memory_order_acquire); }
  // Whether a thread was created and not joined yet.
  bool IsCreated() const { return thread.joinable(); }
  int32_t GetExitCode() const { return exitCode.load(std::memory_order_acquire); }
  std::thread::id GetThreadId() const { return threadId.load(std::memory_order_acquire); }

  // Through the installed scheduler; false when the thread is not running or the
  // system refuses.
  bool SetPriority(EThreadPriority priority);

  // Answers false when the queue is full.
  bool PostThreadMessage(uint32_t message, intptr_t param1 = 0, intptr_t param2 = 0);
  // Waits up to milliseconds (negative: forever) for a message; false on time-out.
  bool GetThreadMessage(TThreadMessage& message, int32_t milliseconds = -1);
  bool PeekThreadMessage(TThreadMessage& message) { return GetThreadMessage(message, 0); }

protected:
  // The thread's body; its answer becomes the exit code.
  virtual int32_t Run() = 0;

private:
  void Body();

  std::thread thread;
  std::atomic<bool> running{false};
  std::atomic<bool> finished{false};
  std::atomic<int32_t> exitCode{0};
  std::atomic<std::thread::id> threadId{};
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<TThreadMessage> messages;
};
