#include "TMidiEventQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/Messages.h"

TMidiEventQueue::TMidiEventQueue()
    : ring(ringSlots),
      records(new (std::nothrow) VstMidiEvent[blockEvents]),
      list(new (std::nothrow) VstEventList<blockEvents>) {
  if (!ring.IsValid() || !records || !list) {
    ShowOutOfMemory(EOutOfMemory::Object);
    records.reset();
    list.reset();
    return;
  }
  std::memset(records.get(), 0, sizeof(VstMidiEvent) * blockEvents);
  list->numEvents = 0;
  list->reserved = 0;
  for (int32_t i = 0; i < blockEvents; ++i) {
    VstMidiEvent& record = records[i];
    record.type = kVstMidiType;
    record.byteSize = sizeof(VstMidiEvent) - 2 * sizeof(VstInt32);
    list->events[i] = reinterpret_cast<VstEvent*>(&record);
  }
}

bool TMidiEventQueue::Queue(uint8_t status, uint8_t data1, uint8_t data2) {
  const int32_t offset = eventOffset.load(std::memory_order_relaxed);
  const bool queued = list && ring.TryEmplace([&](TQueued& event) { event = {status, data1, data2, offset}; });
  // Full: the block's events and the carry-over are taken.
  if (!queued) dropped.fetch_add(1, std::memory_order_relaxed);
  return queued;
}

void TMidiEventQueue::SetEventOffset(int32_t frame) {
  int32_t current = eventOffset.load(std::memory_order_relaxed);
  while (frame > current && !eventOffset.compare_exchange_weak(current, frame, std::memory_order_relaxed)) {
  }
}

VstEvents* TMidiEventQueue::Collect() {
  if (!list) return nullptr;
  int32_t count = 0;
  int32_t nextDelta = 0;
  while (count < blockEvents) {
    const TQueued* event = ring.Front();
    if (!event) break;
    VstMidiEvent& record = records[count];
    record.deltaFrames = std::max(nextDelta, event->minDelta);
    nextDelta = record.deltaFrames + 1;
    record.midiData[0] = static_cast<char>(event->status);
    record.midiData[1] = static_cast<char>(event->data1);
    record.midiData[2] = static_cast<char>(event->data2);
    record.midiData[3] = 0;
    ring.Pop();
    ++count;
  }
  list->numEvents = count;
  eventOffset.store(0, std::memory_order_relaxed);
  return list->AsEvents();
}

void TMidiEventQueue::Clear() {
  if (list) list->numEvents = 0;
}

int32_t TMidiEventQueue::GetWaitingCount() const { return static_cast<int32_t>(ring.ApproximateSize()); }
