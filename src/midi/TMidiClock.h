// The MIDI clock: follows an external MIDI clock (24 timing clocks per quarter
// note), measures its tempo against the audio sample position and keeps the time
// information that the plug-in reads.
#pragma once
#include <atomic>
#include <cstdint>

#include "foundation/Base.h"
#include "vst2/Vst2.h"

// The clock as the ensemble uses it (the system messages of MIDI input, the sample
// rate, the time information) and what the MIDI file player's scheduler reads.
// Threading: SongPosition, Tick and Start on the MIDI port's thread; SetSampleRate on
// the user-interface thread; GetTimeInfo and the getters on any thread.
class IMidiClock : public virtual IBase {
public:
  // Makes a clock (null when it cannot be made).
  static IMidiClock* Create();

  virtual void SetSampleRate(float rate) = 0;
  virtual void SongPosition(int32_t samplePos, int32_t clocks) = 0;
  virtual void Tick(int32_t samplePos) = 0;
  virtual void Start(int32_t samplePos) = 0;
  // Brings the record up to date and answers it.
  virtual VstTimeInfo* GetTimeInfo() = 0;

  // The measured tempo in beats per minute; 120 until a clock was measured.
  virtual float GetTempo() const = 0;
  virtual float GetSampleRate() const = 0;
  // Timing clocks since the last start message, and since construction.
  virtual int32_t GetClockCount() const = 0;
  virtual uint32_t GetTotalClocks() const = 0;
};

class TMidiClock : public TBase, public virtual IMidiClock {
public:
  static constexpr float initialTempo = 120.0f;
  static constexpr float initialSampleRate = 44100.0f;
  static constexpr int32_t clocksPerQuarter = 24;
  // Transport playing, ppq position valid, tempo valid, MIDI clock valid.
  static constexpr int32_t timeInfoFlags = 0x2602;

  void SetSampleRate(float rate) override;
  void SongPosition(int32_t samplePos, int32_t clocks) override;
  void Tick(int32_t samplePos) override;
  void Start(int32_t samplePos) override;
  // The record is the calling thread's own: the plug-in may ask from the audio
  // thread and from threads of its own at once, and each reads what it asked for
  // until its next request.
  VstTimeInfo* GetTimeInfo() override;

  float GetTempo() const override { return tempo.load(std::memory_order_relaxed); }
  float GetSampleRate() const override { return sampleRate.load(std::memory_order_relaxed); }
  int32_t GetClockCount() const override { return clockCount.load(std::memory_order_relaxed); }
  uint32_t GetTotalClocks() const override { return totalClocks.load(std::memory_order_relaxed); }

private:
  // Written on the MIDI port's thread; read by GetTimeInfo on the audio thread.
  int32_t ticksSinceMeasure = 0;
  std::atomic<int32_t> clockCount{0};
  std::atomic<int32_t> measureSample{-1};
  std::atomic<float> tempo{initialTempo};
  std::atomic<float> sampleRate{initialSampleRate};
  std::atomic<uint32_t> totalClocks{0};
};
