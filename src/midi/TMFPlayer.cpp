#include "TMFPlayer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "foundation/IFile.h"
#include "foundation/IFileName.h"
#include "foundation/Messages.h"

namespace Msg {
TParamStr notStandardMidiFile("Not a Standard Midi File");
TParamStr midiFileReadError("Error while reading midi file $1:");
}  // namespace Msg

namespace {

// A file that ends early or holds what no Standard MIDI File can hold.
struct TBadFile {};
// The track table could not be allocated.
struct TNoTrackTable {};

// Files larger than this are not read.
constexpr int64_t maxFileBytes = int64_t{1} << 30;
// The smallest track: chunk name, length, and an end-of-track event.
constexpr size_t minTrackBytes = 12;

// Total bytes of a channel event by its status; -1 below 0x80.
int32_t MessageLength(int32_t status) {
  if (status < 0x80) return -1;
  if (status < 0xC0) return 3;
  if (status < 0xE0) return 2;
  if (status < 0xF0) return 3;
  switch (status) {
    case 0xF1: return 2;
    case 0xF2: return 3;
    case 0xF3: return 2;
    case 0xF0: return 3;
    default: return 1;
  }
}

class TSmfReader {
public:
  TSmfReader(const uint8_t* bytes, size_t size) : pos(bytes), end(bytes + size) {}

  size_t Remaining() const { return static_cast<size_t>(end - pos); }
  uint8_t Byte() {
    if (pos == end) throw TBadFile();
    return *pos++;
  }
  uint32_t BigEndian(int32_t bytes) {
    uint32_t value = 0;
    for (int32_t i = 0; i < bytes; ++i) value = value << 8 | Byte();
    return value;
  }
  // 7 bits per byte, most significant group first, at most five bytes.
  uint64_t VariableLength() {
    uint64_t value = 0;
    for (int32_t i = 0; i < 5; ++i) {
      const uint8_t b = Byte();
      value = value << 7 | (b & 0x7F);
      if (!(b & 0x80)) return value;
    }
    throw TBadFile();
  }
  void Skip(uint64_t bytes) {
    if (bytes > Remaining()) throw TBadFile();
    pos += bytes;
  }

private:
  const uint8_t* pos;
  const uint8_t* end;
};

}  // namespace

// What one load produced; it becomes the player's only when the whole file was read.
struct TMFPlayer::TLoaded {
  int32_t format = 0;
  int32_t division = 0;
  int32_t songLength = 1;
  std::vector<TEvent> events;
  std::vector<TTempo> tempos;
  std::vector<TTrack> tracks;
};

namespace {

int32_t DivisionFromHeader(uint32_t field) {
  if (field & 0x8000) {
    // Frames per second and ticks per frame: ticks per second, taken as the ticks of
    // half a second, a quarter note at 120 BPM.
    const int32_t framesPerSecond = -static_cast<int8_t>(field >> 8);
    const int32_t ticksPerFrame = static_cast<int32_t>(field & 0xFF);
    return framesPerSecond * ticksPerFrame / 2;
  }
  return static_cast<int32_t>(field);
}

void ReadTrack(TSmfReader& reader, TMFPlayer::TLoaded& loaded, TMFPlayer::TTrack& track, int32_t& runningStatus) {
  track.first = static_cast<int32_t>(loaded.events.size());
  int64_t tick = 0;
  reader.BigEndian(4);  // the chunk name, not compared
  reader.BigEndian(4);  // the chunk length: the track ends at its end-of-track event
  for (;;) {
    tick += static_cast<int64_t>(reader.VariableLength());
    if (tick >= TMFPlayer::noTick) throw TBadFile();
    const uint8_t b = reader.Byte();
    if (b == 0xF0 || b == 0xF7) {
      reader.Skip(reader.VariableLength());
      continue;
    }
    if (b == 0xFF) {
      const uint8_t type = reader.Byte();
      const uint64_t length = reader.VariableLength();
      if (type == 0x2F && length == 0) break;
      if (type == 0x51) {
        if (length != 3) throw TBadFile();
        const uint32_t microseconds = reader.BigEndian(3);
        if (microseconds == 0) throw TBadFile();
        loaded.tempos.push_back({static_cast<int32_t>(tick), static_cast<float>(60000000u / microseconds)});
      } else {
        reader.Skip(length);
      }
      continue;
    }
    TMFPlayer::TEvent event{static_cast<int32_t>(tick), 0, 0, 0};
    if (b < 0x80) {
      // A data byte with no status in force cannot be played.
      if (runningStatus == 0) throw TBadFile();
      event.data1 = b;
      event.data2 = MessageLength(runningStatus) == 3 ? reader.Byte() : 0;
    } else {
      runningStatus = b;
      const int32_t length = MessageLength(b);
      event.data1 = length >= 2 ? reader.Byte() : 0;
      event.data2 = length == 3 ? reader.Byte() : 0;
    }
    event.status = static_cast<uint8_t>(runningStatus);
    loaded.events.push_back(event);
  }
  loaded.songLength = std::max(loaded.songLength, static_cast<int32_t>(tick));
  track.last = static_cast<int32_t>(loaded.events.size()) - 1;
  track.current = track.first;
}

void ReadFile(TSmfReader& reader, TMFPlayer::TLoaded& loaded) {
  reader.BigEndian(4);  // "MThd", compared by the caller
  const uint32_t headerLength = reader.BigEndian(4);
  loaded.format = static_cast<int32_t>(reader.BigEndian(2));
  const uint32_t trackCount = reader.BigEndian(2);
  loaded.division = DivisionFromHeader(reader.BigEndian(2));
  if (headerLength > 6) reader.Skip(headerLength - 6);
  if (loaded.division <= 0) throw TBadFile();
  // A track count that the rest of the file cannot hold is a cut file; checking it
  // first keeps the table within the file's size.
  if (trackCount > reader.Remaining() / minTrackBytes) throw TBadFile();
  try {
    loaded.tracks.resize(trackCount);
  } catch (const std::bad_alloc&) {
    throw TNoTrackTable();
  }
  int32_t runningStatus = 0;  // carries over from one track to the next
  for (TMFPlayer::TTrack& track : loaded.tracks) ReadTrack(reader, loaded, track, runningStatus);
  // Records of several tracks are kept in the order of their ticks.
  std::stable_sort(loaded.tempos.begin(), loaded.tempos.end(),
                   [](const TMFPlayer::TTempo& a, const TMFPlayer::TTempo& b) { return a.tick < b.tick; });
}

void ShowReadError(const TStr& name) {
  Msg::midiFileReadError.SetParam(1, name);
  ShowError(Msg::midiFileReadError);
}

}  // namespace

IMFPlayer* IMFPlayer::Create(IMFPlayerHost* host) { return new (std::nothrow) TMFPlayer(host); }

TMFPlayer::TMFPlayer(IMFPlayerHost* playerHost) : host(playerHost) {}

// ---- Exclusive access ---------------------------------------------------------------

TMFPlayer::THold::THold(TMFPlayer& owner) : player(owner), guard(owner.holders) {
  player.held.fetch_add(1, std::memory_order_seq_cst);
  while (player.schedulerInside.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

TMFPlayer::THold::~THold() { player.held.fetch_sub(1, std::memory_order_seq_cst); }

TMFPlayer::TSchedulerEntry::TSchedulerEntry(TMFPlayer& owner) : player(owner) {
  player.schedulerInside.fetch_add(1, std::memory_order_seq_cst);
  entered = player.held.load(std::memory_order_seq_cst) == 0;
  if (!entered) player.schedulerInside.fetch_sub(1, std::memory_order_seq_cst);
}

TMFPlayer::TSchedulerEntry::~TSchedulerEntry() {
  if (entered) player.schedulerInside.fetch_sub(1, std::memory_order_seq_cst);
}

// ---- Loading ------------------------------------------------------------------------

int32_t TMFPlayer::Load(const IFileName& name) {
  const TStr path = name.GetPath();
  std::vector<uint8_t> bytes;
  try {
    EPtr<IFile> file(IFile::Create());
    if (!file) return 0;
    file->OpenRead(name);
    const int64_t size = file->GetSize();
    if (size < 0 || size > maxFileBytes) throw TBadFile();
    bytes.resize(static_cast<size_t>(size));
    file->ReadRaw(bytes.data(), size);
    file->Close();
  } catch (...) {
    ClearPendingError();
    {
      THold hold(*this);
      Empty();
    }
    ShowReadError(path);
    return 0;
  }
  return LoadBytes(bytes.data(), bytes.size(), path);
}

int32_t TMFPlayer::LoadBytes(const uint8_t* bytes, size_t size, const TStr& displayName) {
  TLoaded loaded;
  try {
    TSmfReader reader(bytes, size);
    if (size < 4) throw TBadFile();
    if (std::memcmp(bytes, "MThd", 4) != 0) {
      {
        THold hold(*this);
        Empty();
      }
      ShowError(Msg::notStandardMidiFile);
      return 0;
    }
    ReadFile(reader, loaded);
  } catch (const TNoTrackTable&) {
    {
      THold hold(*this);
      Empty();
    }
    ShowOutOfMemory(EOutOfMemory::Object);
    return 0;
  } catch (...) {
    // The end of the file, a damaged event, or an array that could not grow.
    ClearPendingError();
    {
      THold hold(*this);
      Empty();
    }
    ShowReadError(displayName);
    return 0;
  }
  THold hold(*this);
  Adopt(loaded);
  return 1;
}

void TMFPlayer::Adopt(TLoaded& loaded) {
  events.swap(loaded.events);
  tempos.swap(loaded.tempos);
  tracks.swap(loaded.tracks);
  format = loaded.format;
  trackCount = static_cast<int32_t>(tracks.size());
  tempoCount = static_cast<int32_t>(tempos.size());
  songLength = loaded.songLength;
  division = loaded.division;
  SetDivision(division);
  // A new file plays from its beginning.
  nextTick = 0;
  tempoIndex = 0;
  loopCount = 0;
  nextTime.store(0.0f, std::memory_order_relaxed);
  for (TNote& note : notes) note = TNote{};
  Moved();
}

void TMFPlayer::Empty() {
  events.clear();
  tempos.clear();
  tracks.clear();
  trackCount = 0;
  tempoCount = 0;
  songLength = 1;
  nextTick = 0;
  tempoIndex = 0;
  loopCount = 0;
  nextTime.store(0.0f, std::memory_order_relaxed);
  for (TNote& note : notes) note = TNote{};
  Moved();
}

void TMFPlayer::SetDivision(int32_t ticksPerQuarter) {
  if (ticksPerQuarter > 0) clocksPerTick = 24.0f / static_cast<float>(ticksPerQuarter);
}

// ---- Playback -----------------------------------------------------------------------

bool TMFPlayer::HostAllows() { return host && host->IsPlaybackOn() && host->IsHostReady(); }

void TMFPlayer::Process() {
  TSchedulerEntry entry(*this);
  if (!entry.Entered() || !HostAllows()) return;
  while (tempoIndex < tempoCount && tempos[tempoIndex].tick == nextTick) ++tempoIndex;
  for (TTrack& track : tracks) {
    while (track.current <= track.last && events[track.current].tick == nextTick) {
      const TEvent& event = events[track.current];
      host->OnMidiInput(event.status >> 4 & 0x07, event.status & 0x0F, event.data1, event.data2);
      TrackNote(event);
      ++track.current;
    }
  }
  DoComputeNext();
  if (songLength <= nextTick) {
    if (!loop.load(std::memory_order_relaxed)) {
      // Rewound as well, so that playback switched on again plays the song again.
      DoRestart();
      host->SetPlayback(0);
    } else {
      ++loopCount;
      DoRestart();
    }
  }
}

void TMFPlayer::TrackNote(const TEvent& event) {
  const int32_t kind = event.status >> 4 & 0x07;
  if (kind == MidiNoteOn && event.data2 != 0) {
    for (TNote& note : notes) {
      if (note.active) continue;
      note = TNote{event.tick, event.status, event.data1, event.data2};
      return;
    }
    return;  // all 32 in use: played, not tracked
  }
  if (kind == MidiNoteOff || kind == MidiNoteOn) {
    for (TNote& note : notes)
      if (note.active && (note.status & 0x0F) == (event.status & 0x0F) && note.note == event.data1) note.active = 0;
  }
}

void TMFPlayer::ComputeNext() {
  TSchedulerEntry entry(*this);
  if (entry.Entered()) DoComputeNext();
}

void TMFPlayer::DoComputeNext() {
  if (!HostAllows()) return;
  int32_t candidate = noTick;
  if (tempoIndex < tempoCount) candidate = tempos[tempoIndex].tick;
  for (const TTrack& track : tracks)
    if (track.current <= track.last && events[track.current].tick < candidate) candidate = events[track.current].tick;
  const bool looping = loop.load(std::memory_order_relaxed) != 0;
  if (looping && songLength < candidate) candidate = songLength;
  nextTick = candidate;
  const int64_t passes = looping ? static_cast<int64_t>(loopCount) * songLength : 0;
  nextTime.store(static_cast<float>(static_cast<double>(nextTick + passes) * clocksPerTick), std::memory_order_relaxed);
}

void TMFPlayer::Rewind() {
  TSchedulerEntry entry(*this);
  if (!entry.Entered()) return;
  DoRestart();
  loopCount = 0;
  DoComputeNext();
}

void TMFPlayer::RewindTracks() {
  for (TTrack& track : tracks) track.current = track.first;
}

void TMFPlayer::DoRestart() {
  DoAllNotesOff();
  nextTick = 0;
  tempoIndex = 0;
  RewindTracks();
}

void TMFPlayer::DoAllNotesOff() {
  for (TNote& note : notes) {
    if (!note.active) continue;
    if (host) host->OnMidiInput(MidiNoteOff, note.status & 0x0F, note.note, 0);
    note.active = 0;
  }
}

// ---- The user-interface side ----------------------------------------------------------

void TMFPlayer::Restart() {
  THold hold(*this);
  DoRestart();
  Moved();
}

void TMFPlayer::StopPlayback() {
  THold hold(*this);
  nextTick = 0;
  tempoIndex = 0;
  if (!tracks.empty()) {
    RewindTracks();
    DoAllNotesOff();
  }
  Moved();
}

void TMFPlayer::AllNotesOff() {
  THold hold(*this);
  DoAllNotesOff();
}

void TMFPlayer::SetPosition(int32_t position) {
  THold hold(*this);
  int64_t tick = static_cast<int64_t>(position) * division / 96;
  const int64_t passes = tick / songLength;
  loopCount = static_cast<int32_t>(std::clamp<int64_t>(passes, INT32_MIN, INT32_MAX));
  if (loop.load(std::memory_order_relaxed)) tick -= passes * songLength;
  nextTick = static_cast<int32_t>(std::clamp<int64_t>(tick, INT32_MIN, INT32_MAX));
  for (TTrack& track : tracks) {
    track.current = track.first;
    while (track.current <= track.last && events[track.current].tick < nextTick) ++track.current;
  }
  tempoIndex = 0;
  while (tempoIndex < tempoCount && tempos[tempoIndex].tick < nextTick) ++tempoIndex;
  nextTime.store(static_cast<float>(position), std::memory_order_relaxed);
  Moved();
}

int32_t TMFPlayer::SetLoop(int32_t on) {
  THold hold(*this);
  loop.store(on, std::memory_order_relaxed);
  const int32_t looped = loopCount != 0 ? 1 : 0;
  loopCount = 0;
  // The time of the next batch no longer counts the passes: the scheduler follows it.
  if (looped) Moved();
  return looped;
}
