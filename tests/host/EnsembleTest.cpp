// The ensemble's MIDI routing: the input entry with Accept, the send operations,
// PlayNote and the output failed flag.
#include <gtest/gtest.h>

#include "HostFixture.h"
#include "host/KEnsemble.h"

namespace {
class EnsembleTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    ensemble = std::make_unique<KEnsemble>(nullptr, sources);
    midi = TRecordingMidi::Last();
    port = TTestPort::Last();
    ASSERT_NE(midi, nullptr);
    ASSERT_NE(port, nullptr);
    port->Start();
  }
  void TearDown() override {
    ensemble.reset();
    HostFixture::TearDown();
  }
  std::vector<TFakeEvent> NextBlock() {
    TFakePlugin::Get().ClearRecord();
    port->Process();
    const auto blocks = TFakePlugin::Get().Blocks();
    return blocks.empty() ? std::vector<TFakeEvent>{} : blocks.back();
  }
  std::unique_ptr<KEnsemble> ensemble;
  TRecordingMidi* midi = nullptr;
  TTestPort* port = nullptr;
};

TEST_F(EnsembleTest, SendOperationsGoToThePlugInOrToAnOutputPacked) {
  ensemble->SendNoteOn(-1, 2, 0xBC, 0x1FF);  // data masked to 7 bits
  ensemble->SendNoteOff(-1, 2, 60, 0);
  ensemble->SendPolyPressure(-1, 2, 60, 5);
  ensemble->SendControl(-1, 2, 7, 100);
  ensemble->SendProgram(-1, 2, 9);
  ensemble->SendChannelPressure(-1, 2, 33);
  ensemble->SendPitchBend(-1, 2, 0, 64);
  EXPECT_EQ(NextBlock(), (std::vector<TFakeEvent>{{0, 0x92, 0x3C, 0x7F},
                                                  {1, 0x82, 60, 0},
                                                  {2, 0xA2, 60, 5},
                                                  {3, 0xB2, 7, 100},
                                                  {4, 0xC2, 9, 0},
                                                  {5, 0xD2, 33, 0},
                                                  {6, 0xE2, 0, 64}}));
  ensemble->SendNoteOn(0, 3, 60, 100);
  ensemble->SendControl(2, 15, 0x87, 1);
  ensemble->SendProgram(1, 0, 5);
  ensemble->SendRaw(4, 0x00FF10F8u);
  EXPECT_EQ(midi->Sent(), (std::vector<std::pair<int32_t, uint32_t>>{{0, 0x93 | 60 << 8 | 100 << 16},
                                                                      {2, 0xBF | 0x07 << 8 | 1 << 16},
                                                                      {1, 0xC0 | 5 << 8},
                                                                      {4, 0x00FF10F8u}}));
  EXPECT_TRUE(NextBlock().empty());
}

TEST_F(EnsembleTest, PlayNoteSendsToOutputZeroAndThePlugInOnTheSendChannel) {
  midi->SetChannelMask(0x0200);  // channel 10 only, the drummer's channel
  ensemble->PlayNote(36, 120);
  ensemble->PlayNote(36, 0);
  EXPECT_EQ(midi->Sent(), (std::vector<std::pair<int32_t, uint32_t>>{{0, 0x99 | 36 << 8 | 120 << 16}, {0, 0x99 | 36 << 8}}));
  EXPECT_EQ(NextBlock(), (std::vector<TFakeEvent>{{0, 0x99, 36, 120}, {1, 0x99, 36, 0}}));
}

TEST_F(EnsembleTest, InputThatThePortRefusesGoesNowhere) {
  midi->SetInputFilter(MidiControl, 1);
  midi->Inject(MidiControl, 0, 7, 100);
  midi->Inject(MidiNoteOn, 0, 200, 100);
  midi->SetChannelOn(2, 0);
  midi->Inject(MidiNoteOn, 1, 60, 100);
  midi->Inject(MidiNoteOn, 0, 60, 100);
  EXPECT_EQ(NextBlock(), (std::vector<TFakeEvent>{{0, 0x90, 60, 100}}));
}

TEST_F(EnsembleTest, WithoutAPlugInMidiInputDoesNothing) {
  ensemble.reset();
  TFakePlugin::Get().Reset();
  TFakePlugin::Get().mainAnswersNull = true;
  TCallLog::Get().Clear();
  ensemble = std::make_unique<KEnsemble>(nullptr, sources);
  midi = TRecordingMidi::Last();
  midi->Inject(MidiNoteOn, 0, 60, 100);
  ensemble->PlayNote(60, 100);
  EXPECT_EQ(ensemble->GetPlug()->IsLoaded(), false);
  EXPECT_EQ(TCallLog::Get().Find("midi:Start"), -1);  // the MIDI port starts only with a plug-in
}

TEST_F(EnsembleTest, TheOutputFailedFlagIsAnsweredAndCleared) {
  EXPECT_FALSE(ensemble->TakeMidiOutputFailed());
  SetMidiOutputFailed();
  EXPECT_TRUE(ensemble->TakeMidiOutputFailed());
  EXPECT_FALSE(ensemble->TakeMidiOutputFailed());
}

TEST_F(EnsembleTest, UndoSettingsAreReadAtConstruction) {
  EXPECT_EQ(ensemble->GetUndoEnabled(), 0);
  EXPECT_EQ(ensemble->GetUndoMax(), 20);
  ensemble.reset();
  IRegistry::SetDword("UndoEnabled", 1);
  IRegistry::SetDword("UndoMax", 5);
  KEnsemble other(nullptr, sources);
  EXPECT_EQ(other.GetUndoEnabled(), 1);
  EXPECT_EQ(other.GetUndoMax(), 5);
}

TEST_F(EnsembleTest, TheTimeRequestAnswersTheClocksRecord) {
  auto* plug = dynamic_cast<TVSTPlug*>(ensemble->GetPlug());
  ASSERT_NE(plug, nullptr);
  const auto* info = reinterpret_cast<const VstTimeInfo*>(
      TFakePlugin::Get().Host()(plug->GetEffect(), audioMasterGetTime, 0, 0, nullptr, 0));
  ASSERT_NE(info, nullptr);
  EXPECT_DOUBLE_EQ(info->tempo, 120.0);
  EXPECT_DOUBLE_EQ(info->sampleRate, 44100.0);
  EXPECT_EQ(info->flags, 0x2602);
}

TEST_F(EnsembleTest, ChangingThePortStopsTheOldOneAndStartsTheNew) {
  TTestPort::Register(AudioPortASIO, true);
  TCallLog::Get().Clear();
  ensemble->ChangePort(AudioPortASIO);
  auto at = [](const char* entry) { return TCallLog::Get().Find(entry); };
  EXPECT_LT(at("device:stop"), at("port:destroy"));
  EXPECT_LT(at("port:destroy"), at("port:construct"));
  EXPECT_LT(at("port:construct"), at("device:start"));
  EXPECT_EQ(ensemble->GetAudioPort()->GetPortType(), AudioPortASIO);
  EXPECT_EQ(IRegistry::GetString("AudioPort", ""), "MultiMedia");
  EXPECT_TRUE(TFakePlugin::Get().IsActive());
}
}  // namespace
