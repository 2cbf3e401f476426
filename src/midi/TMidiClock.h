// The MIDI clock: follows an external MIDI clock (24 timing clocks per quarter
// note), measures its tempo against the audio sample position and keeps the time
// information that the plug-in reads.
#pragma once
#include <atomic>
#include <cstdint>

#include "foundation/Base.h"
#include "vst2/Vst2.h"

class IMidiClock : public virtual IBase {
public:
  // Makes a clock (null when it cannot be made).
  static IMidiClock* Create();

  virtual void SetSampleRate(float rate) = 0;
  // The song position pointer; received and ignored.
  virtual void SongPosition(int32_t samplePos, int32_t clocks) = 0;
  // One timing clock arrived at the audio sample position samplePos.
  virtual void Tick(int32_t samplePos) = 0;
  // The start message: the clock count returns to 0.
  virtual void Start(int32_t samplePos) = 0;
  // Brings samplePos, ppqPos and tempo of the record up to date and answers it.
  virtual VstTimeInfo* GetTimeInfo() = 0;
};

class TMidiClock : public TBase, public virtual IMidiClock {
public:
  static constexpr float initialTempo = 120.0f;
  static constexpr float initialSampleRate = 44100.0f;
  static constexpr int32_t clocksPerQuarter = 24;
  // Transport playing, ppq position valid, tempo valid, MIDI clock valid.
  static constexpr int32_t timeInfoFlags = 0x2602;

  TMidiClock();

  void SetSampleRate(float rate) override;
  void SongPosition(int32_t samplePos, int32_t clocks) override;
  void Tick(int32_t samplePos) override;
  void Start(int32_t samplePos) override;
  VstTimeInfo* GetTimeInfo() override;

  // The measured tempo in beats per minute (read from any thread).
  float GetTempo() const { return tempo.load(std::memory_order_relaxed); }
  float GetSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
  // Timing clocks since the last start, and since construction (the player's sync).
  int32_t GetClockCount() const { return clockCount.load(std::memory_order_relaxed); }
  uint32_t GetTotalClocks() const { return totalClocks.load(std::memory_order_relaxed); }

private:
  // Written on the MIDI port's thread; read by GetTimeInfo on the audio thread.
  int32_t ticksSinceMeasure = 0;
  std::atomic<int32_t> clockCount{0};
  std::atomic<int32_t> measureSample{-1};
  std::atomic<float> tempo{initialTempo};
  std::atomic<float> sampleRate{initialSampleRate};
  std::atomic<uint32_t> totalClocks{0};
  VstTimeInfo timeInfo{};
};
