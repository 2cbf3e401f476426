#include "TFileRequests.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "Messages.h"

namespace {
enum ESlotState : int32_t { Free, QueuedWrite, QueuedRead, RunningWrite, RunningRead, Cancelled };

ESlotState Queued(EFileRequest kind) { return kind == EFileRequest::Read ? QueuedRead : QueuedWrite; }
ESlotState Running(EFileRequest kind) { return kind == EFileRequest::Read ? RunningRead : RunningWrite; }

// One request. `sequence` orders the ring (bounded multi-producer queue); `state`
// and `owner` can be read by any thread at any time.
struct TSlot {
  std::atomic<uint64_t> sequence{0};
  std::atomic<int32_t> state{Free};
  std::atomic<const void*> owner{nullptr};
  TFileHandle handle = invalidFileHandle;
  void* buffer = nullptr;
  int64_t bytes = 0;
};
}  // namespace

struct TFileRequests::TImpl {
  TSlot slots[capacity];
  std::atomic<uint64_t> enqueuePosition{0};
  uint64_t dequeuePosition = 0;  // the background thread's own
  // Auto-reset event: every queued request bumps it; the thread waits for a change.
  std::atomic<uint32_t> event{0};
  // Bumped after every request the thread finished, for the callers that wait.
  std::atomic<uint32_t> completed{0};

  TImpl() {
    for (uint64_t i = 0; i < capacity; ++i) slots[i].sequence.store(i, std::memory_order_relaxed);
  }

  void Loop() {
    while (true) {
      const uint32_t seen = event.load(std::memory_order_acquire);
      while (TakeOne()) {
      }
      event.wait(seen, std::memory_order_acquire);
    }
  }

  bool TakeOne() {
    TSlot& slot = slots[dequeuePosition % capacity];
    if (slot.sequence.load(std::memory_order_acquire) != dequeuePosition + 1) return false;
    int32_t state = slot.state.load(std::memory_order_acquire);
    if ((state == QueuedWrite || state == QueuedRead) &&
        slot.state.compare_exchange_strong(state, state == QueuedRead ? RunningRead : RunningWrite,
                                           std::memory_order_acq_rel)) {
      Perform(slot, state == QueuedRead ? EFileRequest::Read : EFileRequest::Write);
    }
    slot.owner.store(nullptr, std::memory_order_relaxed);
    slot.state.store(Free, std::memory_order_release);
    slot.sequence.store(dequeuePosition + capacity, std::memory_order_release);
    ++dequeuePosition;
    completed.fetch_add(1, std::memory_order_acq_rel);
    completed.notify_all();
    return true;
  }

  static void Perform(TSlot& slot, EFileRequest kind) {
    if (slot.handle == invalidFileHandle) return;
    IFileSystem& files = GetFileSystem();
    int error = 0;
    auto* data = static_cast<uint8_t*>(slot.buffer);
    int64_t done = 0;
    while (done < slot.bytes) {
      const int64_t moved = kind == EFileRequest::Read ? files.Read(slot.handle, data + done, slot.bytes - done, error)
                                                       : files.Write(slot.handle, data + done, slot.bytes - done, error);
      if (moved <= 0) return;  // end of file or a failed transfer
      done += moved;
    }
  }

  bool HasActive(const void* owner) const {
    for (const TSlot& slot : slots) {
      const int32_t state = slot.state.load(std::memory_order_acquire);
      if (state != Free && state != Cancelled && slot.owner.load(std::memory_order_acquire) == owner) return true;
    }
    return false;
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
  uint64_t position = impl->enqueuePosition.load(std::memory_order_relaxed);
  TSlot* slot;
  while (true) {
    slot = &impl->slots[position % capacity];
    const uint64_t sequence = slot->sequence.load(std::memory_order_acquire);
    if (sequence == position) {
      if (impl->enqueuePosition.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
    } else if (sequence < position) {
      return false;  // full
    } else {
      position = impl->enqueuePosition.load(std::memory_order_relaxed);
    }
  }
  slot->handle = handle;
  slot->buffer = buffer;
  slot->bytes = bytes;
  slot->owner.store(owner, std::memory_order_relaxed);
  slot->state.store(Queued(kind), std::memory_order_release);
  slot->sequence.store(position + 1, std::memory_order_release);
  impl->event.fetch_add(1, std::memory_order_acq_rel);
  impl->event.notify_one();
  return true;
}

bool TFileRequests::IsPending(const void* owner, EFileRequest kind) const {
  for (const TSlot& slot : impl->slots) {
    const int32_t state = slot.state.load(std::memory_order_acquire);
    if ((state == Queued(kind) || state == Running(kind)) && slot.owner.load(std::memory_order_acquire) == owner)
      return true;
  }
  return false;
}

void TFileRequests::Cancel(const void* owner) {
  for (TSlot& slot : impl->slots) {
    if (slot.owner.load(std::memory_order_acquire) != owner) continue;
    int32_t state = slot.state.load(std::memory_order_acquire);
    if (state == QueuedWrite || state == QueuedRead)
      slot.state.compare_exchange_strong(state, Cancelled, std::memory_order_acq_rel);
  }
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
