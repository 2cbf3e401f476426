// The window toolkit's event loop as the application object's loop: Run is the
// application's exec, quit ends it (also when posted before it runs), tasks posted
// from any thread run on the user-interface thread, and the window timer is a precise
// single-shot timer armed again after each tick, so that a period never ends before
// its deadline (it wakes up to 2 ms early and sleeps the rest). Threading: as IEventLoop says; construct it after the QApplication,
// on its thread.
#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "pc/foundation/IEventLoop.h"

class TQtEventLoop : public IEventLoop {
public:
  TQtEventLoop();
  ~TQtEventLoop() override;
  TQtEventLoop(const TQtEventLoop&) = delete;
  TQtEventLoop& operator=(const TQtEventLoop&) = delete;

  int Run() override;
  void PostQuit(int code = 0) override;
  bool PostTask(std::function<void()> task) override;
  void QuitOnSignals() override;
  bool IsQuitting() const override { return quitting.load(); }
  int GetQuitCode() const override { return quitCode.load(); }
  bool IsLoopThread() const override { return std::this_thread::get_id() == loopThread; }
  // True while Run is in the toolkit's loop.
  bool IsRunning() const { return running.load(); }

  bool StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) override;
  void StopTimer(uint32_t id) override;

private:
  using TClock = std::chrono::steady_clock;
  // The part of a period that a tick sleeps instead of waiting in the loop.
  static constexpr std::chrono::milliseconds finalWait{2};
  struct TTimer {
    std::unique_ptr<QTimer> timer;
    uint64_t serial = 0;
    TClock::duration period{};
    TClock::time_point deadline;
    IWindowTimerTarget* target = nullptr;
  };

  void OnTimeout(uint32_t id);
  void Arm(TTimer& timer);
  void OnSignalWakeup();

  std::thread::id loopThread;
  // The receiver of posted tasks; it lives on the user-interface thread.
  std::unique_ptr<QObject> context;
  std::mutex postMutex;  // guards context against posts while the loop goes away
  std::atomic<bool> quitting{false};
  std::atomic<bool> running{false};
  std::atomic<int> quitCode{0};
  std::map<uint32_t, TTimer> timers;
  uint64_t nextSerial = 1;
  int signalFd = -1;
  std::unique_ptr<QSocketNotifier> signalNotifier;
};
