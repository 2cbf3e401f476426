// The heap behind IHeap. Every block carries a header that links it into the
// heap's own list, so destroying the heap frees all of them.
#pragma once
#include <mutex>

#include "IHeap.h"

class THeap : public TBase, public IHeap {
public:
  explicit THeap(size_t maximumSize);
  ~THeap() override;
  THeap(const THeap&) = delete;
  THeap& operator=(const THeap&) = delete;

  void* Alloc(size_t bytes) override;
  void Free(void* pointer) override;
  size_t GetUsed() const override;
  size_t GetMaximum() const override { return maximum; }

private:
  struct alignas(std::max_align_t) THeader {
    THeader* next;
    THeader* prev;
    const THeap* owner;
    size_t bytes;
  };

  const size_t maximum;
  mutable std::mutex mutex;
  THeader* blocks = nullptr;
  size_t used = 0;
};
