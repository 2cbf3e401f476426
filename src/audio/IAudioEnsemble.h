// The ensemble as an audio port sees it: the plug-in to process, the MIDI file
// player's step of each block, the sample rate and the rate factor, and the clock's
// sample-rate hook. Ports never see the host, the MIDI port or the sessions.
#pragma once
#include <cstdint>

class IVSTPlug;
class TSharedReal;

class IAudioEnsemble {
public:
  virtual ~IAudioEnsemble() = default;
  // The plug-in to process, or null. Published atomically: the processing thread
  // reads it inside a block (with the port's busy flag set), and the ensemble takes
  // it away and waits until no block is busy before the plug-in goes.
  virtual IVSTPlug* GetPlug() const = 0;
  // The processing thread, once per block before the plug-in's events are handed
  // over: the MIDI file player's events for the block.
  virtual void ProcessPlayer(int32_t frames) = 0;
  // The ensemble's sample rate (the plug-in's processing rate) and the rate factor,
  // the ratio of processing rate to device rate. User-interface thread.
  virtual float GetSampleRate() const = 0;
  virtual void SetSampleRate(float rate) = 0;
  virtual TSharedReal& GetRateFactor() = 0;
  // Tells the MIDI clock the rate that sample positions count in.
  virtual void TellClockSampleRate(float rate) = 0;
};
