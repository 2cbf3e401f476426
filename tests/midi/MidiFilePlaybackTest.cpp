// The player's scheduler on the audio thread's block cycle, and the host's MIDI file
// commands.
#include <gtest/gtest.h>

#include <map>

#include "MidiTestSupport.h"
#include "foundation/IFileName.h"
#include "foundation/ScriptedFileDialogPresenter.h"
#include "midi/TMidiFilePlayback.h"
#include "pc/foundation/PosixPlatform.h"

namespace {

constexpr int32_t blockFrames = 512;

struct TTimed {
  int64_t frame;  // from the first block on
  TEventRecord event;
};

// The ensemble's side: records each event with the frame that the scheduler set for
// it, answers whether the plug-in is ready and which clock the song follows.
class TTimeline : public TBase, public virtual ISongHost {
public:
  void SetEventOffset(int32_t offset) override { frame = offset; }
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override {
    events.push_back({block * blockFrames + frame, {kind, channel, data1, data2}});
  }
  bool IsPlugReady() override { return ready; }
  IMidiClock* GetSongClock() override { return clock; }
  int64_t block = 0;
  int32_t frame = 0;
  bool ready = true;
  IMidiClock* clock = nullptr;
  std::vector<TTimed> events;
};

// Drums at ticks 0, 48 and 96 of a song of 192 ticks (96 per quarter note).
TBytes Groove() {
  const TBytes drums = Join({At(0, {0x99, 36, 100}), At(48, {0x89, 36, 0}), At(0, {0x99, 38, 90}), At(48, {0x89, 38, 0}),
                             EndOfTrack(96)});
  return Join({SmfHeader(0, 1, 96), SmfTrack(drums)});
}

class MidiFilePlayback : public ::testing::Test {
protected:
  void SetUp() override { InstallPosixPlatform(); }
  int32_t Open(const TBytes& bytes) {
    WriteFile(dir.File("song.mid"), bytes);
    EPtr<IFileName> name(IFileName::Create(TStr(dir.File("song.mid").c_str())));
    return playback.OpenMidiFile(*name);
  }
  void RunBlocks(int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      playback.ProcessBlock(blockFrames);
      ++timeline.block;
    }
  }
  std::vector<int64_t> Frames() const {
    std::vector<int64_t> frames;
    for (const TTimed& t : timeline.events) frames.push_back(t.frame);
    return frames;
  }
  TScriptedPresenter messages;
  TTempDir dir;
  TTimeline timeline;
  TMidiFilePlayback playback{&timeline};
};

void ExpectFramesNear(const std::vector<int64_t>& got, const std::vector<int64_t>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1) << "event " << i;
}

TEST_F(MidiFilePlayback, EventsReachTheirFrameAt120BpmWithoutAClock) {
  ASSERT_EQ(Open(Groove()), 1);
  RunBlocks(110);  // 1.28 s: one pass of 44100 frames and a little of the next
  // A quarter note lasts 22050 frames; tick 48 is an eighth note.
  ExpectFramesNear(Frames(), {0, 11025, 11025, 22050, 44100, 44100 + 11025, 44100 + 11025});
  EXPECT_EQ(timeline.events[1].event, (TEventRecord{0, 9, 36, 0}));
  EXPECT_EQ(timeline.events[2].event, (TEventRecord{1, 9, 38, 90}));
}

TEST_F(MidiFilePlayback, AMeasuredClockSetsTheTempo) {
  TMidiClock clock;
  clock.SetSampleRate(48000.0f);
  const double perTick = 48000.0 * 60.0 / 100.0 / 24.0;
  for (int i = 1; i <= 24 * 8; ++i) clock.Tick(static_cast<int32_t>(i * perTick));
  ASSERT_NEAR(clock.GetTempo(), 100.0, 0.2);
  timeline.clock = &clock;
  ASSERT_EQ(Open(Groove()), 1);
  RunBlocks(60);
  // An eighth note at 100 BPM and 48000 Hz: 14400 frames.
  ASSERT_GE(timeline.events.size(), 4u);
  EXPECT_NEAR(timeline.events[1].frame, 14400, 2);
  EXPECT_NEAR(timeline.events[3].frame, 28800, 2);
}

TEST_F(MidiFilePlayback, WithSyncTheIncomingClocksDriveThePlayer) {
  TMidiClock clock;
  timeline.clock = &clock;
  ASSERT_EQ(Open(Groove()), 1);
  playback.ToggleSync();
  EXPECT_TRUE(playback.IsSyncChecked());
  RunBlocks(20);
  EXPECT_TRUE(timeline.events.empty());  // no clock, no time
  int32_t sample = 1;
  auto tick = [&](int count) {
    for (int i = 0; i < count; ++i) clock.Tick(sample += 900);
    RunBlocks(1);
  };
  tick(1);
  ASSERT_EQ(timeline.events.size(), 1u);  // tick 0 is due with the first clock
  tick(11);
  EXPECT_EQ(timeline.events.size(), 1u);
  tick(1);  // the 13th clock: clock count 12, tick 48
  EXPECT_EQ(timeline.events.size(), 3u);
  // A start message: the player begins again with the sequencer.
  clock.Start(sample);
  tick(1);
  ASSERT_EQ(timeline.events.size(), 5u);
  EXPECT_EQ(timeline.events[3].event, (TEventRecord{0, 9, 38, 0}));  // the note that sounded
  EXPECT_EQ(timeline.events[4].event, (TEventRecord{1, 9, 36, 100}));
}

TEST_F(MidiFilePlayback, WithoutLoopTheSongEndsAndTheSwitchFollows) {
  ASSERT_EQ(Open(Groove()), 1);
  playback.ToggleLoop();
  ASSERT_EQ(playback.GetPlayer().GetLoop(), 0);
  EXPECT_FALSE(playback.IsLoopChecked());
  RunBlocks(200);
  EXPECT_EQ(timeline.events.size(), 4u);
  EXPECT_EQ(playback.IsEnabled(), 0);
  EXPECT_EQ(playback.GetFlag(), 0);
  // The mark follows the song's end on the audio thread at once.
  EXPECT_FALSE(playback.IsPlaybackChecked());
  // Playback switched on again starts from the beginning at the next block.
  playback.TogglePlayback();
  const size_t before = timeline.events.size();
  RunBlocks(1);
  ASSERT_EQ(timeline.events.size(), before + 1);
  EXPECT_EQ(timeline.events.back().frame, timeline.block * blockFrames - blockFrames);
}

TEST_F(MidiFilePlayback, StopPlaybackSilencesAndANotReadyHostPlaysNothing) {
  ASSERT_EQ(Open(Groove()), 1);
  RunBlocks(2);
  ASSERT_EQ(timeline.events.size(), 1u);
  playback.TogglePlayback();  // off: the sounding note is switched off
  ASSERT_EQ(timeline.events.size(), 2u);
  EXPECT_EQ(timeline.events[1].event, (TEventRecord{0, 9, 36, 0}));
  EXPECT_FALSE(playback.IsPlaybackChecked());
  RunBlocks(100);
  EXPECT_EQ(timeline.events.size(), 2u);
  playback.TogglePlayback();
  timeline.ready = false;
  RunBlocks(100);
  EXPECT_EQ(timeline.events.size(), 2u);
  timeline.ready = true;
  RunBlocks(1);
  EXPECT_EQ(timeline.events.size(), 3u);
}

TEST_F(MidiFilePlayback, AVeryShortLoopIsBoundedPerBlock) {
  // One tick long at 960 per quarter note: hundreds of passes per block.
  ASSERT_EQ(Open(Join({SmfHeader(0, 1, 960), SmfTrack(Join({At(0, {0x99, 42, 1}), EndOfTrack(1)}))})), 1);
  RunBlocks(1);
  EXPECT_LE(timeline.events.size(), size_t(TSongScheduler::maxBatchesPerBlock) * 2);
  EXPECT_GT(timeline.events.size(), 10u);
}

TEST_F(MidiFilePlayback, OpeningAFileSwitchesPlaybackAndLoopOn) {
  EXPECT_FALSE(playback.IsFileLoaded());
  playback.GetPlayer().SetLoop(0);
  ASSERT_EQ(Open(Groove()), 1);
  EXPECT_EQ(playback.IsLoaded(), 1);
  EXPECT_EQ(playback.IsEnabled(), 1);
  EXPECT_EQ(playback.GetFlag(), 1);
  EXPECT_TRUE(playback.IsPlaybackChecked());
  EXPECT_TRUE(playback.IsLoopChecked());
  EXPECT_EQ(playback.GetPlayer().GetLoop(), 1);
  EXPECT_TRUE(playback.IsFileLoaded());
  // A file that cannot be loaded leaves nothing loaded and playback off.
  ASSERT_EQ(Open(TBytes{'R', 'I', 'F', 'F'}), 0);
  EXPECT_EQ(playback.IsLoaded(), 0);
  EXPECT_EQ(playback.IsEnabled(), 0);
  EXPECT_FALSE(playback.IsPlaybackChecked());
  EXPECT_FALSE(playback.IsFileLoaded());
  EXPECT_EQ(messages.Texts(), std::vector<TStr>{"Not a Standard Midi File"});
}

TEST_F(MidiFilePlayback, LoopOffAfterPassesStopsPlayback) {
  ASSERT_EQ(Open(Groove()), 1);
  RunBlocks(200);  // two passes and more
  ASSERT_GE(playback.GetPlayer().GetLoopCount(), 2);
  playback.ToggleLoop();
  EXPECT_EQ(playback.GetPlayer().GetLoop(), 0);
  EXPECT_EQ(playback.IsEnabled(), 0);  // playback went off as well
  EXPECT_FALSE(playback.IsPlaybackChecked());
  EXPECT_FALSE(playback.IsLoopChecked());
}

TEST_F(MidiFilePlayback, TheOpenCommandAsksForAMidiFile) {
  TScriptedFileDialogPresenter dialogs;
  WriteFile(dir.File("chosen.mid"), Groove());
  dialogs.AnswerCancel();
  playback.OpenMidiFileCommand();
  EXPECT_EQ(playback.IsLoaded(), 0);
  dialogs.AnswerPath(TStr(dir.File("chosen.mid").c_str()));
  playback.OpenMidiFileCommand();
  ASSERT_EQ(dialogs.requests.size(), 2u);
  EXPECT_EQ(dialogs.requests[0].title, "Open");
  EXPECT_EQ(dialogs.requests[0].kind, EFileDialog::Open);
  EXPECT_EQ(dialogs.requests[0].defaultExtension, GetFileType(FileTypeMidi).extension);
  EXPECT_EQ(playback.IsLoaded(), 1);
  EXPECT_EQ(playback.IsEnabled(), 1);
}

}  // namespace
