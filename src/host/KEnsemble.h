// The ensemble: owner of the plug-in object, the audio port, the MIDI port, the MIDI
// file player and the MIDI clock, and the entry of all MIDI for the plug-in. The
// parts it owns reach back to it only through the narrow interfaces of their own
// folders: a port through IAudioEnsemble, the plug-in wrapper through IPlugEnsemble,
// the MIDI file playback through ISongHost, the MIDI port through IMidiHost.
//
// Threading: construction, destruction, the plug-in and port changes and the send
// operations run on the user-interface thread; OnMidiInput on any thread that
// delivers MIDI; the IAudioEnsemble and ISongHost operations that say so on the
// audio thread inside a block. What the other threads read (the plug-in, the port,
// the clock, the player) is published through atomics; before one of them goes it is
// taken away, and the ensemble waits until no MIDI delivery is in flight and no
// audio block is busy.
#pragma once
#include <atomic>
#include <cstdint>

#include "IHost.h"
#include "audio/AudioPortFactory.h"
#include "audio/IAudioEnsemble.h"
#include "foundation/TShared.h"
#include "midi/ISongHost.h"
#include "midi/MidiPortFactory.h"
#include "plughost/IPlugEnsemble.h"

class IVSTPlug;
class IAudioInOut;
class IMidiClock;
class TMidiFilePlayback;

// What the ensemble builds its ports from; the defaults are the program's own (the
// stored audio port of the standard factory, the multimedia MIDI port).
struct TEnsembleSources {
  IAudioPortFactory* audioPorts = nullptr;
  TMidiPortMaker midiPort = nullptr;
};

class KEnsemble : public TShared,
                  public IAudioEnsemble,
                  public IPlugEnsemble,
                  public virtual ISongHost {
public:
  static constexpr float defaultSampleRate = 44100.0f;
  static constexpr const char* undoEnabledValue = "UndoEnabled";
  static constexpr const char* undoMaxValue = "UndoMax";

  // Creates the MIDI port, the audio port (the stored kind) and the plug-in; with the
  // plug-in loaded also the player and the clock, and starts the MIDI port.
  explicit KEnsemble(IHost* host, const TEnsembleSources& sources = {});
  ~KEnsemble() override;
  KEnsemble(const KEnsemble&) = delete;
  KEnsemble& operator=(const KEnsemble&) = delete;

  // Saves "Last Session" from the plug-in object, destroys it and makes a new one;
  // answers whether it loaded. While audio runs it is paused around the change, and
  // MIDI input stays away from the plug-in while it is replaced.
  bool CreatePlug();
  // Replaces the audio port by one of type (the Audio Port menu).
  void ChangePort(int32_t type);

  IHost* GetHost() const { return host; }
  IVSTPlug* GetPlug() const override { return plug.load(std::memory_order_seq_cst); }
  IMidiInOut* GetMidiPort() const { return midiPort; }
  IMidiClock* GetClock() const { return clock.load(std::memory_order_seq_cst); }
  // The MIDI file playback with its commands (null until the plug-in loaded).
  TMidiFilePlayback* GetPlayer() const { return player.load(std::memory_order_seq_cst); }
  IAudioInOut* GetAudioPort() const { return audioPort.load(std::memory_order_acquire); }
  IAudioPortFactory& GetPortFactory() const { return *portFactory; }
  TSharedReal& GetSampleRateValue() { return sampleRate; }
  int32_t GetUndoEnabled() const { return undoEnabled; }
  int32_t GetUndoMax() const { return undoMax; }

  // Installs the clock (the ensemble owns it from now on; null removes it).
  void SetClock(IMidiClock* newClock);

  // ---- IAudioEnsemble ----------------------------------------------------------------
  void ProcessPlayer(int32_t frames) override;
  float GetSampleRate() const override { return sampleRate.Get(); }
  void SetSampleRate(float rate) override { sampleRate.Set(rate, nullptr); }
  TSharedReal& GetRateFactor() override { return rateFactor; }
  void TellClockSampleRate(float rate) override;

  // ---- IPlugEnsemble -----------------------------------------------------------------
  VstTimeInfo* UpdateTimeInfo() override;
  int32_t GetPortBlockSize() override;
  int32_t GetSendChannel() override;
  void SendMidiOut(uint32_t message) override;
  void RunTransportCommand(int32_t index, void* record) override;

  // ---- ISongHost ---------------------------------------------------------------------
  bool IsPlugReady() override;
  IMidiClock* GetSongClock() override { return GetClock(); }
  void SetEventOffset(int32_t frame) override;

  // ---- MIDI -------------------------------------------------------------------------
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
  // Events dropped because audio was not running when they came (not kept for a
  // burst later), and because the plug-in's queue was full; since construction.
  int64_t GetDroppedWhileStopped() const { return droppedWhileStopped.load(std::memory_order_relaxed); }
  int64_t GetDroppedQueueFull() const;

  // While the hold count is above 0, system messages do not reach the clock.
  void AdjustSyncHold(int32_t delta) { syncHold.fetch_add(delta, std::memory_order_relaxed); }
  int32_t GetSyncHold() const { return syncHold.load(std::memory_order_relaxed); }

private:
  void Send(int32_t port, int32_t kind, int32_t channel, int32_t data1, int32_t data2);
  // Inside a delivery: whether the audio port plays what arrives now.
  bool AudioTakesEvents() const;
  void FeedClock(int32_t systemMessage, int32_t data1, int32_t data2);
  void SaveLastSession();
  void DestroyPlug();
  void DestroyAudioPort();
  void OnOwnValueChanged(TShared* source);
  // Waits until no MIDI delivery is inside OnMidiInput.
  void WaitForNoDelivery() const;
  // Waits until the audio thread is not inside a block.
  void WaitForAudioBlock() const;

  IHost* host;
  IAudioPortFactory* portFactory;
  std::atomic<IVSTPlug*> plug{nullptr};
  // The plug-in that MIDI input reaches; null while the plug-in is replaced.
  std::atomic<IVSTPlug*> routed{nullptr};
  IMidiInOut* midiPort = nullptr;
  // Read by the audio and MIDI threads; taken away before they are destroyed.
  std::atomic<TMidiFilePlayback*> player{nullptr};
  std::atomic<IMidiClock*> clock{nullptr};
  TSharedReal rateFactor;
  TSharedReal sampleRate;
  std::atomic<IAudioInOut*> audioPort{nullptr};
  int32_t undoEnabled = 0;
  int32_t undoMax = 20;
  std::atomic<int32_t> syncHold{0};
  bool subscribed = false;
  // MIDI deliveries inside OnMidiInput; the plug-in is replaced only when none is.
  std::atomic<int32_t> deliveries{0};
  std::atomic<int64_t> droppedWhileStopped{0};
  // Queue-full drops of plug-in objects that were replaced.
  int64_t droppedByEarlierPlugs = 0;
};
