// The soundcard port on simulated devices and a simulated clock: which devices it
// offers and selects, the delays it reads and writes back, the tick's block choice and
// limits, the skip counter, the open failures and their fall-backs, the DirectSound
// output, the measured delays and peaks.
#include <cmath>

#include "SoundcardTestSupport.h"

namespace {
constexpr auto Output = EWaveDirection::Output;
constexpr auto Input = EWaveDirection::Input;
using TOptions = TSimulatedWaveDevices::TOptions;
using TSizes = std::vector<uint32_t>;

class SoundcardPortTest : public SoundcardFixture {
protected:
  // A manual card: its headers come back only when the test says so.
  void AddManualCard(const char* name = "Card") { Devices().Add(name, {.manual = true}); }
  // Starts on the card with an output delay of blocks (no input).
  TMultiMedia& StartOn(const char* output, int32_t blocks, const char* input = "None") {
    Store("MmeOutPort", output);
    Store("MmeInPort", input);
    StoreNumber("MmeOutDelay", uint32_t(blocks * 4));
    MakePort().Start();
    return *port;
  }
  int32_t Queued() const { return port->GetWritten() - port->GetCompleted(); }
};

TEST_F(SoundcardPortTest, ListsNoneThenTheDevicesWithTheFormatAndFindsStoredNames) {
  Devices().Add("Card");
  Devices().Add("Old card", {.takesPortFormat = false});
  Devices().Add("Speaker", {.input = false});
  Store("MmeOutPort", "Speaker");
  Store("MmeInPort", "MME: Card");
  TMultiMedia& mm = MakePort();
  ASSERT_EQ(mm.GetOutputEntryCount(), 3);
  EXPECT_EQ(std::string_view(mm.GetOutputName(0)), "None");
  EXPECT_EQ(std::string_view(mm.GetOutputName(1)), "MME: Card");
  EXPECT_EQ(std::string_view(mm.GetOutputName(2)), "MME: Speaker");
  ASSERT_EQ(mm.GetInputEntryCount(), 2);
  EXPECT_EQ(std::string_view(mm.GetInputName(1)), "MME: Card");
  EXPECT_EQ(mm.GetOutputIndex(), 2);
  EXPECT_EQ(mm.GetInputIndex(), 1);
  EXPECT_EQ(mm.GetOutputCount(), 2);
  EXPECT_EQ(mm.GetPortType(), 3);
  EXPECT_EQ(mm.IsAudioPort(), 1);
  DestroyPort();
  EXPECT_EQ(Stored("MmeOutPort"), "MME: Speaker");
  EXPECT_EQ(Stored("MmeInPort"), "MME: Card");
}

TEST_F(SoundcardPortTest, AStoredNameThatIsGoneSelectsTheFirstDeviceOrNone) {
  Store("MmeOutPort", "MME: Unplugged");
  EXPECT_EQ(MakePort().GetOutputIndex(), 0);
  DestroyPort();
  Devices().Add("Card");
  Store("MmeOutPort", "MME: Unplugged");
  EXPECT_EQ(MakePort().GetOutputIndex(), 1);
  DestroyPort();
  Store("MmeOutPort", "None");
  EXPECT_EQ(MakePort().GetOutputIndex(), 0);
}

TEST_F(SoundcardPortTest, DelaysAreReadInBlocksOfFourMillisecondsWithinWhatTheRingsHold) {
  struct TCase {
    uint32_t stored;
    int32_t milliseconds;
  } cases[] = {{400, 400}, {10, 8}, {15, 12}, {0, 0}, {uint32_t(-40), 0}, {1000000000u, 1120}, {1120, 1120}};
  for (const TCase& c : cases) {
    StoreNumber("MmeOutDelay", c.stored);
    StoreNumber("MmeInDelay", c.stored);
    TMultiMedia& mm = MakePort();
    EXPECT_EQ(mm.GetOutputDelay(), c.milliseconds) << c.stored;
    EXPECT_EQ(mm.GetInputDelay(), c.milliseconds) << c.stored;
    DestroyPort();
    EXPECT_EQ(IRegistry::GetDword("MmeOutDelay", 0), uint32_t(c.milliseconds));
  }
}

TEST_F(SoundcardPortTest, WithBothIndicesNoneNothingOpensAndNothingIsProcessed) {
  Devices().Add("Card");
  TMultiMedia& mm = StartOn("None", 8);
  Advance(200);
  EXPECT_FALSE(mm.IsOutputOpen());
  EXPECT_FALSE(mm.IsInputOpen());
  EXPECT_EQ(mm.GetFramePosition(), 0);
  EXPECT_EQ(Devices().OpenCount("Card", Output), 0);
  EXPECT_EQ(mm.GetOutputCount(), 0);
  // Without an output the port takes no events for the plug-in.
  EXPECT_FALSE(mm.TakesEvents());
}

TEST_F(SoundcardPortTest, TheTickUsesALargeBlockUpToTheDelayThenSmallOnesThenNothing) {
  AddManualCard();
  TMultiMedia& mm = StartOn("Card", 8);
  // The pre-roll: eight large silent blocks.
  EXPECT_EQ(Devices().QueuedSizes("Card"), TSizes(8, 1024));
  EXPECT_EQ(Queued(), 8);
  Devices().ClearQueuedSizes("Card");
  Advance(4);
  // queued = delay: large.
  EXPECT_EQ(Devices().QueuedSizes("Card"), TSizes{1024});
  Advance(4);
  // queued = delay + 1: small.
  EXPECT_EQ(Devices().QueuedSizes("Card"), (TSizes{1024, 512}));
  Advance(4 * 30);
  // Small blocks until queued = delay + 20 has been written; at delay + 21 nothing.
  TSizes expected{1024};
  expected.insert(expected.end(), 20, 512);
  EXPECT_EQ(Devices().QueuedSizes("Card"), expected);
  EXPECT_EQ(Queued(), 8 + 21);
  // One block back: the next tick writes again.
  Devices().Complete("Card", Output, 1);
  mm.WaitUntilCounted();
  Advance(4);
  EXPECT_EQ(Devices().QueuedSizes("Card").size(), expected.size() + 1);
  // A large block is two processing blocks of 128 frames, a small one one.
  EXPECT_EQ(mm.GetBlockSize(), 128);
  EXPECT_EQ(mm.GetFramePosition(), (2 + 20 + 1) * 128);
}

TEST_F(SoundcardPortTest, TheSkipCounterShrinksAndGrowsTheQueueWithoutStopping) {
  AddManualCard();
  TMultiMedia& mm = StartOn("Card", 8);
  Advance(4 * 40);
  ASSERT_EQ(Queued(), 29);
  // The device catches up; the queue settles at the delay (and one more block).
  Devices().Complete("Card", Output, 21);
  mm.WaitUntilCounted();
  Devices().ClearQueuedSizes("Card");
  // From 8 blocks to 4: four ticks write nothing.
  mm.SetOutputDelay(16);
  EXPECT_EQ(mm.GetSkipCounter(), 4);
  Advance(4 * 4);
  EXPECT_TRUE(Devices().QueuedSizes("Card").empty());
  EXPECT_EQ(mm.GetSkipCounter(), 0);
  // From 4 blocks to 12: the next tick writes eight silent blocks at once, then its own.
  mm.SetOutputDelay(48);
  EXPECT_EQ(mm.GetSkipCounter(), -8);
  const int32_t positionBefore = mm.GetFramePosition();
  const int32_t writtenBefore = mm.GetWritten();
  Advance(4);
  EXPECT_EQ(mm.GetSkipCounter(), 0);
  EXPECT_EQ(mm.GetWritten() - writtenBefore, 9);
  // Only the tick's own block was processed.
  EXPECT_LE(mm.GetFramePosition() - positionBefore, 256);
  EXPECT_EQ(mm.GetOutputDelay(), 48);
}

TEST_F(SoundcardPortTest, ProcessedBlocksReachTheDeviceConvertedAndPlayInRealTime) {
  Devices().Add("Card");
  TMultiMedia& mm = StartOn("Card", 4);
  FillOutputs(0.5f, -0.25f);
  Advance(1000);
  const std::vector<int16_t> played = Devices().Played("Card");
  // Paced: about a second of frames, after the four silent blocks of the pre-roll.
  EXPECT_NEAR(double(played.size()) / 2, 44100.0, 44100.0 * 0.03);
  ASSERT_GT(played.size(), 4u * 256 * 2 + 2);
  EXPECT_EQ(played[0], 0);
  EXPECT_EQ(played[4 * 256 * 2], 16384);
  EXPECT_EQ(played[4 * 256 * 2 + 1], -8192);
  EXPECT_NEAR(mm.GetOutputPeakLeft(), 0.5f, 1e-3);
  EXPECT_EQ(mm.GetOutputPeakLeft(), 0.0f);
  EXPECT_EQ(mm.GetUnderrunCount(), 0u);
  EXPECT_EQ(ensemble.sampleRate, 44100.0f);
  EXPECT_TRUE(mm.TakesEvents());
}

TEST_F(SoundcardPortTest, TheMeasuredOutputDelayIsTheQueueInMilliseconds) {
  AddManualCard();
  TMultiMedia& mm = StartOn("Card", 8);
  Advance(4 * 40);
  ASSERT_EQ(Queued(), 29);
  mm.GetMeasuredOutputDelay();
  // Steady: one block back before each tick keeps the queue at delay + 20.
  for (int i = 0; i < 10; ++i) {
    Devices().Complete("Card", Output, 1);
    mm.WaitUntilCounted();
    Advance(4);
  }
  EXPECT_EQ(mm.GetMeasuredOutputDelay(), 28 * 4);
  EXPECT_EQ(mm.GetMeasuredOutputDelay(), 0);
}

TEST_F(SoundcardPortTest, InputIsReadAfterTheRecordAheadDelayAndReachesTheInputs) {
  Devices().Add("Card");
  Devices().SetSignal("Card", [](uint64_t, int16_t& left, int16_t& right) {
    left = 16384;
    right = -8192;
  });
  StoreNumber("MmeInDelay", 160);
  TMultiMedia& mm = StartOn("Card", 4, "Card");
  ASSERT_TRUE(mm.IsInputOpen());
  EXPECT_TRUE(Devices().IsRecording("Card"));
  Advance(300);
  // The last block processed read what the device recorded.
  EXPECT_FLOAT_EQ(mm.GetInputBuffer(0)[0], 0.5f);
  EXPECT_FLOAT_EQ(mm.GetInputBuffer(1)[127], -0.25f);
  EXPECT_NEAR(mm.GetInputPeakLeft(), 0.5f / 0.98f, 1e-4);
  EXPECT_GT(mm.GetMeasuredInputDelay(), 0);
}

TEST_F(SoundcardPortTest, ABusyOutputShowsItsMessageAndFallsBackToTheEntriesBefore) {
  Devices().Add("Card");
  Devices().Add("Busy", {.inUse = true});
  TMultiMedia& mm = StartOn("Card", 4);
  ASSERT_EQ(mm.GetOutputIndex(), 1);
  EXPECT_TRUE(Messages().empty());
  mm.SelectOutput(2);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Audio outport is in use by another application."});
  EXPECT_EQ(mm.GetOutputIndex(), 1);
  EXPECT_TRUE(mm.IsOutputOpen());
  // When the entries before fail too, the port goes to None without another message.
  Devices().SetInUse("Card", true);
  mm.SelectOutput(2);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Audio outport is in use by another application."});
  EXPECT_EQ(mm.GetOutputIndex(), 0);
  EXPECT_EQ(mm.GetInputIndex(), 0);
  EXPECT_FALSE(mm.IsOutputOpen());
}

TEST_F(SoundcardPortTest, OpenFailuresNameTheDirectionAndFullDuplex) {
  struct TCase {
    TOptions options;
    const char* inputFirst;
    const char* message;
  } cases[] = {
      {{.inUse = true}, "", "Audio outport is in use by another application."},
      {{.inUse = true}, "yes", "Audio inport is in use by another application."},
      {{.fullDuplex = false}, "", "Soundcard doesn't support full duplex mode."},
      {{.fullDuplex = false}, "yes", "Soundcard doesn't support full duplex mode."},
  };
  for (const TCase& c : cases) {
    layer->Simulated().Remove("Card");
    Devices().Add("Card", c.options);
    Store("MmeInputFirst", c.inputFirst);
    TMultiMedia& mm = StartOn("Card", 4, "Card");
    // The first start fails over to the entries before (None): one message.
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message}) << c.inputFirst;
    EXPECT_EQ(mm.GetOutputIndex(), 0);
    EXPECT_FALSE(Devices().IsOpen("Card", Output));
    EXPECT_FALSE(Devices().IsOpen("Card", Input));
    DestroyPort();
  }
}

TEST_F(SoundcardPortTest, StoppingGetsEveryHeaderBackAndClosesTheDevices) {
  AddManualCard();
  TMultiMedia& mm = StartOn("Card", 8);
  Advance(4 * 10);
  ASSERT_GT(Queued(), 8);
  // The manual device keeps its headers: the port waits its while, then resets it.
  mm.Pause();
  EXPECT_EQ(Devices().Queued("Card", Output), 0u);
  EXPECT_FALSE(Devices().IsOpen("Card", Output));
  mm.WaitUntilCounted();
  EXPECT_EQ(mm.GetCompleted(), mm.GetWritten());
  mm.Resume();
  EXPECT_TRUE(Devices().IsOpen("Card", Output));
  EXPECT_EQ(Devices().OpenCount("Card", Output), 2);
}

TEST_F(SoundcardPortTest, ADeviceThatGoesAwayLeavesThePortRunningAndIsReported) {
  Devices().Add("Card");
  TMultiMedia& mm = StartOn("Card", 4);
  Advance(100);
  Devices().Remove("Card");
  Advance(100);
  mm.WaitUntilCounted();
  EXPECT_TRUE(mm.IsDeviceLost());
  const int32_t position = mm.GetFramePosition();
  Advance(100);
  EXPECT_GT(mm.GetFramePosition(), position);
  mm.Stop();
  EXPECT_EQ(mm.GetCompleted(), mm.GetWritten());
}

TEST_F(SoundcardPortTest, DirectSoundEntriesFollowTheMultimediaOnesWhenTheLibraryIsThere) {
  Devices().Add("Card");
  layer->SetSimulatedSoundLibrary(true);
  TFakeDirectSound::Get().Reset(4096, {"Ring", ""});
  TMultiMedia& mm = MakePort();
  EXPECT_EQ(mm.GetOutputEntryCount(), 3);
  EXPECT_EQ(mm.GetMultimediaEntryCount(), 2);
  EXPECT_EQ(std::string_view(mm.GetOutputName(2)), "DirectSound: Ring");
  EXPECT_TRUE(Messages().empty());
  // A missing library says so (once) and offers no DirectSound entry.
  loader.missing = true;
  EXPECT_EQ(MakePort().GetOutputEntryCount(), 2);
  const std::vector<std::string> shown = Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("orbds.dll is missing. Please install this version again.", 0), 0u);
  // A library without all nine entries is not used.
  loader.missing = false;
  loader.missingEntry = "DsGetNumSamplesAhead";
  EXPECT_EQ(MakePort().GetOutputEntryCount(), 2);
  // Without the system's sound library there is no DirectSound at all.
  loader.missingEntry.clear();
  layer->SetSimulatedSoundLibrary(false);
  EXPECT_EQ(MakePort().GetOutputEntryCount(), 2);
}

TEST_F(SoundcardPortTest, TheDirectSoundTickFillsTheRingAcrossItsWrap) {
  layer->SetSimulatedSoundLibrary(true);
  // A ring that is no multiple of the blocks, so that blocks wrap at odd places.
  TFakeDirectSound::Get().Reset(3000, {"Ring"});
  Store("MmeOutPort", "DirectSound: Ring");
  StoreNumber("MmeOutDelay", 4 * 4);
  MakePort();
  FillOutputs(0.5f, 0.25f);
  port->Start();
  ASSERT_TRUE(port->IsDirectSoundOutput());
  TFakeDirectSound& ds = TFakeDirectSound::Get();
  EXPECT_EQ(ds.written, 4 * 256);
  EXPECT_TRUE(ds.started);
  Advance(500);
  EXPECT_GT(ds.wraps, 0);
  // Everything the ticks wrote is the converted output, also where a block wrapped.
  for (int64_t frame = 4 * 256; frame < ds.written; ++frame) {
    const size_t at = size_t(frame % ds.ringFrames) * 2;
    ASSERT_EQ(ds.ring[at], 16384) << frame;
    ASSERT_EQ(ds.ring[at + 1], 8192) << frame;
  }
  // The ring is kept about the delay ahead.
  const int32_t measured = port->GetMeasuredOutputDelay();
  EXPECT_GE(measured, 4 * 4 - 4);
  EXPECT_LE(measured, 5 * 4);
  port->Stop();
  EXPECT_FALSE(ds.open);
}
}  // namespace

namespace {
TEST_F(SoundcardPortTest, ADirectSoundRingWhosePlayPositionStandsIsReportedLost) {
  layer->SetSimulatedSoundLibrary(true);
  TFakeDirectSound::Get().Reset(8192, {"Ring"});
  Store("MmeOutPort", "DirectSound: Ring");
  StoreNumber("MmeOutDelay", 4 * 4);
  MakePort().Start();
  Advance(500);
  EXPECT_FALSE(port->IsDeviceLost());
  // The ring stops playing, as one whose server died.
  TFakeDirectSound::Get().started = false;
  Advance(1200);
  EXPECT_TRUE(port->IsDeviceLost());
}
}  // namespace
