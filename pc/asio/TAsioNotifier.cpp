#include "TAsioNotifier.h"

namespace {
thread_local bool libraryThread = false;
}

bool OnLibraryThread() { return libraryThread; }
void MarkLibraryThread() { libraryThread = true; }

TLibraryCallback::TLibraryCallback() : before(libraryThread) { libraryThread = true; }
TLibraryCallback::~TLibraryCallback() { libraryThread = before; }

TAsioNotifier::TAsioNotifier() : thread([this] { Run(); }) {}

TAsioNotifier::~TAsioNotifier() {
  gate.Shut();
  quit.store(true, std::memory_order_release);
  wake.release();
  thread.join();
}

void TAsioNotifier::Attach(const TAsioCallbacks& callbacks) {
  gate.Shut();
  target = callbacks;
  resetPending.store(false, std::memory_order_relaxed);
  ratePending.store(false, std::memory_order_relaxed);
  gate.Open();
}

void TAsioNotifier::Detach() { gate.Shut(); }

void TAsioNotifier::PostReset() {
  if (!gate.IsOpen()) return;
  resetPending.store(true, std::memory_order_release);
  wake.release();
}

void TAsioNotifier::PostRate(double newRate) {
  if (!gate.IsOpen()) return;
  rate.store(newRate, std::memory_order_relaxed);
  ratePending.store(true, std::memory_order_release);
  wake.release();
}

void TAsioNotifier::Run() {
  MarkLibraryThread();
  while (!quit.load(std::memory_order_acquire)) {
    wake.acquire();
    Deliver();
  }
}

void TAsioNotifier::Deliver() {
  TAsioGate::TPass pass(gate);
  if (!pass) return;
  if (ratePending.exchange(false, std::memory_order_acq_rel) && target.sampleRateChanged)
    target.sampleRateChanged(rate.load(std::memory_order_relaxed));
  if (resetPending.exchange(false, std::memory_order_acq_rel) && target.message)
    target.message(Asio::resetRequest, 0, nullptr, nullptr);
}
