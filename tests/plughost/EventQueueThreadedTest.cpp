// The event queue between two writing threads and the audio thread: every event is
// handed over whole, once, in each writer's order, and none is lost while the ring
// has room.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plughost/TMidiEventQueue.h"

namespace {
TEST(EventQueueThreadedTest, TwoWritersAndTheAudioThreadLoseNothing) {
  TMidiEventQueue queue;
  constexpr int32_t perWriter = 20000;
  std::atomic<int64_t> refused{0};
  auto writer = [&](uint8_t status) {
    for (int32_t i = 0; i < perWriter; ++i) {
      while (!queue.Queue(status, static_cast<uint8_t>(i & 0x7F), static_cast<uint8_t>((i >> 7) & 0x7F))) {
        refused.fetch_add(1);  // full: the audio thread has not caught up yet
        std::this_thread::yield();
      }
    }
  };
  std::thread first(writer, 0x90);
  std::thread second(writer, 0x91);
  int32_t expected[2] = {0, 0};
  int32_t received = 0;
  while (received < 2 * perWriter) {
    VstEvents* list = queue.Collect();
    for (int32_t i = 0; i < list->numEvents; ++i) {
      const auto* e = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
      const int writerIndex = static_cast<uint8_t>(e->midiData[0]) - 0x90;
      ASSERT_TRUE(writerIndex == 0 || writerIndex == 1);
      const int32_t value = static_cast<uint8_t>(e->midiData[1]) | static_cast<uint8_t>(e->midiData[2]) << 7;
      ASSERT_EQ(value, expected[writerIndex] & 0x3FFF);
      ASSERT_EQ(e->deltaFrames, i);
      ++expected[writerIndex];
      ++received;
    }
    queue.Clear();
    if (list->numEvents == 0) std::this_thread::yield();
  }
  first.join();
  second.join();
  EXPECT_EQ(expected[0], perWriter);
  EXPECT_EQ(expected[1], perWriter);
  // Every refusal was counted, and only refusals.
  EXPECT_EQ(queue.GetDroppedCount(), refused.load());
}
}  // namespace
