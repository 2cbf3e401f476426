#include "TFileRequests.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "ELockFreeRing.h"
#include "Messages.h"

namespace {
enum ESlotState : int32_t { Free, QueuedWrite, QueuedRead, RunningWrite, RunningRead, Cancelled };

ESlotState Queued(EFileRequest kind) { return kind == EFileRequest::Read ? QueuedRead : QueuedWrite; }
ESlotState Running(EFileRequest kind) { return kind == EFileRequest::Read ? RunningRead : RunningWrite; }

// One request. `state` and `owner` can be read by any thread at any time.
struct TRequest {
  std::atomic<int32_t> state{Free};
  std::atomic<const void*> owner{nullptr};
  TFileHandle handle = invalidFileHandle;
  void* buffer = nullptr;
  int64_t bytes = 0;
};
}  // namespace

struct TFileRequests::TImpl {
  ELockFreeRing<TRequest> ring{capacity};
  // Auto-reset event: every queued request bumps it; the thread waits for a change.
  std::atomic<uint32_t> event{0};
  // Bumped after every request the thread finished, for the callers that wait.
  std::atomic<uint32_t> completed{0};

  void Loop() {
    while (true) {
      const uint32_t seen = event.load(std::memory_order_acquire);
      while (TakeOne()) {
      }
      event.wait(seen, std::memory_order_acquire);
    }
  }

  // The request stays in its slot while it runs, so that IsPending sees it.
  bool TakeOne() {
    TRequest* request = ring.Front();
    if (!request) return false;
    int32_t state = request->state.load(std::memory_order_acquire);
    if ((state == QueuedWrite || state == QueuedRead) &&
        request->state.compare_exchange_strong(state, state == QueuedRead ? RunningRead : RunningWrite,
                                               std::memory_order_acq_rel)) {
      Perform(*request, state == QueuedRead ? EFileRequest::Read : EFileRequest::Write);
    }
    request->owner.store(nullptr, std::memory_order_relaxed);
    request->state.store(Free, std::memory_order_release);
    ring.Pop();
    completed.fetch_add(1, std::memory_order_acq_rel);
    completed.notify_all();
    return true;
  }

  static void Perform(TRequest& request, EFileRequest kind) {
    if (request.handle == invalidFileHandle) return;
    IFileSystem& files = GetFileSystem();
    int error = 0;
    auto* data = static_cast<uint8_t*>(request.buffer);
    int64_t done = 0;
    while (done < request.bytes) {
      const int64_t moved = kind == EFileRequest::Read
                                ? files.Read(request.handle, data + done, request.bytes - done, error)
                                : files.Write(request.handle, data + done, request.bytes - done, error);
      if (moved <= 0) return;  // end of file or a failed transfer
      done += moved;
    }
  }

  template <typename F>
  bool AnyOf(F&& test) const {
    bool found = false;
    ring.ForEachSlot([&](const TRequest& request) { found = found || test(request); });
    return found;
  }

  bool HasActive(const void* owner) const {
    return AnyOf([owner](const TRequest& request) {
      const int32_t state = request.state.load(std::memory_order_acquire);
      return state != Free && state != Cancelled && request.owner.load(std::memory_order_acquire) == owner;
    });
  }
};

// Never destroyed: files that outlive static destruction may still close, and the
// thread loops until the process ends.
TFileRequests& TFileRequests::Get() {
  static TFileRequests* requests = new TFileRequests;
  return *requests;
}

TFileRequests::TFileRequests() : impl(new TImpl) {
  try {
    std::thread([impl = impl] { impl->Loop(); }).detach();
  } catch (const std::system_error& error) {
    delete impl;
    impl = nullptr;
    ThrowSystemError(error.code().value());
  }
}

bool TFileRequests::Queue(const void* owner, TFileHandle handle, void* buffer, int64_t bytes, EFileRequest kind) {
  const bool queued = impl->ring.TryEmplace([&](TRequest& request) {
    request.handle = handle;
    request.buffer = buffer;
    request.bytes = bytes;
    request.owner.store(owner, std::memory_order_relaxed);
    request.state.store(Queued(kind), std::memory_order_release);
  });
  if (!queued) return false;  // full
  impl->event.fetch_add(1, std::memory_order_acq_rel);
  impl->event.notify_one();
  return true;
}

bool TFileRequests::IsPending(const void* owner, EFileRequest kind) const {
  return impl->AnyOf([owner, kind](const TRequest& request) {
    const int32_t state = request.state.load(std::memory_order_acquire);
    return (state == Queued(kind) || state == Running(kind)) && request.owner.load(std::memory_order_acquire) == owner;
  });
}

void TFileRequests::Cancel(const void* owner) {
  impl->ring.ForEachSlot([owner](TRequest& request) {
    if (request.owner.load(std::memory_order_acquire) != owner) return;
    int32_t state = request.state.load(std::memory_order_acquire);
    if (state == QueuedWrite || state == QueuedRead)
      request.state.compare_exchange_strong(state, Cancelled, std::memory_order_acq_rel);
  });
}

void TFileRequests::CancelAndWait(const void* owner) {
  Cancel(owner);
  WaitIdle(owner);
}

void TFileRequests::WaitIdle(const void* owner) {
  while (true) {
    const uint32_t seen = impl->completed.load(std::memory_order_acquire);
    if (!impl->HasActive(owner)) return;
    impl->completed.wait(seen, std::memory_order_acquire);
  }
}
