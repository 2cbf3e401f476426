// MIDI that arrives while audio does not run is dropped and counted instead of being
// kept for a burst when audio runs again; a short suspend (a block-size change) keeps
// what arrives; the user is told about drops at most once a second.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "HostFixture.h"
#include "host/THost.h"

namespace {
class TRecordingStatus : public IStatusPresenter {
public:
  TRecordingStatus() : previous(SetStatusPresenter(this)) {}
  ~TRecordingStatus() override { SetStatusPresenter(previous); }
  void ShowStatus(const TStr& text) override { shown.push_back(text); }
  std::vector<TStr> shown;

private:
  IStatusPresenter* previous;
};

class DroppedEventsTest : public HostFixture {
protected:
  // Events handed to the plug-in in the next block.
  size_t EventsOfNextBlock(TTestPort& port) {
    TFakePlugin::Get().ClearRecord();
    port.Process();
    const auto blocks = TFakePlugin::Get().Blocks();
    return blocks.empty() ? 0 : blocks.back().size();
  }
  TRecordingStatus status;
};

TEST_F(DroppedEventsTest, KeysPressedWhileAudioIsStoppedAreDroppedNotBurstOutLater) {
  THost host(sources);
  host.InitFrame();  // audio starts
  TTestPort* port = TTestPort::Last();
  ASSERT_NE(port, nullptr);
  host.Execute(1200);  // Stop Audio
  for (int i = 0; i < 3000; ++i) host.GetEnsemble()->PlayNote(60 + i % 36, 100);
  host.Execute(1200);  // Run Audio
  EXPECT_EQ(EventsOfNextBlock(*port), 0u);
  EXPECT_EQ(host.GetEnsemble()->GetDroppedWhileStopped(), 3000);
  // Running again, a note arrives in the next block.
  host.GetEnsemble()->PlayNote(36, 100);
  EXPECT_EQ(EventsOfNextBlock(*port), 1u);
  host.Idle();
  ASSERT_EQ(status.shown.size(), 1u);
  EXPECT_EQ(status.shown[0], "MIDI events dropped: 3000 while audio was off, 0 with the plug-in's queue full");
}

TEST_F(DroppedEventsTest, ABlockSizeChangeKeepsWhatArrivesMeanwhile) {
  THost host(sources);
  host.InitFrame();
  TTestPort* port = TTestPort::Last();
  TRecordingMidi* midi = TRecordingMidi::Last();
  port->whileApplyingBlockSize = [midi] {
    for (int key = 36; key < 40; ++key) midi->Inject(MidiNoteOn, 9, key, 100);
  };
  port->SetBlockSize(256);
  port->whileApplyingBlockSize = nullptr;
  EXPECT_EQ(EventsOfNextBlock(*port), 4u);
  EXPECT_EQ(host.GetEnsemble()->GetDroppedWhileStopped(), 0);
  host.Idle();
  EXPECT_TRUE(status.shown.empty());
}

TEST_F(DroppedEventsTest, APortThatProcessesNothingTakesNoEvents) {
  TTestPort::Unregister(AudioPortMultiMedia);  // the null port
  THost host(sources);
  host.InitFrame();
  TRecordingMidi::Last()->Inject(MidiNoteOn, 9, 36, 100);
  EXPECT_EQ(host.GetEnsemble()->GetDroppedWhileStopped(), 1);
}

TEST_F(DroppedEventsTest, DropsAreReportedAtMostOnceASecondWhileTheyHappen) {
  THost host(sources);
  host.InitFrame();
  host.Execute(1200);
  KEnsemble& ensemble = *host.GetEnsemble();
  ensemble.PlayNote(60, 100);
  host.Idle();
  ensemble.PlayNote(61, 100);
  host.Idle();  // within the second: nothing new shown
  EXPECT_EQ(status.shown.size(), 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  host.Idle();
  ASSERT_EQ(status.shown.size(), 2u);
  EXPECT_EQ(status.shown[1], "MIDI events dropped: 2 while audio was off, 0 with the plug-in's queue full");
  host.Idle();  // no new drops: nothing more
  EXPECT_EQ(status.shown.size(), 2u);
}
}  // namespace
