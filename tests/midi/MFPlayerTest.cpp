#include <gtest/gtest.h>

#include <random>

#include "MidiTestSupport.h"
#include "foundation/IFileName.h"
#include "foundation/ScriptedPresenter.h"
#include "midi/TMFPlayer.h"
#include "pc/foundation/PosixPlatform.h"

using TEvent = TMFPlayer::TEvent;

void PrintTo(const TEvent& e, std::ostream* out) {
  *out << '[' << e.tick << ',' << int(e.status) << ',' << int(e.data1) << ',' << int(e.data2) << ']';
}

namespace {

class MFPlayer : public ::testing::Test {
protected:
  int32_t Load(const TBytes& bytes, const char* name = "test.mid") {
    return player.LoadBytes(bytes.data(), bytes.size(), name);
  }
  // Plays batches until nothing more is due or count batches ran.
  void PlayBatches(int32_t count) {
    for (int32_t i = 0; i < count && host.playback.load(); ++i) player.Process();
  }

  TScriptedPresenter messages;
  TRecordingHost host;
  TMFPlayer player{&host};
};

// Two tracks: running status continues after a system-exclusive and a meta event,
// and into the second track.
TBytes RunningStatusFile() {
  const TBytes first = Join({Tempo(0, 600000), At(0, {0x90, 60, 100}), At(10, {62, 90}),
                             At(0, {0xF0, 0x03, 0x7E, 0x01, 0xF7}), At(5, {64, 80}),
                             At(0, {0xFF, 0x01, 0x02, 'h', 'i'}), At(5, {60, 0}), At(0, {0xC3, 0x05}),
                             At(10, {0x06}), EndOfTrack(20)});
  const TBytes second = Join({At(0, {0x05}), Tempo(30, 700000), At(0, {0xE1, 0x00, 0x40}), At(4, {0x7F, 0x7F}),
                              EndOfTrack(1)});
  return Join({SmfHeader(1, 2, 96), SmfTrack(first), SmfTrack(second)});
}

TEST_F(MFPlayer, LoadsEventsTemposAndTracks) {
  ASSERT_EQ(Load(RunningStatusFile()), 1);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(player.GetFormat(), 1);
  EXPECT_EQ(player.GetTrackCount(), 2);
  EXPECT_EQ(player.GetDivision(), 96);
  EXPECT_FLOAT_EQ(player.GetClocksPerTick(), 0.25f);
  const std::vector<TEvent> expected = {
      {0, 0x90, 60, 100}, {10, 0x90, 62, 90}, {15, 0x90, 64, 80}, {20, 0x90, 60, 0}, {20, 0xC3, 5, 0},
      {30, 0xC3, 6, 0},   {0, 0xC3, 5, 0},    {30, 0xE1, 0, 0x40}, {34, 0xE1, 0x7F, 0x7F}};
  EXPECT_EQ(player.GetEvents(), expected);
  ASSERT_EQ(player.GetTempos().size(), 2u);
  EXPECT_EQ(player.GetTempos()[0].tick, 0);
  EXPECT_EQ(player.GetTempos()[0].bpm, 100.0f);
  EXPECT_EQ(player.GetTempos()[1].tick, 30);
  EXPECT_EQ(player.GetTempos()[1].bpm, 85.0f);  // 60000000 / 700000 in whole numbers
  EXPECT_EQ(player.GetSongLength(), 50);
  ASSERT_EQ(player.GetTracks().size(), 2u);
  EXPECT_EQ(player.GetTracks()[0].first, 0);
  EXPECT_EQ(player.GetTracks()[0].last, 5);
  EXPECT_EQ(player.GetTracks()[1].first, 6);
  EXPECT_EQ(player.GetTracks()[1].last, 8);
}

TEST_F(MFPlayer, AFileOfTemposOnlyHasNoEvents) {
  const TBytes file = Join({SmfHeader(0, 1, 480), SmfTrack(Join({Tempo(0, 500000), Tempo(960, 400000), EndOfTrack(1000)}))});
  ASSERT_EQ(Load(file), 1);
  EXPECT_TRUE(player.GetEvents().empty());
  EXPECT_EQ(player.GetSongLength(), 1960);
  EXPECT_EQ(player.GetTracks()[0].last, player.GetTracks()[0].first - 1);
  EXPECT_EQ(player.GetTempos()[1].bpm, 150.0f);
}

TEST_F(MFPlayer, LongerHeadersAndTimeCodeDivisionsLoad) {
  TBytes header = SmfHeader(0, 1, 0);
  header[7] = 8;                          // a header of 8 bytes
  header[12] = 0xE7, header[13] = 40;     // 25 frames of 40 ticks: 1000 ticks per second
  header.insert(header.end(), {0, 0});
  ASSERT_EQ(Load(Join({header, SmfTrack(Join({At(0, {0x99, 36, 100}), EndOfTrack()}))})), 1);
  EXPECT_EQ(player.GetDivision(), 500);
  EXPECT_EQ(player.GetEvents().size(), 1u);
}

struct THostileCase {
  const char* what;
  TBytes bytes;
  const char* message;
};

std::vector<THostileCase> HostileCases() {
  const char* readError = "Error while reading midi file bad.mid:";
  const TBytes note = At(0, {0x90, 60, 100});
  std::vector<THostileCase> cases = {
      {"a RIFF-wrapped file", Join({{'R', 'I', 'F', 'F', 0, 0, 0, 4}, SmfHeader(0, 1, 96)}), "Not a Standard Midi File"},
      {"a text file", {'h', 'e', 'l', 'l', 'o', '\n'}, "Not a Standard Midi File"},
      {"three bytes", {'M', 'T', 'h'}, readError},
      {"an empty file", {}, readError},
      {"a header cut short", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, readError},
      {"65535 tracks in a short file", Join({SmfHeader(1, 65535, 96), SmfTrack(EndOfTrack())}), readError},
      {"a division of 0", Join({SmfHeader(0, 1, 0), SmfTrack(EndOfTrack())}), readError},
      {"a six-byte delta", Join({SmfHeader(0, 1, 96), SmfTrack(Join({{0x81, 0x81, 0x81, 0x81, 0x81, 0x01}, {0x90, 60, 1}, EndOfTrack()}))}), readError},
      {"a delta past the last tick", Join({SmfHeader(0, 1, 96), SmfTrack(Join({note, At(0x0FFFFFFF, {0x80, 60, 0}), At(0x0FFFFFFF, {0x80, 60, 0}), At(0x0FFFFFFF, {0x80, 60, 0}), At(0x0FFFFFFF, {0x80, 60, 0}), EndOfTrack()}))}), readError},
      {"a meta length past the end", Join({SmfHeader(0, 1, 96), SmfTrack(Join({At(0, {0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'x'}), EndOfTrack()}))}), readError},
      {"a system-exclusive length past the end", Join({SmfHeader(0, 1, 96), SmfTrack(Join({At(0, {0xF0, 0x7F, 0x01}), EndOfTrack()}))}), readError},
      {"a tempo of 0 microseconds", Join({SmfHeader(0, 1, 96), SmfTrack(Join({Tempo(0, 0), EndOfTrack()}))}), readError},
      {"a tempo of 2 bytes", Join({SmfHeader(0, 1, 96), SmfTrack(Join({At(0, {0xFF, 0x51, 0x02, 0x07, 0xA1}), EndOfTrack()}))}), readError},
      {"a tempo of 4 bytes", Join({SmfHeader(0, 1, 96), SmfTrack(Join({At(0, {0xFF, 0x51, 0x04, 0, 0x07, 0xA1, 0x20}), EndOfTrack()}))}), readError},
      {"a file cut in an event", Join({SmfHeader(0, 1, 96), {'M', 'T', 'r', 'k', 0, 0, 0, 9, 0, 0x90, 60}}), readError},
      {"a track without its end", Join({SmfHeader(0, 1, 96), SmfTrack(note)}), readError},
      {"a second track missing", Join({SmfHeader(1, 2, 96), SmfTrack(Join({note, EndOfTrack()})), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}), readError},
      {"a data byte before any status", Join({SmfHeader(0, 1, 96), SmfTrack(Join({At(0, {60, 100}), EndOfTrack()}))}), readError},
  };
  return cases;
}

TEST_F(MFPlayer, HostileFilesFailWithTheirMessage) {
  for (const THostileCase& hostile : HostileCases()) {
    SCOPED_TRACE(hostile.what);
    ASSERT_EQ(Load(RunningStatusFile()), 1);
    messages.shown.clear();
    EXPECT_EQ(player.LoadBytes(hostile.bytes.data(), hostile.bytes.size(), "bad.mid"), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, hostile.message);
    // Nothing of the damaged file, nor of the one before, stays to be played.
    EXPECT_EQ(player.IsLoaded(), 0);
    EXPECT_TRUE(player.GetEvents().empty());
    EXPECT_EQ(player.GetSongLength(), 1);
  }
}

// Whatever the bytes, the loader answers and shows one message at most.
TEST_F(MFPlayer, DamagedCopiesOfAFileNeverCrashTheLoader) {
  const TBytes original = RunningStatusFile();
  std::mt19937 random(1234);
  for (int round = 0; round < 4000; ++round) {
    TBytes bytes = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    if (random() % 4 == 0) bytes.resize(random() % bytes.size());
    messages.shown.clear();
    const int32_t loaded = player.LoadBytes(bytes.data(), bytes.size(), "fuzz.mid");
    EXPECT_EQ(messages.shown.size(), loaded ? 0u : 1u);
    for (const TEvent& e : player.GetEvents()) ASSERT_LT(e.tick, TMFPlayer::noTick);
  }
}

// ---- Playback -------------------------------------------------------------------------

TBytes TwoTrackSong() {
  const TBytes drums = Join({At(0, {0x99, 36, 100}), At(48, {0x89, 36, 0}), At(0, {0x99, 38, 90}), At(48, {0x89, 38, 0}),
                             EndOfTrack(96)});
  const TBytes bass = Join({At(0, {0x90, 40, 80}), At(96, {0x80, 40, 0}), EndOfTrack()});
  return Join({SmfHeader(1, 2, 96), SmfTrack(drums), SmfTrack(bass)});
}

TEST_F(MFPlayer, PlaysBatchByBatchInTrackOrder) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);
  player.SetLoop(0);
  player.Process();  // tick 0
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{1, 9, 36, 100}, {1, 0, 40, 80}}));
  EXPECT_EQ(player.GetNextTick(), 48);
  EXPECT_FLOAT_EQ(player.GetNextTime(), 12.0f);  // 48 ticks of 24/96 clocks
  host.Clear();
  player.Process();  // tick 48
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{0, 9, 36, 0}, {1, 9, 38, 90}}));
  host.Clear();
  player.Process();  // tick 96: the last batch; the song ends without loop
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{0, 9, 38, 0}, {0, 0, 40, 0}}));
  EXPECT_EQ(host.playback.load(), 0);
  EXPECT_EQ(host.playbackSwitches.load(), 1);
  EXPECT_EQ(player.GetNextTick(), 0);  // rewound for the next start
  host.playback = 1;
  host.Clear();
  player.Process();
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{1, 9, 36, 100}, {1, 0, 40, 80}}));
}

TEST_F(MFPlayer, NothingPlaysUnlessPlaybackIsOnAndTheHostReady) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);
  host.ready = 0;
  player.Process();
  host.ready = 1;
  host.playback = 0;
  player.Process();
  player.ComputeNext();
  EXPECT_EQ(host.Count(), 0u);
  EXPECT_EQ(player.GetNextTick(), 0);
}

TEST_F(MFPlayer, LoopPassesKeepTheTimeGrowing) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);  // song length 192
  ASSERT_EQ(player.GetLoop(), 1);
  std::vector<float> times;
  for (int i = 0; i < 4; ++i) {
    player.Process();
    times.push_back(player.GetNextTime());
  }
  // 0 -> 48 -> 96 -> the song end at 192, which restarts at tick 0 of pass 1.
  EXPECT_EQ(times, (std::vector<float>{12.0f, 24.0f, 48.0f, 60.0f}));
  EXPECT_EQ(player.GetLoopCount(), 1);
  EXPECT_EQ(player.GetNextTick(), 48);
  EXPECT_FLOAT_EQ(player.GetNextTime(), (48 + 192) * 0.25f);
  PlayBatches(4);
  EXPECT_EQ(player.GetLoopCount(), 2);
  EXPECT_EQ(host.playback.load(), 1);
  EXPECT_EQ(player.SetLoop(0), 1);  // after two loops
  EXPECT_EQ(player.GetLoopCount(), 0);
  EXPECT_EQ(player.SetLoop(1), 0);
}

TEST_F(MFPlayer, The33rdNoteIsPlayedButNotTracked) {
  TBytes body;
  for (uint8_t n = 0; n < 33; ++n) body = Join({body, At(0, {0x90, static_cast<uint8_t>(40 + n), 100})});
  // Velocity 0 frees note 40; the song goes on beyond the first batch.
  body = Join({body, At(0, {0x90, 40, 0}), At(96, {0x90, 40, 0}), EndOfTrack(96)});
  ASSERT_EQ(Load(Join({SmfHeader(0, 1, 96), SmfTrack(body)})), 1);
  player.Process();
  EXPECT_EQ(host.Count(), 34u);
  host.Clear();
  player.StopPlayback();
  const std::vector<TEventRecord> offs = host.Events();
  // 32 tracked, one of them freed by its velocity 0: 31 note offs; note 72 was never tracked.
  ASSERT_EQ(offs.size(), 31u);
  for (const TEventRecord& off : offs) {
    EXPECT_EQ(off[0], 0);
    EXPECT_NE(off[2], 40);
    EXPECT_NE(off[2], 72);
    EXPECT_EQ(off[3], 0);
  }
  host.Clear();
  player.AllNotesOff();
  EXPECT_EQ(host.Count(), 0u);
}

TEST_F(MFPlayer, StopPlaybackRewindsAndSilences) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);
  player.Process();
  player.Process();
  host.Clear();
  player.StopPlayback();
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{0, 9, 38, 0}, {0, 0, 40, 0}}));
  EXPECT_EQ(player.GetNextTick(), 0);
  for (const TMFPlayer::TTrack& track : player.GetTracks()) EXPECT_EQ(track.current, track.first);
  host.Clear();
  player.Process();
  EXPECT_EQ(host.Events().front(), (TEventRecord{1, 9, 36, 100}));
}

TEST_F(MFPlayer, SetPositionSkipsWhatLiesBefore) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);
  player.SetPosition(48);  // half a quarter note: tick 48
  EXPECT_EQ(player.GetNextTick(), 48);
  EXPECT_EQ(player.GetNextTime(), 48.0f);
  EXPECT_EQ(player.GetTracks()[0].current, 1);
  EXPECT_EQ(player.GetTracks()[1].current, 5);  // the bass track's note off
  player.Process();
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{0, 9, 36, 0}, {1, 9, 38, 90}}));
  // Past the song end with loop: the passes are counted and the tick taken inside.
  player.SetPosition(96 * 2 + 24);
  EXPECT_EQ(player.GetLoopCount(), 1);
  EXPECT_EQ(player.GetNextTick(), 24);
}

TEST_F(MFPlayer, ALoadedFileStartsFromItsBeginning) {
  ASSERT_EQ(Load(TwoTrackSong()), 1);
  PlayBatches(6);
  ASSERT_GT(player.GetLoopCount(), 0);
  const uint32_t moves = player.GetRepositionCount();
  ASSERT_EQ(Load(RunningStatusFile()), 1);
  EXPECT_EQ(player.GetLoopCount(), 0);
  EXPECT_EQ(player.GetNextTick(), 0);
  EXPECT_EQ(player.GetNextTime(), 0.0f);
  EXPECT_GT(player.GetRepositionCount(), moves);
}

TEST_F(MFPlayer, LoadsByFileName) {
  InstallPosixPlatform();
  TTempDir dir;
  WriteFile(dir.File("song.mid"), TwoTrackSong());
  EPtr<IFileName> name(IFileName::Create(TStr(dir.File("song.mid").c_str())));
  EXPECT_EQ(player.Load(*name), 1);
  EXPECT_EQ(player.GetEvents().size(), 6u);
  EPtr<IFileName> missing(IFileName::Create(TStr(dir.File("missing.mid").c_str())));
  EXPECT_EQ(player.Load(*missing), 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, TStr(("Error while reading midi file " + dir.File("missing.mid") + ":").c_str()));
  EXPECT_EQ(GetPendingError(), nullptr);
}

}  // namespace
