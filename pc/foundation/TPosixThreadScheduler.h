// Thread priorities on POSIX: the raised priorities map to SCHED_FIFO where the
// process may use it; where it may not, the thread keeps its normal scheduling
// and nothing is reported.
#pragma once
#include "foundation/IThreadScheduler.h"

class TPosixThreadScheduler : public IThreadScheduler {
public:
  bool SetThreadPriority(std::thread::native_handle_type thread, EThreadPriority priority) override;
  bool SetCurrentThreadPriority(EThreadPriority priority) override;
  bool SetProcessPriority(EProcessPriority priority) override;

  // The SCHED_FIFO priority for a raised priority, 0 for the normal policy.
  static int FifoPriority(EThreadPriority priority);
};
