// The process-wide queue of asynchronous file requests and its one background
// thread. Callers never allocate, lock or wait: the queue is a fixed ring of
// request slots taken with atomic operations, and the thread is woken through an
// atomic counter that acts as an auto-reset event.
#pragma once
#include <cstdint>

#include "IFileSystem.h"

enum class EFileRequest : int32_t { Write = 0, Read = 1 };

class TFileRequests {
public:
  static constexpr int32_t capacity = 256;

  // Starts the background thread on first use; a failure raises ThrowSystemError.
  static TFileRequests& Get();

  // Answers false when the ring is full.
  bool Queue(const void* owner, TFileHandle handle, void* buffer, int64_t bytes, EFileRequest kind);
  bool IsPending(const void* owner, EFileRequest kind) const;
  // Drops the owner's queued requests.
  void Cancel(const void* owner);
  // Drops the owner's queued requests and waits until none of them is in progress.
  void CancelAndWait(const void* owner);
  // Waits until the owner has no request queued or in progress (tests, shutdown).
  void WaitIdle(const void* owner);

private:
  TFileRequests();
  struct TImpl;
  TImpl* impl;
};
