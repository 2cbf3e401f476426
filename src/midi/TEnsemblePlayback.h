// MIDI file playback bound to the ensemble: file events enter the ensemble's MIDI
// entry like input events, their frames go to the plug-in's event queue, the
// player's tempo and sync come from the ensemble's clock, and the host is ready
// while the ensemble holds a loaded plug-in.
#pragma once
#include "TMidiFilePlayback.h"

class KEnsemble;
class IEnsembleClock;

class TEnsemblePlayback : public TMidiFilePlayback, private IEventOffsetTarget {
public:
  explicit TEnsemblePlayback(KEnsemble* ensemble);

  // The audio thread, once per block, before the plug-in's events are flushed.
  void ProcessBlock(int32_t frames);

private:
  static bool IsReady(void* context);
  void SetEventOffset(int32_t frame) override;

  KEnsemble* ensemble;
  IEnsembleClock* seenClock = nullptr;
};
