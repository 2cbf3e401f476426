// The instrument through its VST 2 interface: identity, sample-accurate notes, the
// cells and their output pairs, velocity, choke groups, voice stealing, the inputs.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "InstrumentFixture.h"

namespace {

constexpr float kCentre = 0.70710677f;  // cos(pi/4): a centred cell on each side

using TInstrument = TInstrumentTest;

TEST_F(TInstrument, IdentifiesItselfAsTheExpectedInstrument) {
  EXPECT_EQ(plugin->ProductString(), "Thudra - 54 channel professional drum sampler");
  AEffect* e = plugin->Effect();
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->numInputs, 16);
  EXPECT_EQ(e->numOutputs, 16);
  EXPECT_EQ(e->numParams, 55);
  const VstInt32 flags = effFlagsIsSynth | effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks;
  EXPECT_EQ(e->flags & flags, flags);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_EQ(e->user, plugin.get()) << "the user field is the host's";
  EXPECT_EQ(plugin->Dispatch(effGetPlugCategory), kPlugCategSynth);
}

TEST_F(TInstrument, AnswersCanDoForWhatItSupportsOnly) {
  const std::pair<const char*, VstIntPtr> asks[] = {
      {"receiveVstEvents", 1}, {"receiveVstMidiEvent", 1}, {"sendVstEvents", 1}, {"sendVstMidiEvent", 1},
      {"receiveVstTimeInfo", 1}, {"ReceiveVstEvents", 0}, {"sizeWindow", 0}, {"", 0}};
  for (const auto& [what, answer] : asks)
    EXPECT_EQ(plugin->Dispatch(effCanDo, 0, 0, const_cast<char*>(what)), answer) << what;
  EXPECT_EQ(plugin->Dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(TInstrument, ExportsOnlyItsTwoEntries) {
  TTestPlugin viaMain(THUDRA_PLUGIN_LIBRARY);
  ASSERT_TRUE(viaMain.Load("VSTPluginMain")) << viaMain.Error();
  EXPECT_EQ(viaMain.ProductString(), "Thudra - 54 channel professional drum sampler");
  // The string class inside must not meet the host's.
  EXPECT_EQ(viaMain.Symbol("_ZN4TStrC1Ev"), nullptr);
  EXPECT_EQ(viaMain.Symbol("_ZN4TStrD1Ev"), nullptr);
  EXPECT_EQ(viaMain.Symbol("ShowOutOfMemory"), nullptr);
}

// Every cell, at each delta frame: silence before it, sound exactly at it.
TEST_F(TInstrument, EveryNoteStartsExactlyAtItsDeltaFrame) {
  for (int delta : {0, 1, 37, 127}) {
    for (int cell = 0; cell < kCellCount; ++cell) {
      Silence();
      const auto out = Render(1, {NoteOn(kFirstCellNote + cell, 100, delta)});
      SCOPED_TRACE("cell " + std::to_string(cell) + " delta " + std::to_string(delta));
      int firstSound = -1;
      for (int i = 0; i < block && firstSound < 0; ++i)
        if (out[0][i] != 0.0f || out[1][i] != 0.0f) firstSound = i;
      EXPECT_EQ(firstSound, delta);
      for (int ch = 2; ch < TTestPlugin::channels; ++ch) EXPECT_TRUE(AllZero(out[ch])) << "channel " << ch;
    }
  }
}

struct TCellCase {
  int note;
  int pair;  // 0 = outputs 1-2
};

// A note plays its own cell's sound, on its cell's output pair and nowhere else.
TEST_F(TInstrument, NotesSoundOnTheirCellAndOutputPair) {
  const TCellCase cases[] = {{36, 0}, {38, 1}, {42, 2}, {46, 3}, {49, 4}, {56, 5}, {75, 6}, {89, 7}, {60, 1}, {87, 6}};
  TKit kit = PlainKit();
  for (const TCellCase& c : cases) kit.cells[c.note - kFirstCellNote].outputPair = c.pair;
  UseKit(kit);
  const TSampleBank& bank = TSampleBank::Shared();
  for (const TCellCase& c : cases) {
    Silence();
    const int velocity = 127;
    const auto out = Render(4, {NoteOn(c.note, velocity)});
    SCOPED_TRACE("note " + std::to_string(c.note));
    const TCellSound& sound = bank.Cell(c.note - kFirstCellNote);
    const float gain = (velocity / 127.0f) * 1.0f * 1.0f;
    for (size_t i = 0; i < out[0].size(); ++i) {
      const float expected = static_cast<int32_t>(i) < sound.Length() ? sound.frames[i] * gain * kCentre : 0.0f;
      ASSERT_FLOAT_EQ(out[2 * c.pair][i], expected) << "frame " << i;
      ASSERT_FLOAT_EQ(out[2 * c.pair + 1][i], expected) << "frame " << i;
    }
    for (int ch = 0; ch < TTestPlugin::channels; ++ch) {
      if (ch / 2 != c.pair) {
        EXPECT_TRUE(AllZero(out[ch])) << "channel " << ch;
      }
    }
  }
}

TEST_F(TInstrument, VelocityScalesTheLevelAndVelocityZeroIsANoteOff) {
  UseKit(PlainKit());
  const auto loud = Render(2, {NoteOn(38, 127)});
  Silence();
  const auto soft = Render(2, {NoteOn(38, 32)});
  for (size_t i = 0; i < loud[0].size(); ++i) ASSERT_NEAR(soft[0][i], loud[0][i] * (32.0f / 127.0f), 1e-6f);
  Silence();
  const auto none = Render(2, {NoteOn(38, 0), {5, 0x80, 38, 64}});
  EXPECT_TRUE(AllZero(none[0]));
  // A note-off does not cut a sounding cell short: the one-shot rings on.
  Silence();
  const auto withOff = Render(2, {NoteOn(38, 127), {64, 0x80, 38, 0}, NoteOn(38, 0, 65)});
  EXPECT_EQ(withOff[0], loud[0]);
}

TEST_F(TInstrument, NotesOutsideTheCellsAndOtherMessagesMakeNoSound) {
  const auto out = Render(2, {NoteOn(35, 100), NoteOn(90, 100), {0, 0xB0, 7, 100}, {1, 0xE0, 0, 64}, {2, 0xC0, 3, 0}});
  for (const auto& channel : out) EXPECT_TRUE(AllZero(channel));
}

// The closed and the pedal hats cut the open hat; other cells ring on.
TEST_F(TInstrument, ClosedAndPedalHatsChokeTheOpenHat) {
  UseKit([] {
    TKit kit = PlainKit();
    for (int note : {42, 44, 46}) kit.cells[note - kFirstCellNote].chokeGroup = 1;
    return kit;
  }());
  for (int cutter : {42, 44}) {
    Silence();
    const auto both = Render(12, {NoteOn(46, 100), NoteOn(cutter, 100, 64)});
    Silence();
    const auto cutterAlone = Render(12, {NoteOn(cutter, 100, 64)});
    Silence();
    const auto openAlone = Render(12, {NoteOn(46, 100)});
    // Up to the cut both sound; 10 ms later only the cutter is left.
    EXPECT_FLOAT_EQ(both[0][63], openAlone[0][63]);
    for (size_t i = 64 + 441; i < both[0].size(); ++i) ASSERT_NEAR(both[0][i], cutterAlone[0][i], 1e-6f) << i;
    bool openStillRings = false;
    for (size_t i = 64 + 441; i < openAlone[0].size(); ++i) openStillRings |= std::fabs(openAlone[0][i]) > 1e-3f;
    EXPECT_TRUE(openStillRings);
  }
  // A crash is in no group: the closed hat leaves it alone.
  Silence();
  const auto mixed = Render(8, {NoteOn(49, 100), NoteOn(42, 100, 64)});
  Silence();
  const auto crash = Render(8, {NoteOn(49, 100)});
  Silence();
  const auto hat = Render(8, {NoteOn(42, 100, 64)});
  for (size_t i = 0; i < mixed[0].size(); ++i) ASSERT_NEAR(mixed[0][i], crash[0][i] + hat[0][i], 1e-5f) << i;
}

// With every voice busy, a new note takes the voice that has played longest.
TEST_F(TInstrument, SixtyFifthNoteStealsTheOldestVoice) {
  UseKit(PlainKit());
  auto crashes = [](int from) {
    std::vector<TTestMidi> notes;
    for (int i = from; i < 64; ++i) notes.push_back(NoteOn(49, 100, i));
    return notes;
  };
  Silence();
  Render(1, crashes(0));
  const auto stolen = Render(4, {NoteOn(57, 100)});
  Silence();
  Render(1, crashes(1));
  const auto reference = Render(4, {NoteOn(57, 100)});
  // The same voices sound, summed in another order.
  for (size_t i = 0; i < stolen[0].size(); ++i)
    ASSERT_NEAR(stolen[0][i], reference[0][i], 1e-4f + 1e-5f * std::fabs(reference[0][i])) << i;
}

TEST_F(TInstrument, InputsOneAndTwoAreHeardOnOutputsOneAndTwo) {
  for (int ch = 0; ch < 3; ++ch)
    for (int i = 0; i < block; ++i) plugin->Input(ch)[i] = 0.001f * static_cast<float>(i + 1) * (ch + 1);
  UseKit(PlainKit());
  const auto quiet = Render(1);
  for (int i = 0; i < block; ++i) {
    EXPECT_EQ(quiet[0][i], plugin->Input(0)[i]);
    EXPECT_EQ(quiet[1][i], plugin->Input(1)[i]);
  }
  EXPECT_TRUE(AllZero(quiet[2])) << "input 3 is not mixed in";
  Silence();
  const auto withNote = Render(1, {NoteOn(36, 127)});
  const TCellSound& kick = TSampleBank::Shared().Cell(0);
  for (int i = 0; i < block; ++i) EXPECT_FLOAT_EQ(withNote[0][i], plugin->Input(0)[i] + kick.frames[i] * kCentre);
}

TEST_F(TInstrument, ParametersSetTheMasterAndTheCellLevels) {
  UseKit(PlainKit());
  AEffect* e = plugin->Effect();
  e->setParameter(e, 0, 0.5f);
  e->setParameter(e, 1 + 2, 0.25f);  // cell 2, note 38
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.5f);
  EXPECT_FLOAT_EQ(e->getParameter(e, 3), 0.25f);
  EXPECT_FLOAT_EQ(e->getParameter(e, 1), 1.0f);
  const auto out = Render(1, {NoteOn(38, 127)});
  const TCellSound& snare = TSampleBank::Shared().Cell(2);
  for (int i = 0; i < block; ++i) ASSERT_NEAR(out[0][i], snare.frames[i] * 0.25f * 0.5f * kCentre, 1e-6f);
  e->setParameter(e, 0, 7.0f);
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 1.0f) << "levels are clamped to 0..1";
  e->setParameter(e, 0, std::nanf(""));
  EXPECT_FLOAT_EQ(e->getParameter(e, 0), 1.0f) << "not a number changes nothing";
  e->setParameter(e, 99, 0.1f);
  EXPECT_EQ(e->getParameter(e, 99), 0.0f);
  char text[64] = {};
  plugin->Dispatch(effGetParamName, 0, 0, text);
  EXPECT_STREQ(text, "Master");
  plugin->Dispatch(effGetParamDisplay, 3, 0, text);
  EXPECT_STREQ(text, "-12.0");
}

TEST_F(TInstrument, TunePanAndDecayShapeTheCell) {
  TKit kit = PlainKit();
  kit.cells[39].tune = 12.0f;   // claves an octave up: twice the speed
  kit.cells[39].pan = -1.0f;    // hard left
  kit.cells[13].decay = 0.1f;   // crash cut to a tenth
  UseKit(kit);
  const TCellSound& claves = TSampleBank::Shared().Cell(39);
  const auto up = Render(2, {NoteOn(75, 127)});
  for (int i = 0; i < 2 * block; ++i) {
    ASSERT_FLOAT_EQ(up[0][i], claves.frames[2 * i]) << i;
    ASSERT_EQ(up[1][i], 0.0f) << i;
  }
  Silence();
  const TCellSound& crash = TSampleBank::Shared().Cell(13);
  const int blocks = crash.Length() / block;
  const auto cut = Render(blocks, {NoteOn(49, 127)});
  const size_t tenth = static_cast<size_t>(crash.Length() / 10);
  EXPECT_NE(cut[0][tenth / 2], 0.0f);
  for (size_t i = tenth + block; i < cut[0].size(); ++i) ASSERT_EQ(cut[0][i], 0.0f) << i;
}

TEST_F(TInstrument, OtherSampleRatesKeepThePitch) {
  UseKit(PlainKit());
  plugin->Stop();
  plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, 88200.0f);
  plugin->Dispatch(effMainsChanged, 0, 1);
  const auto out = Render(2, {NoteOn(75, 127)});
  const TCellSound& claves = TSampleBank::Shared().Cell(39);
  for (int i = 0; i < 2 * block; i += 2) ASSERT_FLOAT_EQ(out[0][i], claves.frames[i / 2] * kCentre) << i;
}

TEST_F(TInstrument, ProcessingOddBlocksAndBadEventsIsSafe) {
  plugin->Process(0, {NoteOn(36, 100, 5)});
  plugin->Process(1, {NoteOn(36, 100, 5000), NoteOn(38, 100, -7)});
  EXPECT_NE(plugin->Output(0)[0], 0.0f) << "late and early events are clamped into the block";
  plugin->Process(4096, {NoteOn(36, 100, 4095)});
  VstEvents broken{};
  broken.numEvents = 2;  // both pointers null
  plugin->Dispatch(effProcessEvents, 0, 0, &broken);
  plugin->Dispatch(effProcessEvents, 0, 0, nullptr);
  plugin->ProcessReplacingOnly(block);
  for (int i = 0; i < 4096; ++i) ASSERT_TRUE(std::isfinite(plugin->Output(0)[i]));
}

// ---- the sounds themselves -----------------------------------------------------

// A rough pitch measure: the frequency of a sine with the same ratio of
// first-difference energy to energy.
double Brightness(const TCellSound& sound) {
  double energy = 0, difference = 0;
  const int n = std::min(sound.Length(), 16384);
  for (int i = 1; i < n; ++i) {
    energy += double(sound.frames[i]) * sound.frames[i];
    const double d = double(sound.frames[i]) - sound.frames[i - 1];
    difference += d * d;
  }
  return 44100.0 / (2 * 3.14159265358979) * std::sqrt(difference / energy);
}

TEST(InstrumentSounds, EveryCellHasASoundOfItsOwn) {
  const TSampleBank& bank = TSampleBank::Shared();
  for (int a = 0; a < kCellCount; ++a) {
    const TCellSound& s = bank.Cell(a);
    SCOPED_TRACE(s.name);
    ASSERT_GT(s.Length(), 4000);
    EXPECT_NE(s.frames[0], 0.0f) << "a sound starts at its first frame";
    float peak = 0;
    for (float x : s.frames) {
      ASSERT_TRUE(std::isfinite(x));
      peak = std::max(peak, std::fabs(x));
    }
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.3f);
    EXPECT_EQ(s.frames[s.Length()], 0.0f);
    EXPECT_EQ(s.frames[s.Length() + 1], 0.0f);
    for (int b = 0; b < a; ++b) EXPECT_NE(std::strcmp(s.name, bank.Cell(b).name), 0);
  }
}

struct TCharacter {
  int note;
  double lowHz, highHz;
};

// Drums sound low, cymbals and shakers high, wood and bells in between.
TEST(InstrumentSounds, CellsHaveTheirInstrumentsCharacter) {
  const TCharacter table[] = {
      {36, 40, 150}, {88, 40, 150}, {41, 60, 200}, {50, 120, 400}, {86, 40, 150}, {38, 1000, 8000},
      {42, 6000, 16000}, {44, 6000, 16000}, {46, 6000, 16000}, {49, 4000, 16000}, {51, 3000, 12000},
      {54, 6000, 16000}, {70, 5000, 16000}, {82, 5000, 16000}, {56, 500, 2000}, {75, 2000, 3200},
      {60, 300, 700}, {64, 150, 400}, {72, 2000, 2800}, {81, 2000, 6000}};
  const TSampleBank& bank = TSampleBank::Shared();
  for (const TCharacter& c : table) {
    const TCellSound& s = bank.Cell(c.note - kFirstCellNote);
    const double hz = Brightness(s);
    EXPECT_GE(hz, c.lowHz) << s.name;
    EXPECT_LE(hz, c.highHz) << s.name;
  }
  // Open hats and crashes ring long, closed hats and claves are short.
  EXPECT_GT(bank.Cell(46 - kFirstCellNote).Length(), 4 * bank.Cell(42 - kFirstCellNote).Length());
  EXPECT_GT(bank.Cell(49 - kFirstCellNote).Length(), 44100 * 2);
  EXPECT_LT(bank.Cell(75 - kFirstCellNote).Length(), 44100 / 2);
}

}  // namespace
