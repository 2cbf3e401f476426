// The Standard MIDI File player: loads a file of format 0 or 1 into memory and plays
// its events into the host like events from a MIDI input, counting time in MIDI
// clocks (24 per quarter note) so that a clock can drive it.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "IMidiInOut.h"
#include "foundation/Base.h"
#include "foundation/TParamStr.h"

class IFileName;

// What the player asks of the host: the MIDI entry, whether playback is on, whether
// the host is ready, and the playback switch, which the player turns off at the end
// of a song without loop. Called on the thread that drives the player.
class IMFPlayerHost : public virtual IMidiHost {
public:
  virtual int32_t IsPlaybackOn() = 0;
  virtual int32_t IsHostReady() = 0;
  virtual void SetPlayback(int32_t on) = 0;
};

class IMFPlayer : public virtual IBase {
public:
  // Null when the player cannot be made.
  static IMFPlayer* Create(IMFPlayerHost* host);

  // Plays every event due at the next tick (the scheduler's thread).
  virtual void Process() = 0;
  virtual void Restart() = 0;
  virtual void StopPlayback() = 0;
  virtual void AllNotesOff() = 0;
  virtual void Reserved() = 0;
  // position in 96ths of a quarter note.
  virtual void SetPosition(int32_t position) = 0;
  // 1 on success; a failure has been shown to the user.
  virtual int32_t Load(const IFileName& name) = 0;
  virtual int32_t GetLoop() = 0;
  // Answers whether a loop pass was completed since the last call.
  virtual int32_t SetLoop(int32_t on) = 0;
  virtual int32_t GetSyncFlag() = 0;
  virtual void SetSyncFlag(int32_t on) = 0;
  // The MIDI clock count at which the next batch is due.
  virtual float GetNextTime() = 0;
  virtual float GetClocksPerTick() = 0;
  virtual void SetDivision(int32_t ticksPerQuarter) = 0;

  // The scheduler's operations (its thread): the next batch's tick and time, and the
  // rewind that follows an external start message.
  virtual void ComputeNext() = 0;
  virtual void Rewind() = 0;
  // Counts every change of the play position made from outside the scheduler (load,
  // stop, position), so that the scheduler picks the new position up.
  virtual uint32_t GetRepositionCount() = 0;
  virtual int32_t IsLoaded() = 0;
};

class TMFPlayer : public TBase, public virtual IMFPlayer {
public:
  struct TEvent {
    int32_t tick;
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    bool operator==(const TEvent&) const = default;
  };
  struct TTempo {
    int32_t tick;
    float bpm;
  };
  struct TTrack {
    int32_t first;
    int32_t current;
    int32_t last;  // first - 1 for a track without events
  };
  struct TNote {
    int32_t tick;
    uint8_t status;
    uint8_t note;
    uint8_t active;  // the note-on's velocity; 0 when free
  };

  static constexpr int32_t trackedNotes = 32;
  // The next tick when nothing is left to play; ticks of a file stay below it.
  static constexpr int32_t noTick = 999999999;

  explicit TMFPlayer(IMFPlayerHost* host);
  ~TMFPlayer() override = default;
  TMFPlayer(const TMFPlayer&) = delete;
  TMFPlayer& operator=(const TMFPlayer&) = delete;

  void Process() override;
  void Restart() override;
  void StopPlayback() override;
  void AllNotesOff() override;
  void Reserved() override {}
  void SetPosition(int32_t position) override;
  int32_t Load(const IFileName& name) override;
  int32_t GetLoop() override { return loop.load(std::memory_order_relaxed); }
  int32_t SetLoop(int32_t on) override;
  int32_t GetSyncFlag() override { return syncFlag.load(std::memory_order_relaxed); }
  void SetSyncFlag(int32_t on) override { syncFlag.store(on, std::memory_order_relaxed); }
  float GetNextTime() override { return nextTime.load(std::memory_order_relaxed); }
  float GetClocksPerTick() override { return clocksPerTick; }
  void SetDivision(int32_t ticksPerQuarter) override;
  void ComputeNext() override;
  void Rewind() override;
  uint32_t GetRepositionCount() override { return repositions.load(std::memory_order_acquire); }
  int32_t IsLoaded() override { return trackCount > 0 ? 1 : 0; }

  // Loads a file held in memory; displayName fills $1 of the messages.
  int32_t LoadBytes(const uint8_t* bytes, size_t size, const TStr& displayName);

  // What the loader stored (for tools and tests; not while the player plays).
  int32_t GetFormat() const { return format; }
  int32_t GetTrackCount() const { return trackCount; }
  int32_t GetDivision() const { return division; }
  int32_t GetSongLength() const { return songLength; }
  int32_t GetNextTick() const { return nextTick; }
  int32_t GetLoopCount() const { return loopCount; }
  int32_t GetTempoIndex() const { return tempoIndex; }
  const std::vector<TEvent>& GetEvents() const { return events; }
  const std::vector<TTempo>& GetTempos() const { return tempos; }
  const std::vector<TTrack>& GetTracks() const { return tracks; }
  const TNote& GetNote(int32_t index) const { return notes[index]; }

  // What one load produces (the loader's own record).
  struct TLoaded;

private:
  // The user-interface side's exclusive access: waits until the scheduler is outside
  // the player and keeps it out until the end of the scope. The scheduler never waits:
  // while the player is held its calls do nothing.
  class THold {
  public:
    explicit THold(TMFPlayer& player);
    ~THold();
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

  private:
    TMFPlayer& player;
    std::lock_guard<std::mutex> guard;
  };
  class TSchedulerEntry {
  public:
    explicit TSchedulerEntry(TMFPlayer& player);
    ~TSchedulerEntry();
    TSchedulerEntry(const TSchedulerEntry&) = delete;
    TSchedulerEntry& operator=(const TSchedulerEntry&) = delete;
    bool Entered() const { return entered; }

  private:
    TMFPlayer& player;
    bool entered;
  };

  bool HostAllows();
  void DoComputeNext();
  void DoRestart();
  void DoAllNotesOff();
  void RewindTracks();
  void TrackNote(const TEvent& event);
  void Adopt(TLoaded& loaded);
  void Empty();
  void Moved() { repositions.fetch_add(1, std::memory_order_acq_rel); }

  std::atomic<int32_t> syncFlag{0};
  std::atomic<int32_t> loop{1};
  int32_t loopCount = 0;
  int32_t nextTick = 0;
  int32_t trackCount = 0;
  int32_t tempoIndex = 0;
  int32_t tempoCount = 0;
  int32_t songLength = 1;
  int32_t division = 0;
  IMFPlayerHost* host;
  std::vector<TEvent> events;
  std::vector<TTempo> tempos;
  std::vector<TTrack> tracks;
  TNote notes[trackedNotes] = {};
  float clocksPerTick = 1000.0f;
  std::atomic<float> nextTime{0.0f};
  int32_t format = 0;

  std::mutex holders;
  std::atomic<int32_t> held{0};
  std::atomic<int32_t> schedulerInside{0};
  std::atomic<uint32_t> repositions{0};
};

namespace Msg {
extern TParamStr notStandardMidiFile;  // "Not a Standard Midi File"
extern TParamStr midiFileReadError;    // "Error while reading midi file $1:"
}  // namespace Msg
