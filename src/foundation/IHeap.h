// A private heap: everything taken from it is freed when the heap is released.
#pragma once
#include <cstddef>
#include <cstdint>

#include "Base.h"

class IHeap : public virtual IBase {
public:
  static constexpr size_t initialSize = 100000;

  // maximumSize 0 makes the heap growable without limit. Failure: "Out of Memory !!!"
  // and null.
  static IHeap* Create(size_t maximumSize);

  // Null when the heap's maximum would be exceeded or the system has no memory.
  virtual void* Alloc(size_t bytes) = 0;
  // Null and pointers of other heaps are ignored.
  virtual void Free(void* pointer) = 0;
  // Bytes handed out and not freed.
  virtual size_t GetUsed() const = 0;
  virtual size_t GetMaximum() const = 0;
};
