// The plug-in's MIDI event queue. The MIDI thread and the user-interface thread
// queue events; the audio thread collects them once per block into the event list
// that effProcessEvents hands to the plug-in.
//
// Hand-over: a bounded ring of slots, each published by a sequence number. A
// producer claims a slot with one compare-and-swap, fills it and publishes it; the
// audio thread takes published slots in order and never waits or locks. An event
// is taken whole into one block or stays for the next. A block takes at most 1000
// events; the rest wait, in order, for the following blocks. Only when the ring is
// full is an event dropped, and every drop is counted.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "foundation/ELockFreeRing.h"
#include "vst2/Vst2.h"

class TMidiEventQueue {
public:
  static constexpr int32_t blockEvents = 1000;
  // The block's events and the carry-over; a power of two.
  static constexpr uint32_t ringSlots = 4096;

  TMidiEventQueue();
  TMidiEventQueue(const TMidiEventQueue&) = delete;
  TMidiEventQueue& operator=(const TMidiEventQueue&) = delete;

  // Any thread; constant time, no allocation. False when the event was dropped.
  bool Queue(uint8_t status, uint8_t data1, uint8_t data2);
  // Events queued from now on until the next collect get at least this delta frame.
  void SetEventOffset(int32_t frame);

  // Audio thread: fills the block's list with up to 1000 events, delta frames 0, 1,
  // 2, ... in order (raised by the offsets), and starts the counting anew.
  VstEvents* Collect();
  // Audio thread: the list is empty again.
  void Clear();

  VstEvents* GetList() { return list ? list->AsEvents() : nullptr; }
  int32_t GetListCount() const { return list ? list->numEvents : 0; }
  // Queued and not yet collected (an estimate while producers run).
  int32_t GetWaitingCount() const;
  int64_t GetDroppedCount() const { return dropped.load(std::memory_order_relaxed); }

private:
  struct TQueued {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    int32_t minDelta = 0;
  };

  ELockFreeRing<TQueued> ring;
  std::unique_ptr<VstMidiEvent[]> records;
  std::unique_ptr<VstEventList<blockEvents>> list;
  std::atomic<int32_t> eventOffset{0};
  std::atomic<int64_t> dropped{0};
};
