// The library's notification thread: the driver posts reset requests, sample-rate
// changes and failures from wherever it learns of them (JACK's threads, a panel),
// without a lock or a wait; this thread delivers them to the program's callbacks, so
// that the program may call the library from its handler.
#pragma once
#include <atomic>
#include <semaphore>
#include <thread>

#include "TAsioGate.h"
#include "audio/asio/AsioLibrary.h"

class TAsioNotifier {
public:
  TAsioNotifier();
  ~TAsioNotifier();  // ends the thread; nothing is delivered after it
  TAsioNotifier(const TAsioNotifier&) = delete;
  TAsioNotifier& operator=(const TAsioNotifier&) = delete;

  // From operation 4 to operation 5 the callbacks receive what is posted; Detach
  // returns once no delivery is under way. Called on the caller's main thread.
  void Attach(const TAsioCallbacks& callbacks);
  void Detach();

  // Any thread; never blocks. Posts while detached are dropped.
  void PostReset();
  void PostRate(double rate);

private:
  void Run();
  void Deliver();

  TAsioCallbacks target{};
  TAsioGate gate;
  std::atomic<bool> resetPending{false};
  std::atomic<bool> ratePending{false};
  std::atomic<double> rate{0.0};
  std::atomic<bool> quit{false};
  std::counting_semaphore<> wake{0};
  std::thread thread;
};
