// What the ensemble asks of the MIDI clock: the system messages of MIDI input, the
// sample rate, and the time information that the plug-in reads.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "vst2/Vst2.h"

class IEnsembleClock : public virtual IBase {
public:
  virtual void SetSampleRate(float rate) = 0;
  virtual void SongPosition(int32_t samplePos, int32_t clocks) = 0;
  virtual void Tick(int32_t samplePos) = 0;
  virtual void Start(int32_t samplePos) = 0;
  // Brings the record up to date and answers it.
  virtual VstTimeInfo* GetTimeInfo() = 0;
};
