#include "TMidiEventQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/Messages.h"

TMidiEventQueue::TMidiEventQueue()
    : slots(new (std::nothrow) TSlot[ringSlots]),
      records(new (std::nothrow) VstMidiEvent[blockEvents]),
      list(new (std::nothrow) VstEventList<blockEvents>) {
  if (!slots || !records || !list) {
    ShowOutOfMemory(EOutOfMemory::Object);
    slots.reset();
    records.reset();
    list.reset();
    return;
  }
  for (uint32_t i = 0; i < ringSlots; ++i) slots[i].sequence.store(i, std::memory_order_relaxed);
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
  if (!slots) {
    dropped.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  uint32_t position = enqueuePos.load(std::memory_order_relaxed);
  TSlot* slot;
  for (;;) {
    slot = &slots[position & (ringSlots - 1)];
    const uint32_t sequence = slot->sequence.load(std::memory_order_acquire);
    const int32_t difference = static_cast<int32_t>(sequence - position);
    if (difference == 0) {
      if (enqueuePos.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
    } else if (difference < 0) {
      dropped.fetch_add(1, std::memory_order_relaxed);
      return false;  // full: the block's events and the carry-over are taken
    } else {
      position = enqueuePos.load(std::memory_order_relaxed);
    }
  }
  slot->status = status;
  slot->data1 = data1;
  slot->data2 = data2;
  slot->minDelta = eventOffset.load(std::memory_order_relaxed);
  slot->sequence.store(position + 1, std::memory_order_release);
  return true;
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
  uint32_t position = dequeuePos.load(std::memory_order_relaxed);
  while (count < blockEvents) {
    TSlot& slot = slots[position & (ringSlots - 1)];
    const uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (static_cast<int32_t>(sequence - (position + 1)) < 0) break;  // not yet published
    VstMidiEvent& record = records[count];
    record.deltaFrames = std::max(nextDelta, slot.minDelta);
    nextDelta = record.deltaFrames + 1;
    record.midiData[0] = static_cast<char>(slot.status);
    record.midiData[1] = static_cast<char>(slot.data1);
    record.midiData[2] = static_cast<char>(slot.data2);
    record.midiData[3] = 0;
    slot.sequence.store(position + ringSlots, std::memory_order_release);
    ++position;
    ++count;
  }
  dequeuePos.store(position, std::memory_order_relaxed);
  list->numEvents = count;
  eventOffset.store(0, std::memory_order_relaxed);
  return list->AsEvents();
}

void TMidiEventQueue::Clear() {
  if (list) list->numEvents = 0;
}

int32_t TMidiEventQueue::GetWaitingCount() const {
  const uint32_t queued = enqueuePos.load(std::memory_order_relaxed);
  return static_cast<int32_t>(queued - dequeuePos.load(std::memory_order_relaxed));
}
