// MIDI input from its own thread while the plug-in is reloaded and the audio port
// replaced on another: the MIDI path never reaches a plug-in or port that is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HostFixture.h"
#include "host/KEnsemble.h"

namespace {
class EnsembleThreadedTest : public HostFixture {};

TEST_F(EnsembleThreadedTest, ReloadAndPortChangeWhileMidiArrives) {
  TTestPort::Register(AudioPortASIO, true);
  auto ensemble = std::make_unique<KEnsemble>(nullptr, sources);
  TRecordingMidi* midi = TRecordingMidi::Last();
  ensemble->GetAudioPort()->Start();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> sent{0};
  std::thread input([&] {
    while (!stop.load()) {
      midi->Inject(MidiNoteOn, 0, 60, 100);
      midi->Inject(MidiSystem, MidiTimingClock, 0, 0);
      sent.fetch_add(1);
    }
  });
  for (int round = 0; round < 20; ++round) {
    ensemble->CreatePlug();
    ensemble->ChangePort(round % 2 ? AudioPortMultiMedia : AudioPortASIO);
  }
  while (sent.load() < 1000) std::this_thread::yield();
  stop.store(true);
  input.join();
  EXPECT_TRUE(ensemble->GetPlug()->IsLoaded());
  ensemble.reset();
  EXPECT_EQ(loader.Loads(), 21);
  EXPECT_EQ(loader.Unloads(), 21);
}
}  // namespace
