// The instrument through its VST 2 interface: identity, sample-accurate notes, the
// cells and their output pairs, velocity, choke groups, voice stealing, the inputs.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "TVoiceEngine.h"

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

// How closely two stretches of sound follow each other (1: the same shape).
double Correlation(const float* a, const float* b, int n) {
  double ab = 0, aa = 0, bb = 0;
  for (int i = 0; i < n; ++i) {
    ab += double(a[i]) * b[i];
    aa += double(a[i]) * a[i];
    bb += double(b[i]) * b[i];
  }
  return ab / std::sqrt(std::max(aa * bb, 1e-30));
}

// A note plays its own cell's sound, on its cell's output pair and nowhere else.
TEST_F(TInstrument, NotesSoundOnTheirCellAndOutputPair) {
  const TCellCase cases[] = {{36, 0}, {38, 1}, {42, 2}, {46, 3}, {49, 4}, {56, 5}, {75, 6}, {89, 7}, {60, 1}, {87, 6}};
  UseKit(PlainKit());
  std::vector<std::vector<float>> onFirstPair;
  for (const TCellCase& c : cases) {
    Silence();
    onFirstPair.push_back(Render(4, {NoteOn(c.note, 127)})[0]);
  }
  TKit kit = PlainKit();
  for (const TCellCase& c : cases) kit.cells[c.note - kFirstCellNote].outputPair = c.pair;
  UseKit(kit);
  const TSampleBank& bank = TSampleBank::Shared();
  for (size_t k = 0; k < std::size(cases); ++k) {
    const TCellCase& c = cases[k];
    Silence();
    const auto out = Render(4, {NoteOn(c.note, 127)});
    SCOPED_TRACE("note " + std::to_string(c.note));
    EXPECT_EQ(out[2 * c.pair], onFirstPair[k]);
    EXPECT_EQ(out[2 * c.pair + 1], onFirstPair[k]) << "centred";
    for (int ch = 0; ch < TTestPlugin::channels; ++ch)
      if (ch / 2 != c.pair) {
        EXPECT_TRUE(AllZero(out[ch])) << "channel " << ch;
      }
    // The hard layer of the cell's own sound, a few cents off by the hit's variation.
    const TSample& hard = bank.Cell(c.note - kFirstCellNote).layers[2];
    EXPECT_GT(Correlation(out[2 * c.pair].data(), hard.Data(), 256), 0.9);
  }
}

// A velocity plays its layer at the level of the velocity curve; velocity 0 is a
// note-off, and note-offs leave the one-shot sounds ringing.
TEST_F(TInstrument, VelocityChoosesTheLayerAndTheLevel) {
  UseKit(PlainKit());
  const auto hardest = Render(2, {NoteOn(38, 127)});
  Silence();
  const auto hard = Render(2, {NoteOn(38, 110)});  // the same layer
  const float ratio = TVoiceEngine::VelocityGain(110) / TVoiceEngine::VelocityGain(127);
  for (size_t i = 0; i < hardest[0].size(); ++i) ASSERT_NEAR(hard[0][i], hardest[0][i] * ratio, 1e-6f) << i;
  Silence();
  const auto soft = Render(2, {NoteOn(38, 40)});
  double softPeak = 0, hardPeak = 0;
  for (size_t i = 0; i < soft[0].size(); ++i) {
    softPeak = std::max(softPeak, std::fabs(double(soft[0][i])));
    hardPeak = std::max(hardPeak, std::fabs(double(hardest[0][i])));
  }
  EXPECT_LT(20 * std::log10(softPeak / hardPeak), -15.0);
  EXPECT_LT(Correlation(soft[0].data(), hardest[0].data(), 2 * block), 0.9) << "another layer, not a quiet copy";
  EXPECT_NEAR(TVoiceEngine::VelocityGain(40), std::pow(40 / 127.0, 1.75), 1e-6);
  EXPECT_EQ(TVoiceEngine::VelocityGain(127), 1.0f);

  Silence();
  const auto none = Render(2, {NoteOn(38, 0), {5, 0x80, 38, 64}});
  EXPECT_TRUE(AllZero(none[0]));
  Silence();
  const auto withOff = Render(2, {NoteOn(38, 127), {64, 0x80, 38, 0}, NoteOn(38, 0, 65)});
  EXPECT_EQ(withOff[0], hardest[0]);
}

// Hits of one cell differ a little (pitch and level), so that they do not add up
// coherently; a reset starts the same series again.
TEST_F(TInstrument, RepeatedHitsVaryALittle) {
  UseKit(PlainKit());
  const auto first = Render(4, {NoteOn(51, 127)});
  Render(1, {NoteOn(51, 127)});
  Silence();
  EXPECT_EQ(Render(4, {NoteOn(51, 127)})[0], first[0]) << "a reset starts the series again";
  Silence();
  const auto two = Render(4, {NoteOn(51, 127), NoteOn(51, 127, 1)});
  double difference = 0, energy = 0, secondEnergy = 0;
  for (size_t i = 1; i < two[0].size(); ++i) {
    const double second = two[0][i] - first[0][i];
    difference = std::max(difference, std::fabs(second - first[0][i - 1]));
    energy += double(first[0][i - 1]) * first[0][i - 1];
    secondEnergy += second * second;
  }
  EXPECT_GT(difference, 1e-3) << "the second hit is no copy of the first";
  EXPECT_NEAR(10 * std::log10(secondEnergy / energy), 0.0, 1.0) << "but it is as loud";
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

// With every voice busy, a new note takes the voice that has played longest: it
// fades out over 3 ms instead of stopping dead.
TEST_F(TInstrument, SixtyFifthNoteStealsTheOldestVoiceWithAFade) {
  UseKit(PlainKit());
  std::vector<TTestMidi> crashes;
  for (int i = 0; i < 64; ++i) crashes.push_back(NoteOn(49, 100, i));
  Silence();
  Render(1, crashes);
  const auto stolen = Render(4, {NoteOn(57, 100)});
  Silence();
  Render(1, crashes);
  const auto untouched = Render(4);
  Silence();
  Render(1);
  const auto added = Render(4, {NoteOn(57, 100)});
  Silence();
  const auto oldest = Render(5, {NoteOn(49, 100)});
  // stolen = untouched - oldest * (1 - fade) + added
  const double fadeStep = 1.0 / (TVoiceEngine::stealSeconds * 44100);
  std::vector<double> lost;
  for (size_t i = 0; i < stolen[0].size(); ++i) lost.push_back(untouched[0][i] + added[0][i] - stolen[0][i]);
  for (size_t i = 0; i < stolen[0].size(); ++i) {
    const double full = oldest[0][i + block];
    const double fade = std::max(0.0, 1.0 - double(i) * fadeStep);
    ASSERT_NEAR(lost[i], full * (1.0 - fade), 2e-4) << i;
  }
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
  std::vector<float> saved[2];
  for (int ch = 0; ch < 2; ++ch) {
    saved[ch].assign(plugin->Input(ch), plugin->Input(ch) + block);
    std::fill(plugin->Input(ch), plugin->Input(ch) + block, 0.0f);
  }
  Silence();
  const auto kick = Render(1, {NoteOn(36, 127)});
  for (int i = 0; i < block; ++i) EXPECT_FLOAT_EQ(withNote[0][i], saved[0][i] + kick[0][i]);
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
  Silence();
  e->setParameter(e, 0, 1.0f);
  e->setParameter(e, 3, 1.0f);
  const auto full = Render(1, {NoteOn(38, 127)});
  e->setParameter(e, 0, 0.5f);
  e->setParameter(e, 3, 0.25f);
  for (int i = 0; i < block; ++i) ASSERT_NEAR(out[0][i], full[0][i] * 0.25f * 0.5f, 1e-6f);
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
  UseKit(PlainKit());
  const auto plain = Render(4, {NoteOn(75, 127)});
  TKit kit = PlainKit();
  kit.cells[39].tune = 12.0f;   // claves an octave up: twice the speed
  kit.cells[39].pan = -1.0f;    // hard left
  kit.cells[13].decay = 0.1f;   // crash cut to a tenth
  UseKit(kit);
  Silence();
  const auto up = Render(2, {NoteOn(75, 127)});
  for (int i = 0; i < 2 * block; ++i) {
    ASSERT_NEAR(up[0][i], plain[0][2 * i] / kCentre, 1e-5f) << i;
    ASSERT_EQ(up[1][i], 0.0f) << i;
  }
  Silence();
  const TSample& crash = TSampleBank::Shared().Cell(13).layers[2];
  const int blocks = crash.Length() / block;
  const auto cut = Render(blocks, {NoteOn(49, 127)});
  const size_t tenth = static_cast<size_t>(crash.Length() / 10);
  EXPECT_NE(cut[0][tenth / 2], 0.0f);
  for (size_t i = tenth + block; i < cut[0].size(); ++i) ASSERT_EQ(cut[0][i], 0.0f) << i;
}

TEST_F(TInstrument, OtherSampleRatesKeepThePitch) {
  UseKit(PlainKit());
  const auto at44 = Render(2, {NoteOn(75, 127)});
  plugin->Stop();
  plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, 88200.0f);
  plugin->Dispatch(effMainsChanged, 0, 1);
  const auto at88 = Render(4, {NoteOn(75, 127)});
  for (int i = 0; i < 4 * block; i += 2) ASSERT_NEAR(at88[0][i], at44[0][i / 2], 1e-5f) << i;
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
double Brightness(const TSample& sound) {
  double energy = 0, difference = 0;
  const int n = std::min(sound.Length(), 16384);
  for (int i = 1; i < n; ++i) {
    energy += double(sound.At(i)) * sound.At(i);
    const double d = double(sound.At(i)) - sound.At(i - 1);
    difference += d * d;
  }
  return 44100.0 / (2 * 3.14159265358979) * std::sqrt(difference / energy);
}

TEST(InstrumentSounds, EveryCellHasASoundOfItsOwn) {
  const TSampleBank& bank = TSampleBank::Shared();
  for (int a = 0; a < kCellCount; ++a) {
    for (const TSample& s : bank.Cell(a).layers) {
      SCOPED_TRACE(bank.Cell(a).name);
      ASSERT_GT(s.Length(), 4000);
      ASSERT_EQ(s.channels, 1);
      EXPECT_NE(s.At(0), 0.0f) << "a sound starts at its first frame";
      float peak = 0;
      for (float x : s.frames) {
        ASSERT_TRUE(std::isfinite(x));
        peak = std::max(peak, std::fabs(x));
      }
      EXPECT_LE(peak, 1.0f);
      EXPECT_GT(peak, &s == &bank.Cell(a).layers[2] ? 0.3f : 0.1f);
      EXPECT_EQ(s.At(s.Length()), 0.0f);
      EXPECT_EQ(s.At(s.Length() + 1), 0.0f);
    }
    for (int b = 0; b < a; ++b) EXPECT_NE(std::strcmp(bank.Cell(a).name, bank.Cell(b).name), 0);
  }
}

struct TCharacter {
  int note;
  double lowHz, highHz;
};

// Drums sound low, cymbals and shakers high, wood and bells in between.
TEST(InstrumentSounds, CellsHaveTheirInstrumentsCharacter) {
  const TCharacter table[] = {
      {36, 40, 200}, {88, 40, 200}, {41, 60, 250}, {50, 120, 450}, {86, 40, 200}, {38, 1000, 8000},
      {42, 6000, 16000}, {44, 5000, 16000}, {46, 6000, 16000}, {49, 3000, 16000}, {51, 3000, 12000},
      {54, 6000, 16000}, {70, 5000, 16000}, {82, 4000, 16000}, {56, 500, 2000}, {75, 2000, 3200},
      {60, 300, 900}, {64, 150, 600}, {72, 2000, 3000}, {81, 2000, 6000}};
  const TSampleBank& bank = TSampleBank::Shared();
  for (const TCharacter& c : table) {
    const TSample& s = bank.Cell(c.note - kFirstCellNote).layers[1];
    const double hz = Brightness(s);
    EXPECT_GE(hz, c.lowHz) << bank.Cell(c.note - kFirstCellNote).name;
    EXPECT_LE(hz, c.highHz) << bank.Cell(c.note - kFirstCellNote).name;
  }
  // Open hats and crashes ring long, closed hats and claves are short.
  auto length = [&](int note) { return bank.Cell(note - kFirstCellNote).layers[1].Length(); };
  EXPECT_GT(length(46), 4 * length(42));
  EXPECT_GT(length(49), 44100 * 2);
  EXPECT_LT(length(75), 44100 / 2);
}

}  // namespace
