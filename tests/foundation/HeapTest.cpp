#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/DCriticalSection.h"
#include "foundation/IHeap.h"

namespace {
TEST(Heap, HonoursItsMaximum) {
  EPtr<IHeap> heap(IHeap::Create(1000));
  ASSERT_TRUE(heap);
  EXPECT_EQ(heap->GetMaximum(), 1000u);
  void* a = heap->Alloc(600);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(heap->Alloc(500), nullptr) << "600 + 500 exceeds the maximum";
  void* b = heap->Alloc(400);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(heap->GetUsed(), 1000u);
  EXPECT_EQ(heap->Alloc(1), nullptr);
  heap->Free(a);
  EXPECT_EQ(heap->GetUsed(), 400u);
  EXPECT_NE(heap->Alloc(600), nullptr) << "freed room is usable again";
  EXPECT_EQ(heap->Alloc(std::numeric_limits<size_t>::max()), nullptr);
}

TEST(Heap, ZeroMaximumGrowsAndBlocksAreAlignedAndUsable) {
  EPtr<IHeap> heap(IHeap::Create(0));
  std::vector<void*> blocks;
  for (int i = 0; i < 100; ++i) {
    void* block = heap->Alloc(100000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, i, 100000);
    blocks.push_back(block);
  }
  EXPECT_EQ(heap->GetUsed(), 100u * 100000u);
  EXPECT_EQ(static_cast<uint8_t*>(blocks[42])[99999], 42);
  EXPECT_EQ(heap->Alloc(std::numeric_limits<size_t>::max() - 8), nullptr);
}

// Releasing the heap frees what is still taken from it (the address sanitizer
// build reports a leak otherwise); freeing foreign or null pointers is ignored.
TEST(Heap, ReleaseFreesEverythingAndForeignPointersAreIgnored) {
  IHeap* first = IHeap::Create(0);
  IHeap* second = IHeap::Create(0);
  void* mine = first->Alloc(64);
  void* theirs = second->Alloc(64);
  for (int i = 0; i < 50; ++i) first->Alloc(1000 + i);
  first->Free(theirs);
  first->Free(nullptr);
  EXPECT_EQ(second->GetUsed(), 64u);
  first->Free(mine);
  first->Free(first->Alloc(0));
  EXPECT_EQ(first->GetUsed(), 50u * 1000u + 49u * 50u / 2u);
  first->Release();
  second->Release();
}

TEST(CriticalSection, IsRecursiveForItsOwner) {
  EPtr<ICriticalSection> lock(ICriticalSection::Create());
  ASSERT_TRUE(lock);
  lock->Lock();
  lock->Lock();
  {
    TLockScope scope(*lock);
  }
  lock->Unlock();
  lock->Unlock();
  DCriticalSection plain;
  std::lock_guard<DCriticalSection> hold(plain);
  EXPECT_TRUE(plain.try_lock());
  plain.unlock();
}
}  // namespace
