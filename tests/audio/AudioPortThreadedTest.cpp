// A port whose device thread processes blocks on its own while another thread
// starts, stops, pauses, resumes and resizes it and MIDI arrives from a third: the
// plug-in never processes while suspended and every event reaches it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HostFixture.h"
#include "host/KEnsemble.h"

namespace {
class AudioPortThreadedTest : public HostFixture {};

TEST_F(AudioPortThreadedTest, ThePlugInNeverProcessesWhileSuspended) {
  auto ensemble = std::make_unique<KEnsemble>(nullptr, sources);
  TTestPort* port = TTestPort::Last();
  TRecordingMidi* midi = TRecordingMidi::Last();
  ASSERT_NE(port, nullptr);
  port->RunDeviceThread(true);
  port->SetBlockSize(32);

  std::atomic<bool> stop{false};
  std::thread midiThread([&] {
    int32_t key = 0;
    while (!stop.load()) {
      midi->Inject(MidiNoteOn, 0, key, 100);
      key = (key + 1) & 0x7F;
      std::this_thread::yield();
    }
  });
  std::thread control([&] {
    for (int round = 0; round < 60; ++round) {
      port->Start();
      std::this_thread::yield();
      port->Pause();
      port->Resume();
      port->SetBlockSize(16 + round % 48);
      std::this_thread::yield();
      port->Stop();
    }
    port->Start();
  });
  control.join();
  while (TFakePlugin::Get().ProcessCount() < 200) std::this_thread::yield();
  stop.store(true);
  midiThread.join();
  ensemble.reset();
  EXPECT_GT(TFakePlugin::Get().ProcessCount(), 0);
  EXPECT_EQ(TFakePlugin::Get().ProcessedWhileSuspended(), 0);
  EXPECT_FALSE(TFakePlugin::Get().IsOpen());
}
}  // namespace
