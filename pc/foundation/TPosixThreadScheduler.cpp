#include "TPosixThreadScheduler.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

int TPosixThreadScheduler::FifoPriority(EThreadPriority priority) {
  switch (priority) {
    case EThreadPriority::AboveNormal: return 10;
    case EThreadPriority::Highest: return 70;
    case EThreadPriority::TimeCritical: return 80;
    default: return 0;
  }
}

bool TPosixThreadScheduler::SetThreadPriority(std::thread::native_handle_type thread, EThreadPriority priority) {
  sched_param param{};
  const int fifo = FifoPriority(priority);
  if (fifo == 0) return pthread_setschedparam(thread, SCHED_OTHER, &param) == 0;
  param.sched_priority = fifo;
  // Refused without the right to real-time scheduling: the thread keeps its priority.
  return pthread_setschedparam(thread, SCHED_FIFO, &param) == 0;
}

bool TPosixThreadScheduler::SetCurrentThreadPriority(EThreadPriority priority) {
  return SetThreadPriority(pthread_self(), priority);
}

bool TPosixThreadScheduler::SetProcessPriority(EProcessPriority priority) {
  // The process class maps to its nice value; raising it needs the right to do so.
  const int nice = priority == EProcessPriority::Normal ? 0 : priority == EProcessPriority::High ? -5 : -10;
  return setpriority(PRIO_PROCESS, 0, nice) == 0;
}
