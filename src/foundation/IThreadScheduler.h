// Thread and process priorities as the model side sees them. The platform side
// installs its scheduler; without one, priorities stay as they are.
#pragma once
#include <thread>

enum class EThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };
enum class EProcessPriority { Normal, High, Realtime };

class IThreadScheduler {
public:
  virtual ~IThreadScheduler() = default;
  // Each answers whether the system granted the priority; a refusal leaves the
  // priority as it was and is not an error.
  virtual bool SetThreadPriority(std::thread::native_handle_type thread, EThreadPriority priority) = 0;
  virtual bool SetCurrentThreadPriority(EThreadPriority priority) = 0;
  virtual bool SetProcessPriority(EProcessPriority priority) = 0;
};

// Installs the scheduler used from now on (null: none). Answers the previous one.
IThreadScheduler* SetThreadScheduler(IThreadScheduler* scheduler);
IThreadScheduler& GetThreadScheduler();
// The current thread's priority through the installed scheduler.
bool SetCurrentThreadPriority(EThreadPriority priority);
bool SetProcessPriority(EProcessPriority priority);
