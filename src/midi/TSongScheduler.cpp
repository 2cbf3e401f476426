#include "TSongScheduler.h"

#include <algorithm>

TSongScheduler::TSongScheduler(IMFPlayer& filePlayer, IMFPlayerHost& playerHost, IEventOffsetTarget* eventTarget)
    : player(filePlayer), host(playerHost), target(eventTarget) {}

// Playback (re)starts where the player stands: its next batch is due now.
void TSongScheduler::Resync(IMidiClock* source) {
  seenRepositions = player.GetRepositionCount();
  player.ComputeNext();
  position = player.GetNextTime();
  if (source) {
    lastTotalClocks = source->GetTotalClocks();
    lastClockCount = source->GetClockCount();
  }
}

void TSongScheduler::ProcessBlock(int32_t frames) {
  if (frames <= 0) return;
  if (!host.IsPlaybackOn() || !host.IsHostReady()) {
    playing = false;
    return;
  }
  IMidiClock* source = clock.load(std::memory_order_acquire);
  if (!playing || player.GetRepositionCount() != seenRepositions) {
    Resync(source);
    playing = true;
  }
  const bool sync = source && player.GetSyncFlag();
  if (sync && !syncing) {
    lastTotalClocks = source->GetTotalClocks();
    lastClockCount = source->GetClockCount();
  }
  syncing = sync;

  double advance = 0.0;
  double clocksPerFrame = 0.0;
  if (syncing) {
    const uint32_t total = source->GetTotalClocks();
    const int32_t count = source->GetClockCount();
    if (count < lastClockCount) {
      // A start message: the song begins again with the sequencer.
      player.Rewind();
      position = player.GetNextTime();
      advance = count;
    } else {
      advance = static_cast<double>(total - lastTotalClocks);
    }
    lastTotalClocks = total;
    lastClockCount = count;
  } else {
    const double tempo = source ? source->GetTempo() : defaultTempo;
    const double rate = source ? source->GetSampleRate() : defaultSampleRate;
    clocksPerFrame = tempo * TMidiClock::clocksPerQuarter / 60.0 / rate;
    advance = frames * clocksPerFrame;
  }

  const double end = position + advance;
  IEventOffsetTarget* events = target.load(std::memory_order_acquire);
  for (int32_t batch = 0; batch < maxBatchesPerBlock; ++batch) {
    const double due = player.GetNextTime();
    if (!(due < end)) break;
    int32_t frame = 0;
    if (clocksPerFrame > 0.0 && due > position)
      frame = std::min(frames - 1, static_cast<int32_t>((due - position) / clocksPerFrame));
    if (events) events->SetEventOffset(frame);
    player.Process();
    if (!host.IsPlaybackOn()) {
      playing = false;  // the song ended
      break;
    }
    // Held by the user-interface side for the moment, or nothing further to play.
    if (!(player.GetNextTime() > due)) break;
  }
  position = end;
}
