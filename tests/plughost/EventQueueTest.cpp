// The MIDI event queue of one thread: delta frames, offsets, status bytes, the
// carry-over beyond 1000 events and the counted drops.
#include <gtest/gtest.h>

#include "plughost/TMidiEventQueue.h"

namespace {
struct TSeen {
  int32_t delta;
  uint8_t status, data1, data2;
  bool operator==(const TSeen&) const = default;
};

std::vector<TSeen> Collect(TMidiEventQueue& queue) {
  VstEvents* list = queue.Collect();
  std::vector<TSeen> seen;
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const auto* e = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
    EXPECT_EQ(e->type, kVstMidiType);
    EXPECT_EQ(e->byteSize, 24);
    EXPECT_EQ(e->flags, 0);
    EXPECT_EQ(e->noteLength, 0);
    EXPECT_EQ(e->midiData[3], 0);
    seen.push_back({e->deltaFrames, static_cast<uint8_t>(e->midiData[0]), static_cast<uint8_t>(e->midiData[1]),
                    static_cast<uint8_t>(e->midiData[2])});
  }
  queue.Clear();
  return seen;
}

TEST(EventQueueTest, DeltaFramesCountPerBlockAndStartAgainAfterTheFlush) {
  TMidiEventQueue queue;
  queue.Queue(0x90, 36, 100);
  queue.Queue(0x80, 36, 0);
  queue.Queue(0xB3, 7, 127);
  EXPECT_EQ(Collect(queue), (std::vector<TSeen>{{0, 0x90, 36, 100}, {1, 0x80, 36, 0}, {2, 0xB3, 7, 127}}));
  queue.Queue(0x91, 40, 1);
  EXPECT_EQ(Collect(queue), (std::vector<TSeen>{{0, 0x91, 40, 1}}));
  EXPECT_TRUE(Collect(queue).empty());
  EXPECT_EQ(queue.GetListCount(), 0);
}

TEST(EventQueueTest, AnOffsetRaisesTheDeltasOfLaterEventsUntilTheFlush) {
  TMidiEventQueue queue;
  queue.Queue(0x90, 1, 1);
  queue.SetEventOffset(50);
  queue.Queue(0x90, 2, 1);
  queue.Queue(0x90, 3, 1);
  queue.SetEventOffset(10);  // smaller: the counter stays
  queue.Queue(0x90, 4, 1);
  const auto seen = Collect(queue);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].delta, 0);
  EXPECT_EQ(seen[1].delta, 50);
  EXPECT_EQ(seen[2].delta, 51);
  EXPECT_EQ(seen[3].delta, 52);
  queue.Queue(0x90, 5, 1);
  EXPECT_EQ(Collect(queue)[0].delta, 0);
}

TEST(EventQueueTest, EventsBeyondABlocksThousandWaitInOrderAndOnlyAFullRingDrops) {
  TMidiEventQueue queue;
  const int32_t total = static_cast<int32_t>(TMidiEventQueue::ringSlots) + 5;
  int32_t accepted = 0;
  for (int32_t i = 0; i < total; ++i) accepted += queue.Queue(0x90, static_cast<uint8_t>(i & 0x7F), static_cast<uint8_t>((i >> 7) & 0x7F)) ? 1 : 0;
  EXPECT_EQ(accepted, static_cast<int32_t>(TMidiEventQueue::ringSlots));
  EXPECT_EQ(queue.GetDroppedCount(), 5);
  int32_t next = 0;
  while (next < accepted) {
    const auto seen = Collect(queue);
    ASSERT_FALSE(seen.empty());
    ASSERT_LE(seen.size(), 1000u);
    for (size_t i = 0; i < seen.size(); ++i, ++next) {
      EXPECT_EQ(seen[i].delta, static_cast<int32_t>(i));
      EXPECT_EQ(seen[i].data1 | seen[i].data2 << 7, next);
    }
  }
  EXPECT_TRUE(Collect(queue).empty());
  // The ring takes events again once it was emptied.
  EXPECT_TRUE(queue.Queue(0x80, 1, 2));
  EXPECT_EQ(Collect(queue).size(), 1u);
}
}  // namespace
