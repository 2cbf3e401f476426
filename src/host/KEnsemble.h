// The ensemble: owner of the plug-in object, the audio port, the MIDI port, the MIDI
// file player and the MIDI clock, and the entry of all MIDI for the plug-in.
#pragma once
#include <atomic>
#include <cstdint>

#include "IEnsembleClock.h"
#include "IHost.h"
#include "foundation/TShared.h"
#include "midi/IMidiInOut.h"

class IVSTPlug;
class IAudioInOut;
class TEnsemblePlayback;

class KEnsemble : public TShared, public virtual IMidiHost {
public:
  static constexpr float defaultSampleRate = 44100.0f;
  static constexpr const char* undoEnabledValue = "UndoEnabled";
  static constexpr const char* undoMaxValue = "UndoMax";

  // Creates the MIDI port, the audio port (the stored kind) and the plug-in; with the
  // plug-in loaded also the player and the clock, and starts the MIDI port.
  explicit KEnsemble(IHost* host);
  ~KEnsemble() override;
  KEnsemble(const KEnsemble&) = delete;
  KEnsemble& operator=(const KEnsemble&) = delete;

  // Destroys the plug-in object (which saves "Last Session") and makes a new one;
  // answers whether it loaded. While audio runs it is paused around the change, and
  // MIDI input stays away from the plug-in while it is replaced.
  bool CreatePlug();
  // Replaces the audio port by one of type (the Audio Port menu).
  void ChangePort(int32_t type);

  IHost* GetHost() const { return host; }
  IVSTPlug* GetPlug() const { return plug.load(std::memory_order_acquire); }
  IMidiInOut* GetMidiPort() const { return midiPort; }
  IEnsembleClock* GetClock() const { return clock.load(std::memory_order_seq_cst); }
  // The MIDI file player with its commands (null until the plug-in loaded).
  TEnsemblePlayback* GetPlayer() const { return player.load(std::memory_order_seq_cst); }
  // The audio thread, once per block before the plug-in's events are handed over:
  // the MIDI file player's events for the block.
  void ProcessPlayer(int32_t frames);
  IAudioInOut* GetAudioPort() const { return audioPort.load(std::memory_order_acquire); }
  TSharedReal& GetRateFactor() { return rateFactor; }
  TSharedReal& GetSampleRateValue() { return sampleRate; }
  float GetSampleRate() const { return sampleRate.Get(); }
  int32_t GetUndoEnabled() const { return undoEnabled; }
  int32_t GetUndoMax() const { return undoMax; }

  // Installs the clock (the ensemble owns it from now on; null removes it).
  void SetClock(IEnsembleClock* newClock);
  void TellClockSampleRate(float rate);
  // The plug-in's time request: the clock's record, or null without a clock.
  VstTimeInfo* UpdateTimeInfo();

  // ---- MIDI -------------------------------------------------------------------
  // Every event that is to reach the plug-in, from any thread.
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  // A negative port means the plug-in; 0 and up the MIDI port's outputs.
  void SendNoteOff(int32_t port, int32_t channel, int32_t key, int32_t velocity);
  void SendNoteOn(int32_t port, int32_t channel, int32_t key, int32_t velocity);
  void SendPolyPressure(int32_t port, int32_t channel, int32_t key, int32_t pressure);
  void SendControl(int32_t port, int32_t channel, int32_t controller, int32_t value);
  void SendProgram(int32_t port, int32_t channel, int32_t program);
  void SendChannelPressure(int32_t port, int32_t channel, int32_t pressure);
  void SendPitchBend(int32_t port, int32_t channel, int32_t lsb, int32_t msb);
  void SendRaw(int32_t port, uint32_t message);
  // A note-on to MIDI output 0 and to the plug-in, on the port's send channel.
  void PlayNote(int32_t key, int32_t velocity);
  // The MIDI output failed flag: answers it and clears it.
  bool TakeMidiOutputFailed();

  // While the hold count is above 0, system messages do not reach the clock.
  void AdjustSyncHold(int32_t delta) { syncHold.fetch_add(delta, std::memory_order_relaxed); }
  int32_t GetSyncHold() const { return syncHold.load(std::memory_order_relaxed); }

private:
  void Send(int32_t port, int32_t kind, int32_t channel, int32_t data1, int32_t data2);
  void FeedClock(int32_t systemMessage, int32_t data1, int32_t data2);
  void DestroyPlug();
  void DestroyAudioPort();
  void OnOwnValueChanged(TShared* source);
  // Waits until the audio thread is not inside a block.
  void WaitForAudioBlock() const;

  IHost* host;
  std::atomic<IVSTPlug*> plug{nullptr};
  // The plug-in that MIDI input reaches; null while the plug-in is replaced.
  std::atomic<IVSTPlug*> routed{nullptr};
  IMidiInOut* midiPort = nullptr;
  // Read by the audio and MIDI threads; taken away before they are destroyed.
  std::atomic<TEnsemblePlayback*> player{nullptr};
  std::atomic<IEnsembleClock*> clock{nullptr};
  TSharedReal rateFactor;
  TSharedReal sampleRate;
  std::atomic<IAudioInOut*> audioPort{nullptr};
  int32_t undoEnabled = 0;
  int32_t undoMax = 20;
  int32_t sampleRateInt = 44100;
  std::atomic<int32_t> syncHold{0};
  bool subscribed = false;
  // MIDI deliveries inside OnMidiInput; the plug-in is replaced only when none is.
  std::atomic<int32_t> deliveries{0};
};
