// The event loop of the user-interface thread as the application object sees it: it
// runs until quit, serves the timer service's 50-millisecond window timer, and runs
// work posted from any thread. The headless loop (TEventLoop) and the window
// toolkit's loop (pc/ui) implement it.
//
// Threading: construct, Run, StartTimer and StopTimer on the user-interface thread
// (the thread that constructed the loop). PostQuit and PostTask from any thread; a
// posted task runs on the user-interface thread, in posting order. A quit posted
// before Run makes Run return at once.
//
// Timers never fire early: each period ends on an absolute deadline, taken when the
// target's previous tick returned, so that a reader of the clock inside a tick sees
// at least one whole period since it last read it.
#pragma once
#include <functional>
#include <thread>

#include "foundation/IWindowTimer.h"
#include "foundation/TTimerDialog.h"

class IEventLoop : public IWindowTimer {
public:
  // Runs on the calling thread until quit; answers the quit code.
  virtual int Run() = 0;
  // From any thread. Quit ends Run with code.
  virtual void PostQuit(int code = 0) = 0;
  // From any thread; the task runs on the loop's thread. False when it cannot be
  // queued (the loop is gone or quitting).
  virtual bool PostTask(std::function<void()> task) = 0;
  // SIGINT and SIGTERM post quit (code 128 + signal) to this loop.
  virtual void QuitOnSignals() = 0;
  virtual bool IsQuitting() const = 0;
  virtual int GetQuitCode() const = 0;
  // True on the thread that runs the loop.
  virtual bool IsLoopThread() const = 0;

  // Makes this loop the window timer of the timer service (the process-wide one by
  // default). The loop detaches itself when it is destroyed.
  void ServeTimers(TTimerDialog& timerService = GetTimerService()) {
    service = &timerService;
    timerService.SetWindowTimer(this);
  }

protected:
  void DetachFromTimers() {
    if (service && service->GetWindowTimer() == this) service->SetWindowTimer(nullptr);
    service = nullptr;
  }

private:
  TTimerDialog* service = nullptr;
};
