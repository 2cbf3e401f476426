// The headless event loop of the user-interface thread, for a program without a
// window: it runs window timers (the timer service's 50-millisecond timer), takes
// messages posted from any thread, and can be woken from a signal handler, so that
// SIGINT and SIGTERM end it cleanly.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/IWindowTimer.h"
#include "foundation/TTimerDialog.h"

class TEventLoop : public IWindowTimer {
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

  // Makes this loop the window timer of service (the process-wide one by default).
  void ServeTimers(TTimerDialog& service = GetTimerService());

  // Runs on the calling thread until quit; answers the quit code.
  int Run();
  // Runs what is due and waits at most milliseconds for more; false once quit.
  bool RunFor(int32_t milliseconds);

  // From any thread. Quit ends Run with code.
  void PostQuit(int code = 0);
  // From any thread; message >= userMessage goes to the handler on the loop's thread.
  bool PostMessage(uint32_t message, intptr_t param1 = 0, intptr_t param2 = 0);
  // From any thread; the task runs on the loop's thread.
  bool PostTask(std::function<void()> task);
  void SetMessageHandler(TMessageHandler handler);

  // SIGINT and SIGTERM post quit (code 128 + signal) to this loop. The handler only
  // sets an atomic flag and writes to the loop's wake-up descriptor.
  void QuitOnSignals();
  // Async-signal-safe: wakes the loop.
  void Wake() const;

  bool IsQuitting() const { return quitting.load(); }
  int GetQuitCode() const { return quitCode.load(); }

  bool StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) override;
  void StopTimer(uint32_t id) override;

private:
  using TClock = std::chrono::steady_clock;
  struct TTimer {
    uint32_t id;
    std::chrono::milliseconds period;
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
  int WaitMilliseconds(int32_t limit) const;
  void DrainWakeups() const;
  void CheckSignals();

  int wakeFd = -1;
  std::atomic<bool> quitting{false};
  std::atomic<int> quitCode{0};
  std::mutex mutex;
  std::deque<TMessage> messages;
  std::vector<TTimer> timers;
  TMessageHandler handler;
  TTimerDialog* service = nullptr;
};
