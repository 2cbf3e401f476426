// The ensemble as the MIDI file playback reaches it: the song's events enter the
// ensemble's MIDI entry like input events, their frames go to the plug-in's event
// queue, the tempo comes from the ensemble's clock, and the song plays only into a
// loaded plug-in.
#pragma once
#include <cstdint>

#include "IMidiInOut.h"
#include "TSongScheduler.h"

class IMidiClock;

class ISongHost : public virtual IMidiHost, public IEventOffsetTarget {
public:
  // The scheduler's thread (the audio thread): whether a loaded plug-in takes events.
  virtual bool IsPlugReady() = 0;
  // The scheduler's thread, at each block: the clock the song follows (null: 120 BPM).
  virtual IMidiClock* GetSongClock() = 0;
};
