// The headless event loop of the user-interface thread, for a program without a
// window: it runs window timers (the timer service's 50-millisecond timer), takes
// messages and tasks posted from any thread, and can be woken from a signal handler,
// so that SIGINT and SIGTERM end it cleanly. Threading: as IEventLoop says.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "IEventLoop.h"

class TEventLoop : public IEventLoop {
public:
  // Messages with a number from this one on are handed to the message handler.
  static constexpr uint32_t quitMessage = 0x12;
  static constexpr uint32_t userMessage = 0x400;

  using TMessageHandler = std::function<void(uint32_t message, intptr_t param1, intptr_t param2)>;

  TEventLoop();
  // Detaches from the timer service it serves.
  ~TEventLoop() override;
  TEventLoop(const TEventLoop&) = delete;
  TEventLoop& operator=(const TEventLoop&) = delete;

  int Run() override;
  // Runs what is due and waits at most milliseconds for more; false once quit.
  bool RunFor(int32_t milliseconds);

  void PostQuit(int code = 0) override;
  // From any thread; message >= userMessage goes to the handler on the loop's thread.
  bool PostMessage(uint32_t message, intptr_t param1 = 0, intptr_t param2 = 0);
  bool PostTask(std::function<void()> task) override;
  void SetMessageHandler(TMessageHandler handler);

  // The handler only sets an atomic flag and writes to the loop's wake-up descriptor.
  void QuitOnSignals() override;
  // Async-signal-safe: wakes the loop.
  void Wake() const;

  bool IsQuitting() const override { return quitting.load(); }
  int GetQuitCode() const override { return quitCode.load(); }
  bool IsLoopThread() const override { return std::this_thread::get_id() == loopThread; }

  bool StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) override;
  void StopTimer(uint32_t id) override;

private:
  using TClock = std::chrono::steady_clock;
  struct TTimer {
    uint32_t id;
    uint64_t serial;  // which start of the timer this is
    std::chrono::nanoseconds period;
    TClock::time_point due;
    IWindowTimerTarget* target;
  };
  struct TMessage {
    uint32_t message;
    intptr_t param1;
    intptr_t param2;
    std::function<void()> task;
  };

  void Dispatch(const TMessage& message);
  void RunDueTimers();
  void Fire(uint32_t id, TClock::time_point now);
  // How long to wait for the next timer, at most limit (negative: no limit).
  TClock::duration WaitTime(TClock::duration limit) const;
  void DrainWakeups() const;
  void CheckSignals();

  int wakeFd = -1;
  std::thread::id loopThread;
  std::atomic<bool> quitting{false};
  std::atomic<int> quitCode{0};
  std::mutex mutex;
  std::deque<TMessage> messages;
  std::vector<TTimer> timers;
  uint64_t nextSerial = 1;
  TMessageHandler handler;
};
