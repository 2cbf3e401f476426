#include <atomic>

#include "IThreadScheduler.h"

namespace {
class TNoThreadScheduler : public IThreadScheduler {
public:
  bool SetThreadPriority(std::thread::native_handle_type, EThreadPriority) override { return false; }
  bool SetCurrentThreadPriority(EThreadPriority) override { return false; }
  bool SetProcessPriority(EProcessPriority) override { return false; }
};

TNoThreadScheduler noScheduler;
std::atomic<IThreadScheduler*> installed{nullptr};
}  // namespace

IThreadScheduler* SetThreadScheduler(IThreadScheduler* scheduler) { return installed.exchange(scheduler); }

IThreadScheduler& GetThreadScheduler() {
  IThreadScheduler* current = installed.load();
  return current ? *current : noScheduler;
}

bool SetCurrentThreadPriority(EThreadPriority priority) { return GetThreadScheduler().SetCurrentThreadPriority(priority); }
bool SetProcessPriority(EProcessPriority priority) { return GetThreadScheduler().SetProcessPriority(priority); }
