// The sound engine: voices playing the cells' sounds, sample-accurately, into the
// output pairs. Process runs on the audio thread and allocates, locks and waits
// for nothing; the settings are atomics that any thread may change, and notes
// played from the editor reach the audio thread through a single-producer ring.
//
// The kit of sounds is handed over as a pointer: OfferKit (one thread at a time,
// never the audio thread) leaves it for the audio thread, which takes it at the
// start of its next block; the voices of the old kit fade out over 2 ms and the old
// kit is then left for CollectRetired (any thread but the audio thread) to free.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "TKit.h"
#include "TKitSounds.h"
#include "TSampleBank.h"
#include "vst2/Vst2.h"

class TVoiceEngine {
public:
  static constexpr int voiceCount = 64;        // notes that sound at once
  static constexpr int fadingVoices = 16;      // room for stolen and choked voices to fade
  static constexpr int inputCount = 16;
  static constexpr int outputCount = 16;
  static constexpr int maxEventsPerBlock = 2048;
  static constexpr double stealSeconds = 0.003;  // a stolen voice fades out over 3 ms
  static constexpr double chokeSeconds = 0.005;  // a choked voice fades out over 5 ms
  static constexpr double kitSwapSeconds = 0.002;

  TVoiceEngine();
  ~TVoiceEngine();
  TVoiceEngine(const TVoiceEngine&) = delete;
  TVoiceEngine& operator=(const TVoiceEngine&) = delete;

  // ---- settings, any thread -------------------------------------------------
  void ApplyKit(const TKit& kit);  // all but the names
  void ReadKit(TKit& kit) const;   // all but the names
  void SetMaster(float level);
  float Master() const { return master.load(std::memory_order_relaxed); }
  void SetCellLevel(int cell, float level);
  float CellLevel(int cell) const;
  void SetSampleRate(float rate);
  float SampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
  // Silences every voice at the start of the next block (suspend, resume) and
  // starts the round robin and the per-hit variation afresh.
  void RequestReset() { resetRequested.store(true, std::memory_order_release); }

  // ---- kits, any thread but the audio thread ------------------------------------
  // One caller at a time. A kit offered earlier and not yet taken is freed here.
  void OfferKit(std::unique_ptr<TKitSounds> kit);
  // Frees a kit that the audio thread has finished with.
  void CollectRetired();

  // The level of a velocity: (velocity / 127) ^ 1.75, so that velocity 100 is
  // -3.6 dB, 64 is -10.4 dB, 40 is -17.6 dB and 20 is -28 dB below 127.
  static float VelocityGain(int velocity);

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
  static constexpr int slotCount = voiceCount + fadingVoices;

  struct TCellLive {
    std::atomic<float> level, pan, tune, decay;
    std::atomic<int32_t> outputPair, chokeGroup;
  };
  struct TVoice {
    bool active = false;
    bool releasing = false;  // fading out; no longer counts towards the 64
    int cell = 0;
    int pair = 0;
    uint32_t order = 0;
    const TKitSounds* kit = nullptr;
    const float* data = nullptr;
    int channels = 1;
    int32_t length = 0;
    double pos = 0;
    double step = 1;
    float gain = 0;
    float panLeft = 0, panRight = 0;
    float env = 1, envFactor = 1;  // the cell's decay setting
    float fade = 1, fadeStep = 0;  // a linear fade-out when fadeStep > 0
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
  void TakeOfferedKit();
  void HandleEvent(const TEvent& event);
  void NoteOn(int cell, int velocity);
  void FadeOut(TVoice& v, double seconds);
  void ChokeAll();
  TVoice& FreeVoice();
  void Render(float** outputs, int32_t from, int32_t to);
  template <int channels>
  void RenderVoice(TVoice& v, float* left, float* right, int32_t from, int32_t to, float masterLevel);
  void Publish();

  TCellLive live[kCellCount];
  std::atomic<float> master{0.5f};
  std::atomic<float> sampleRate{44100.0f};
  std::atomic<bool> resetRequested{false};
  std::atomic<TKitSounds*> offered{nullptr};
  std::atomic<TKitSounds*> retired{nullptr};

  // Audio thread only (and the constructor and destructor).
  TKitSounds* current = nullptr;
  TKitSounds* previous = nullptr;  // the kit before the last swap, while its voices fade
  TVoice voices[slotCount];
  uint32_t nextOrder = 0;
  uint32_t hits[kCellCount] = {};
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
