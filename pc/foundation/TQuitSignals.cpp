#include "TQuitSignals.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>

namespace {
// What the signal handler may touch: lock-free atomics only.
std::atomic<int> signalWakeFd{-1};
std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnQuitSignal(int signal) {
  const int savedErrno = errno;
  pendingSignal.store(signal);
  const int fd = signalWakeFd.load();
  if (fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(fd, &one, sizeof(one));
  }
  errno = savedErrno;
}
}  // namespace

void TQuitSignals::Install(int wakeFd) {
  signalWakeFd.store(wakeFd);
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void TQuitSignals::Release(int wakeFd) {
  int expected = wakeFd;
  signalWakeFd.compare_exchange_strong(expected, -1);
}

bool TQuitSignals::IsInstalledFor(int wakeFd) { return wakeFd >= 0 && signalWakeFd.load() == wakeFd; }

int TQuitSignals::Take() { return pendingSignal.exchange(0); }
