#include "THeap.h"

#include <cstdlib>
#include <limits>

#include "Messages.h"

IHeap* IHeap::Create(size_t maximumSize) { return CreateOrReport<THeap>(maximumSize); }

THeap::THeap(size_t maximumSize) : maximum(maximumSize) {}

THeap::~THeap() {
  THeader* block = blocks;
  while (block) {
    THeader* next = block->next;
    std::free(block);
    block = next;
  }
}

void* THeap::Alloc(size_t bytes) {
  if (bytes > std::numeric_limits<size_t>::max() - sizeof(THeader)) return nullptr;
  std::lock_guard<std::mutex> hold(mutex);
  if (maximum != 0 && (bytes > maximum || used > maximum - bytes)) return nullptr;
  auto* block = static_cast<THeader*>(std::malloc(sizeof(THeader) + bytes));
  if (!block) return nullptr;
  block->next = blocks;
  block->prev = nullptr;
  block->owner = this;
  block->bytes = bytes;
  if (blocks) blocks->prev = block;
  blocks = block;
  used += bytes;
  return block + 1;
}

void THeap::Free(void* pointer) {
  if (!pointer) return;
  THeader* block = static_cast<THeader*>(pointer) - 1;
  std::lock_guard<std::mutex> hold(mutex);
  if (block->owner != this) return;
  if (block->prev)
    block->prev->next = block->next;
  else
    blocks = block->next;
  if (block->next) block->next->prev = block->prev;
  used -= block->bytes;
  block->owner = nullptr;
  std::free(block);
}

size_t THeap::GetUsed() const {
  std::lock_guard<std::mutex> hold(mutex);
  return used;
}
