// The audio cycle between a test port that the test drives block by block and the
// plug-in: the per-block steps, the events of each block, the system messages, and
// the plug-in calls around start, stop, pause, resume, block size and rate changes.
#include <gtest/gtest.h>

#include "HostFixture.h"
#include "audio/THDRecordingPrp.h"
#include "host/KEnsemble.h"

namespace {
class AudioCycleTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    ensemble = std::make_unique<KEnsemble>(nullptr, sources);
    port = TTestPort::Last();
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(ensemble->GetAudioPort(), static_cast<IAudioInOut*>(port));
    midi = TRecordingMidi::Last();
    ASSERT_NE(midi, nullptr);
  }
  void TearDown() override {
    ensemble.reset();
    HostFixture::TearDown();
  }
  // The plug-in calls of the log since the last Clear, with the device steps.
  static std::vector<std::string> Log() { return TCallLog::Get().Entries(); }
  static void ClearLogs() {
    TCallLog::Get().Clear();
    TFakePlugin::Get().ClearRecord();
  }

  std::unique_ptr<KEnsemble> ensemble;
  TTestPort* port = nullptr;
  TRecordingMidi* midi = nullptr;
};

TEST_F(AudioCycleTest, StartTellsBlockSizeAndSampleRateAndResumesBeforeTheDeviceRuns) {
  ClearLogs();
  port->Start();
  EXPECT_EQ(Log(), (std::vector<std::string>{"device:open", "plug:11", "plug:10", "plug:11", "plug:12:1", "device:start"}));
  const auto calls = TFakePlugin::Get().Calls();
  EXPECT_EQ(calls[0].value, 512);
  EXPECT_FLOAT_EQ(calls[1].opt, 44100.0f);
  EXPECT_TRUE(TFakePlugin::Get().IsActive());

  ClearLogs();
  port->Pause();
  EXPECT_EQ(Log(), (std::vector<std::string>{"device:stop", "plug:12:0"}));
  ClearLogs();
  port->Resume();
  EXPECT_EQ(Log(), (std::vector<std::string>{"plug:11", "plug:12:1", "device:start"}));
  ClearLogs();
  port->Stop();
  // The device stops before the plug-in is suspended.
  EXPECT_EQ(Log(), (std::vector<std::string>{"device:stop", "plug:12:0", "device:close"}));
}

TEST_F(AudioCycleTest, EveryBlockHandsOverItsEventsBeforeProcessingAlsoWhenThereAreNone) {
  port->Start();
  ClearLogs();
  for (int i = 0; i < 3; ++i) port->Process();
  std::vector<int32_t> opcodes = TFakePlugin::Get().Opcodes();
  EXPECT_EQ(opcodes, (std::vector<int32_t>{effProcessEvents, -1, effProcessEvents, -1, effProcessEvents, -1}));
  EXPECT_EQ(TFakePlugin::Get().BlocksWithoutEvents(), 0);
  for (const TFakeCall& call : TFakePlugin::Get().Calls()) {
    if (call.opcode == effProcessEvents) {
      EXPECT_EQ(call.value, 0);
    }
    if (call.opcode == -1) {
      EXPECT_EQ(call.value, 512);
    }
  }
  EXPECT_EQ(port->GetFramePosition(), 3 * 512);
}

TEST_F(AudioCycleTest, EventsOfABlockCarryDeltaFramesFromZeroAndStartAgainAfterTheFlush) {
  port->Start();
  ClearLogs();
  midi->Inject(MidiNoteOn, 9, 36, 100);
  midi->Inject(MidiNoteOn, 9, 38, 90);
  midi->Inject(MidiControl, 9, 7, 64);
  port->Process();
  midi->Inject(MidiNoteOff, 9, 36, 0);
  port->Process();
  port->Process();
  const auto blocks = TFakePlugin::Get().Blocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], (std::vector<TFakeEvent>{{0, 0x99, 36, 100}, {1, 0x99, 38, 90}, {2, 0xB9, 7, 64}}));
  EXPECT_EQ(blocks[1], (std::vector<TFakeEvent>{{0, 0x89, 36, 0}}));
  EXPECT_TRUE(blocks[2].empty());
}

TEST_F(AudioCycleTest, SystemMessagesReachTheClockAndNeverThePlugIn) {
  port->Start();
  auto* clock = new TRecordingClock;
  ensemble->SetClock(clock);
  ClearLogs();
  port->Process();
  port->Process();
  midi->Inject(MidiSystem, MidiSongPosition, 0x10, 0x01);
  midi->Inject(MidiSystem, MidiStart, 0, 0);
  midi->Inject(MidiSystem, MidiTimingClock, 0, 0);
  midi->Inject(MidiSystem, MidiContinue, 0, 0);  // accepted, but not for the clock
  midi->Inject(MidiSystem, 14, 0, 0);            // active sensing: refused
  port->Process();
  EXPECT_EQ(clock->Calls(), (std::vector<std::string>{"SongPosition 1024 864", "Start 1024", "Tick 1024"}));
  for (const auto& block : TFakePlugin::Get().Blocks()) EXPECT_TRUE(block.empty());

  // While the hold count is up, the clock hears nothing.
  ensemble->AdjustSyncHold(1);
  midi->Inject(MidiSystem, MidiTimingClock, 0, 0);
  ensemble->AdjustSyncHold(-1);
  EXPECT_EQ(clock->Calls().size(), 3u);
  // A channel switched off refuses the system messages that use its number.
  midi->SetChannelOn(9, 0);
  midi->Inject(MidiSystem, MidiTimingClock, 0, 0);
  EXPECT_EQ(clock->Calls().size(), 3u);
}

TEST_F(AudioCycleTest, ABlockSizeOf10000KeepsTheSizeButStillSuspendsTellsAndResumes) {
  port->Start();
  ClearLogs();
  port->SetBlockSize(10000);
  EXPECT_EQ(port->GetBlockSize(), 512);
  EXPECT_EQ(Log(), (std::vector<std::string>{"device:stop", "plug:12:0", "device:blocksize:512", "plug:11", "plug:11",
                                             "plug:12:1", "device:start"}));
  for (const TFakeCall& call : TFakePlugin::Get().Calls())
    if (call.opcode == effSetBlockSize) {
      EXPECT_EQ(call.value, 512);
    }
  port->SetBlockSize(9999);
  EXPECT_EQ(port->GetBlockSize(), 9999);
  EXPECT_EQ(port->GetDeviceBlockFrames(), 9999);
  EXPECT_EQ(port->appliedBlockSize, 9999);
  // Sizes below one frame are no block size either.
  port->SetBlockSize(0);
  port->SetBlockSize(-5);
  EXPECT_EQ(port->GetBlockSize(), 9999);
  ClearLogs();
  port->Process();
  EXPECT_EQ(TFakePlugin::Get().Calls().back().value, 9999);
}

TEST_F(AudioCycleTest, ARateChangePausesTellsTheRateAndResumes) {
  auto* clock = new TRecordingClock;
  ensemble->SetClock(clock);
  port->Start();
  ClearLogs();
  ensemble->GetSampleRateValue().Set(88200.0f, nullptr);
  ensemble->GetRateFactor().Set(2.0f, nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"device:stop", "plug:12:0", "device:conversion", "plug:10", "plug:11",
                                             "plug:12:1", "device:start"}));
  const auto calls = TFakePlugin::Get().Calls();
  EXPECT_FLOAT_EQ(calls[1].opt, 88200.0f);
  EXPECT_EQ(clock->Calls().back(), "SetSampleRate 88200");
}

TEST_F(AudioCycleTest, InputAndOutputFramesRunThroughThePortsConversions) {
  TFakePlugin::Get().outputValue = 0.5f;
  port->inputValue = -0.75f;
  port->recordOutput = true;
  port->SetBlockSize(64);
  port->Process();
  ASSERT_EQ(port->written.size(), 64u);
  for (float sample : port->written) EXPECT_FLOAT_EQ(sample, 0.5f);  // gain 1.0
  for (int32_t i = 0; i < 64; ++i) {
    EXPECT_FLOAT_EQ(port->GetInputBuffer(0)[i], -0.75f);
    EXPECT_FLOAT_EQ(port->GetInputBuffer(1)[i], -0.75f);
    EXPECT_FLOAT_EQ(port->GetInputBuffer(2)[i], 0.0f);
  }
  EXPECT_FALSE(port->IsBusy());
}

TEST_F(AudioCycleTest, ThePluginsMidiOutputTakesTheSendChannel) {
  auto* plug = dynamic_cast<TVSTPlug*>(ensemble->GetPlug());
  ASSERT_NE(plug, nullptr);
  midi->SetChannelMask(0x0200);  // only channel 10: send channel 10
  ASSERT_EQ(midi->GetSendChannel(), 10);
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = 24;
  note.midiData[0] = static_cast<char>(0x93);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstMidiEvent control = note;
  control.midiData[0] = static_cast<char>(0xB9);  // already on channel 10
  VstEvent sysex{};
  sysex.type = kVstSysExType;
  VstEventList<3> list{};
  list.numEvents = 3;
  list.events[0] = reinterpret_cast<VstEvent*>(&note);
  list.events[1] = &sysex;
  list.events[2] = reinterpret_cast<VstEvent*>(&control);
  TFakePlugin::Get().Host()(plug->GetEffect(), audioMasterProcessEvents, 0, 0, list.AsEvents(), 0);
  EXPECT_EQ(midi->Sent(), (std::vector<std::pair<int32_t, uint32_t>>{{0, 0x99 | 60 << 8 | 100 << 16}, {0, 0xB9 | 60 << 8 | 100 << 16}}));
}

TEST_F(AudioCycleTest, TheTransportRequestsOfThePlugInReachThePort) {
  auto* plug = dynamic_cast<TVSTPlug*>(ensemble->GetPlug());
  ASSERT_NE(plug, nullptr);
  // The transports keep all their flags clear until their commands exist; the
  // request arrives and leaves the port idle.
  THDRecordingPrp record;
  record.command = THDRecordingPrp::tapeStatus;
  EXPECT_EQ(TFakePlugin::Get().Host()(plug->GetEffect(), audioMasterVendorSpecific, 1, 0, &record, 0), 0);
  EXPECT_EQ(port->GetTransports().GetState().tapeRecording.load(), 0);
}
}  // namespace
