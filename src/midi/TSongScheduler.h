// Drives the MIDI file player from the audio thread, once per block: a running MIDI
// clock count advances by the block's frames at the clock's tempo (120 BPM until an
// external clock was measured), or, with the player's sync switch on, by the timing
// clocks that arrived; every batch whose time falls inside the block is played with
// the plug-in's event offset set to the batch's frame, so that file events reach the
// plug-in sample-accurately. Nothing here allocates, locks or waits.
#pragma once
#include <atomic>
#include <cstdint>

#include "TMFPlayer.h"
#include "TMidiClock.h"

// Where the batch's frame inside the block is set: the plug-in's event queue.
class IEventOffsetTarget {
public:
  virtual ~IEventOffsetTarget() = default;
  virtual void SetEventOffset(int32_t frame) = 0;
};

class TSongScheduler {
public:
  static constexpr float defaultTempo = 120.0f;
  static constexpr float defaultSampleRate = 44100.0f;
  // Bounds the work of one block (a very short song looping very fast).
  static constexpr int32_t maxBatchesPerBlock = 256;

  TSongScheduler(IMFPlayer& player, IMFPlayerHost& host, IEventOffsetTarget* target);

  // Without a clock the tempo is 120 BPM at 44100 Hz and sync has nothing to follow.
  void SetClock(IMidiClock* clock) { this->clock.store(clock, std::memory_order_release); }
  void SetTarget(IEventOffsetTarget* target) { this->target.store(target, std::memory_order_release); }

  // The audio thread, once per block, before the block's events go to the plug-in.
  void ProcessBlock(int32_t frames);

  // The running count in MIDI clocks (the scheduler's thread).
  double GetPosition() const { return position; }

private:
  void Resync(IMidiClock* clock);

  IMFPlayer& player;
  IMFPlayerHost& host;
  std::atomic<IEventOffsetTarget*> target;
  std::atomic<IMidiClock*> clock{nullptr};
  // The scheduler's thread only.
  double position = 0.0;
  bool playing = false;
  bool syncing = false;
  uint32_t seenRepositions = 0;
  uint32_t lastTotalClocks = 0;
  int32_t lastClockCount = 0;
};
