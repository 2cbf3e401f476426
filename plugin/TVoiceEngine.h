// The sound engine: voices playing the cells' sounds, sample-accurately, into the
// output pairs. Process runs on the audio thread and allocates, locks and waits
// for nothing; the settings are atomics that any thread may change, and notes
// played from the editor reach the audio thread through a single-producer ring.
#pragma once
#include <atomic>
#include <cstdint>

#include "TKit.h"
#include "TSampleBank.h"
#include "vst2/Vst2.h"

class TVoiceEngine {
public:
  static constexpr int voiceCount = 64;
  static constexpr int inputCount = 16;
  static constexpr int outputCount = 16;
  static constexpr int maxEventsPerBlock = 2048;

  TVoiceEngine();
  TVoiceEngine(const TVoiceEngine&) = delete;
  TVoiceEngine& operator=(const TVoiceEngine&) = delete;

  // ---- settings, any thread -------------------------------------------------
  void ApplyKit(const TKit& kit);  // all but the name
  void ReadKit(TKit& kit) const;   // all but the name
  void SetMaster(float level);
  float Master() const { return master.load(std::memory_order_relaxed); }
  void SetCellLevel(int cell, float level);
  float CellLevel(int cell) const;
  void SetSampleRate(float rate);
  // Silences every voice at the start of the next block (suspend, resume).
  void RequestReset() { resetRequested.store(true, std::memory_order_release); }

  // ---- audio thread ---------------------------------------------------------
  // The events for the next Process call; further calls add to them.
  void QueueEvents(const VstEvents* events);
  void Process(float** inputs, float** outputs, int32_t frames);

  // ---- user-interface thread -----------------------------------------------
  // Plays a cell at the start of the next block. False when the ring is full.
  bool PlayFromUi(int cell, int velocity);

  // Cells with a voice at the end of the last block, one bit per cell.
  uint64_t SoundingCells() const { return sounding.load(std::memory_order_relaxed); }
  // Cells started since the last call, one bit per cell.
  uint64_t TakeStartedCells() { return started.exchange(0, std::memory_order_relaxed); }
  int ActiveVoices() const { return activeVoices.load(std::memory_order_relaxed); }

private:
  struct TCellLive {
    std::atomic<float> level, pan, tune, decay;
    std::atomic<int32_t> outputPair, chokeGroup;
  };
  struct TVoice {
    bool active = false;
    int cell = 0;
    int pair = 0;
    uint32_t order = 0;
    const float* data = nullptr;
    int32_t length = 0;
    double pos = 0;
    double step = 1;
    float velocityGain = 0;
    float panLeft = 0, panRight = 0;
    float env = 1, envFactor = 1;
  };
  struct TEvent {
    int32_t delta;
    uint8_t status, data1, data2;
  };
  struct TUiNote {
    uint8_t cell, velocity;
  };

  void AddEvent(int32_t delta, uint8_t status, uint8_t data1, uint8_t data2);
  void SortEvents(int32_t frames);
  void PrepareOutputs(float** inputs, float** outputs, int32_t frames);
  void HandleEvent(const TEvent& event);
  void NoteOn(int cell, int velocity);
  void ChokeAll();
  TVoice& FreeVoice();
  void Render(float** outputs, int32_t from, int32_t to);
  void Publish();

  const TSampleBank& bank;
  TCellLive live[kCellCount];
  std::atomic<float> master{0.8f};
  std::atomic<float> sampleRate{44100.0f};
  std::atomic<bool> resetRequested{false};

  // Audio thread only.
  TVoice voices[voiceCount];
  uint32_t nextOrder = 0;
  TEvent events[maxEventsPerBlock];
  int eventCount = 0;
  uint64_t startedThisBlock = 0;

  // Editor notes: written by the user-interface thread, read by the audio thread.
  static constexpr uint32_t ringSize = 64;
  TUiNote ring[ringSize] = {};
  std::atomic<uint32_t> ringHead{0}, ringTail{0};

  std::atomic<uint64_t> sounding{0}, started{0};
  std::atomic<int> activeVoices{0};
};
