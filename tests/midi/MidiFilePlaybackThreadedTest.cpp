// The player's scheduler on an audio thread while the user-interface thread loads
// files, starts, stops, loops and moves the player.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "MidiTestSupport.h"
#include "foundation/IFileName.h"
#include "midi/TMidiFilePlayback.h"
#include "pc/foundation/PosixPlatform.h"

namespace {

// The ensemble's side: events to a recording host, offsets kept, the test's clock.
class TSongTarget : public TBase, public virtual ISongHost {
public:
  explicit TSongTarget(TRecordingHost& events, IMidiClock& clock) : events(events), clock(clock) {}
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override {
    events.OnMidiInput(kind, channel, data1, data2);
  }
  void SetEventOffset(int32_t frame) override { last.store(frame, std::memory_order_relaxed); }
  bool IsPlugReady() override { return true; }
  IMidiClock* GetSongClock() override { return &clock; }
  TRecordingHost& events;
  IMidiClock& clock;
  std::atomic<int32_t> last{0};
};

TBytes Song(uint8_t note, int32_t division) {
  TBytes body;
  for (int i = 0; i < 64; ++i)
    body = Join({body, At(i == 0 ? 0 : 6, {0x99, note, 100}), At(6, {0x89, note, 0})});
  return Join({SmfHeader(0, 1, division), SmfTrack(Join({body, EndOfTrack()}))});
}

TEST(MidiFilePlaybackThreads, CommandsWhileTheAudioThreadPlays) {
  InstallPosixPlatform();
  TScriptedPresenter messages;
  TTempDir dir;
  WriteFile(dir.File("a.mid"), Song(36, 24));
  WriteFile(dir.File("b.mid"), Song(38, 12));
  EPtr<IFileName> a(IFileName::Create(TStr(dir.File("a.mid").c_str())));
  EPtr<IFileName> b(IFileName::Create(TStr(dir.File("b.mid").c_str())));
  TRecordingHost host;
  TMidiClock clock;
  TSongTarget target(host, clock);
  TMidiFilePlayback playback(&target);
  ASSERT_EQ(playback.OpenMidiFile(*a), 1);

  std::atomic<bool> stop{false};
  std::thread audio([&] {
    while (!stop) {
      playback.ProcessBlock(64);
      std::this_thread::yield();
    }
  });
  std::thread midi([&] {
    int32_t sample = 1;
    while (!stop) {
      clock.Tick(sample += 400);
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 300; ++round) {
    switch (round % 6) {
      case 0: playback.OpenMidiFile(round % 12 ? *a : *b); break;
      case 1: playback.TogglePlayback(); break;
      case 2: playback.ToggleLoop(); break;
      case 3: playback.ToggleSync(); break;
      case 4: playback.GetPlayer().SetPosition(round * 7); break;
      default: playback.TogglePlayback(); break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  stop = true;
  audio.join();
  midi.join();
  EXPECT_GT(host.Count(), 0u);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
