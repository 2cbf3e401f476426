// A test that listens: every cell of the synthesised kit and of the default sampled
// kit (when it is installed) is rendered through the instrument at velocities 40,
// 100 and 127 and measured against what its family of drums should sound like:
// it dies away before it ends, without a step; a soft hit is much softer than a
// hard one and (synthesised) darker; cymbals are a wash without standing lines;
// kicks click and have a short body; toms barely bend; hand drums slap; a groove
// of the loudest hits has headroom; the hi-hat choke is clean. The renders and their
// spectrograms go to tests/listening/ in the build tree.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "InstrumentFixture.h"
#include "SoundMeasures.h"
#include "TDrumkitLibrary.h"

namespace {

namespace fs = std::filesystem;
using namespace sound;

enum class EFamily { kick, snare, tom, hiHat, cymbal, handDrum, smallPercussion };

const char* FamilyName(EFamily f) {
  switch (f) {
    case EFamily::kick: return "kick";
    case EFamily::snare: return "snare";
    case EFamily::tom: return "tom";
    case EFamily::hiHat: return "hi-hat";
    case EFamily::cymbal: return "cymbal";
    case EFamily::handDrum: return "hand drum";
    case EFamily::smallPercussion: return "small percussion";
  }
  return "";
}

EFamily FamilyOf(int note) {
  switch (note) {
    case 36: case 88: return EFamily::kick;
    case 37: case 38: case 40: case 89: return EFamily::snare;
    case 41: case 43: case 45: case 47: case 48: case 50: case 86: case 87: return EFamily::tom;
    case 42: case 44: case 46: return EFamily::hiHat;
    case 49: case 51: case 52: case 53: case 55: case 57: case 59: return EFamily::cymbal;
    case 60: case 61: case 62: case 63: case 64: case 65: case 66: return EFamily::handDrum;
    default: return EFamily::smallPercussion;
  }
}

// Cymbals whose sound is a wash (the ride bell is a bell).
bool IsWash(int note) { return note == 49 || note == 51 || note == 52 || note == 55 || note == 57 || note == 59; }
bool IsRide(int note) { return note == 51 || note == 59; }

constexpr int kVelocities[] = {40, 100, 127};
constexpr size_t kMs = 44;  // frames in a millisecond, near enough for windows

struct TRender {
  std::vector<float> x;  // the left output, the cell centred
  size_t end = 0;        // after the last frame that is not zero
};

struct TCellResult {
  int note = 0;
  std::string name;
  TRender at[3];  // by kVelocities
};

class TListening : public TInstrumentTest {
protected:
  static fs::path Folder() {
    const fs::path folder = fs::path(THUDRA_TEST_DIR) / "listening";
    fs::create_directories(folder);
    return folder;
  }

  // Every cell at full level, centred, untuned, undamped, unchoked.
  static TKit MeasuringKit(const std::string& drumkit) {
    TKit kit = TKit::Default();
    kit.master = 1.0f;
    for (TCellSettings& c : kit.cells) c = TCellSettings{1.0f, 0.0f, 0.0f, 1.0f, 0, 0};
    kit.SetDrumkit(drumkit.c_str());
    return kit;
  }

  static TKit DefaultKit(const std::string& drumkit) {
    TKit kit = TKit::Default();
    kit.SetDrumkit(drumkit.c_str());
    return kit;
  }

  // Renders from a reset until the sound has been silent for two blocks (or 12 s).
  TRender RenderNotes(const std::vector<TTestMidi>& notes, std::vector<float>* right = nullptr) {
    Silence();
    TRender r;
    int silentBlocks = 0;
    for (int b = 0; silentBlocks < 2 && b < 12 * 44100 / block; ++b) {
      plugin->Process(block, b == 0 ? notes : std::vector<TTestMidi>{});
      bool silent = true;
      for (int i = 0; i < block; ++i) silent &= plugin->Output(0)[i] == 0.0f && plugin->Output(1)[i] == 0.0f;
      silentBlocks = silent ? silentBlocks + 1 : 0;
      r.x.insert(r.x.end(), plugin->Output(0), plugin->Output(0) + block);
      if (right) right->insert(right->end(), plugin->Output(1), plugin->Output(1) + block);
    }
    r.end = SoundEnd(r.x);
    return r;
  }

  std::vector<TCellResult> RenderCells(const std::vector<int>& notes) {
    std::vector<TCellResult> cells;
    for (int note : notes) {
      TCellResult c;
      c.note = note;
      c.name = TSampleBank::Name(note - kFirstCellNote);
      for (int v = 0; v < 3; ++v) c.at[v] = RenderNotes({NoteOn(note, kVelocities[v])});
      cells.push_back(std::move(c));
    }
    return cells;
  }

  void Picture(const std::string& name, const std::vector<float>& left, const std::vector<float>& right,
               const std::string& title) {
    const fs::path wav = Folder() / (name + ".wav"), png = Folder() / (name + ".png");
    ASSERT_TRUE(WriteWav(wav.string(), left, right));
    EXPECT_TRUE(Spectrogram(wav.string(), png.string(), title)) << "sox spectrogram of " << wav;
  }

  // The checks every cell of every kit passes; `synthesized` adds the timbre rules.
  void CheckCells(const std::vector<TCellResult>& cells, bool synthesized, const std::string& kitName);
  void CheckFamily(const TCellResult& c, std::ostringstream& table);
  void CheckHeadroom(const std::string& drumkit, const std::vector<TCellResult>& cells, const std::string& label);
  void CheckChoke(const std::string& label);
};

std::string Fixed(double v, int decimals = 1) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// The level of the last 3 ms against the loudest 10 ms: a sound cut short while it
// still rings ends loud.
double TailDb(const TRender& r) {
  const std::vector<float> sound(r.x.begin(), r.x.begin() + static_cast<ptrdiff_t>(r.end));
  const auto env = Envelope(sound, 10 * kMs);
  const double loudest = *std::max_element(env.begin(), env.end());
  return Db(Rms(sound, r.end > 3 * kMs ? r.end - 3 * kMs : 0, r.end)) - loudest;
}

// The last frame against the peak: a step where the sound stops.
double EndStepDb(const TRender& r) {
  return r.end == 0 ? -200 : Db(std::fabs(r.x[r.end - 1]) / PeakAbs(r.x));
}

double LoudnessDb(const TRender& r) {
  const auto env = Envelope(r.x, 10 * kMs);
  return *std::max_element(env.begin(), env.end());
}

double EarlyCentroid(const TRender& r) { return Centroid(Spectrum(r.x, 0, std::min(r.end, 250 * kMs))); }

void TListening::CheckCells(const std::vector<TCellResult>& cells, bool synthesized, const std::string& kitName) {
  std::ostringstream table;
  table << "\n" << kitName << ": cell, family, tail dB, end step dB, v40 re v127 dB, centroid 127/40, family measures\n";
  for (const TCellResult& c : cells) {
    SCOPED_TRACE(kitName + " " + c.name + " (" + std::to_string(c.note) + ")");
    table << "  " << c.note << " " << c.name << " [" << FamilyName(FamilyOf(c.note)) << "]";
    double worstTail = -200;
    for (int v = 0; v < 3; ++v) {
      const TRender& r = c.at[v];
      ASSERT_GT(r.end, 0u) << "velocity " << kVelocities[v] << " is silent";
      worstTail = std::max(worstTail, TailDb(r));
      // The end is never a step: the last frame lies far below the peak.
      EXPECT_LT(EndStepDb(r), -60) << "velocity " << kVelocities[v];
      if (synthesized) {
        EXPECT_LT(TailDb(r), -60) << "velocity " << kVelocities[v] << " is cut before it dies away";
      }
    }
    const double soft = LoudnessDb(c.at[0]) - LoudnessDb(c.at[2]);
    const double brighter = EarlyCentroid(c.at[2]) / EarlyCentroid(c.at[0]);
    table << "  tail " << Fixed(worstTail) << "  step " << Fixed(EndStepDb(c.at[2])) << "  v40 " << Fixed(soft)
          << "  centroid x" << Fixed(brighter, 2);
    EXPECT_LE(soft, -15) << "a ghost note must sound like one";
    if (synthesized) {
      EXPECT_GE(brighter, 1.15) << "a hard hit is brighter than a soft one";
      CheckFamily(c, table);
    }
    table << "\n";
  }
  std::printf("%s", table.str().c_str());
}

// The family's own rules, for the synthesised sounds at velocity 127.
void TListening::CheckFamily(const TCellResult& c, std::ostringstream& table) {
  const TRender& r = c.at[2];
  const std::vector<float>& x = r.x;
  switch (FamilyOf(c.note)) {
    case EFamily::kick: {
      // A beater click above 2 kHz in the first 10 ms, and a body of 0.3 - 0.6 s.
      const double click = Share(Spectrum(x, 0, 10 * kMs), 2000, 20000);
      const auto env = Envelope(x, 10 * kMs);
      const double top = *std::max_element(env.begin(), env.end());
      size_t body = 0;
      while (body < env.size() && env[body] > top - 40) ++body;
      const double pitch = PeakHz(x, 150 * kMs, 350 * kMs, 30, 150);
      table << "  click " << Fixed(100 * click) << "%  body " << Fixed(body * 0.01, 2) << " s  pitch "
            << Fixed(pitch) << " Hz";
      EXPECT_GT(click, 0.02) << "the beater clicks";
      EXPECT_GE(body * 0.01, 0.3);
      EXPECT_LE(body * 0.01, 0.6);
      EXPECT_GT(pitch, 40);
      EXPECT_LT(pitch, 90);
      break;
    }
    case EFamily::tom: {
      // The pitch early on and later: a drop of a few semitones at the most.
      const double early = PeakHz(x, 10 * kMs, 80 * kMs, 40, 400);
      const double late = PeakHz(x, 250 * kMs, 350 * kMs, 40, 400);
      const double drop = 12 * std::log2(early / late);
      table << "  pitch " << Fixed(early) << " -> " << Fixed(late) << " Hz (" << Fixed(drop) << " semitones)";
      EXPECT_GT(drop, -0.5);
      EXPECT_LT(drop, 3.0) << "a tom, not an electronic tom";
      break;
    }
    case EFamily::hiHat: {
      const double centroid = Centroid(Spectrum(x, 0, r.end));
      table << "  centroid " << Fixed(centroid, 0) << " Hz";
      EXPECT_GT(centroid, 5000);
      break;
    }
    case EFamily::cymbal: {
      if (!IsWash(c.note)) break;
      const auto power = Spectrum(x, 0, 500 * kMs);
      const TLine line = WorstLine(power);
      const double low = Share(power, 300, 3000);
      table << "  line " << Fixed(line.aboveMedianDb) << " dB at " << Fixed(line.hz, 0) << " Hz  below 3 kHz "
            << Fixed(100 * low) << "%";
      EXPECT_LE(line.aboveMedianDb, 12) << "a line stands out of the wash at " << line.hz << " Hz";
      EXPECT_GT(low, 0.05) << "the wash reaches down to a few hundred hertz";
      if (IsRide(c.note)) {
        // The stick's ping: the loudest moment comes at once and stands above the wash.
        const double peakMs = static_cast<double>(PeakIndex(x)) / 44.1;
        const double ping = Db(Rms(x, 0, 20 * kMs) / Rms(x, 100 * kMs, 300 * kMs));
        table << "  peak at " << Fixed(peakMs) << " ms, ping " << Fixed(ping) << " dB";
        EXPECT_LT(peakMs, 15);
        EXPECT_GT(ping, 6);
      }
      break;
    }
    case EFamily::handDrum: {
      // The slap: the first 20 ms carry energy above 1 kHz.
      const double slap = Share(Spectrum(x, 0, 20 * kMs), 1000, 20000);
      table << "  slap " << Fixed(100 * slap) << "%";
      EXPECT_GT(slap, 0.05) << "the hand or stick slaps";
      break;
    }
    case EFamily::snare:
    case EFamily::smallPercussion: break;
  }
}

// Eight of the loudest cells struck together, and a dense groove of hard hits, at
// the default levels: no output frame reaches -1 dBFS.
void TListening::CheckHeadroom(const std::string& drumkit, const std::vector<TCellResult>& cells,
                               const std::string& label) {
  std::vector<std::pair<double, int>> loudest;
  for (const TCellResult& c : cells) loudest.push_back({PeakAbs(c.at[2].x), c.note});
  std::sort(loudest.rbegin(), loudest.rend());
  UseKit(DefaultKit(drumkit));
  // The eight cells with the highest peaks, and the drum kit's eight: kick, snare,
  // four toms, crash and ride.
  std::vector<int> loudestEight, drumEight = {36, 38, 41, 43, 45, 48, 49, 51};
  for (size_t i = 0; i < 8 && i < loudest.size(); ++i) loudestEight.push_back(loudest[i].second);
  for (const auto& set : {loudestEight, drumEight}) {
    std::vector<TTestMidi> eight;
    std::string which;
    for (int note : set) {
      eight.push_back(NoteOn(note, 127));
      which += " " + std::to_string(note);
    }
    std::vector<float> right;
    const TRender together = RenderNotes(eight, &right);
    const double peak = std::max(PeakAbs(together.x), PeakAbs(right));
    std::printf("%s: cells%s together at velocity 127 peak at %.1f dBFS\n", label.c_str(), which.c_str(), Db(peak));
    EXPECT_LE(Db(peak), -1.0) << label << ": eight hits at velocity 127:" << which;
  }

  // Two bars of 16ths at 140 BPM: hats, kick, snare, a crash on each one, a tom fill.
  const int step = static_cast<int>(44100 * 60.0 / 140 / 4);
  std::vector<std::vector<TTestMidi>> blocks(static_cast<size_t>(8 * 16 * step / block + 4 * 44100 / block));
  auto at = [&](int sixteenth, int note) {
    const int frame = sixteenth * step;
    blocks[static_cast<size_t>(frame / block)].push_back(NoteOn(note, 127, frame % block));
  };
  for (int bar = 0; bar < 8; ++bar) {
    const int s = bar * 16;
    at(s, 49);
    for (int i = 0; i < 16; ++i) at(s + i, bar % 2 ? 51 : 42);
    for (int i : {0, 3, 8, 10}) at(s + i, 36);
    for (int i : {4, 12}) at(s + i, 38);
    if (bar % 4 == 3)
      for (int i = 12; i < 16; ++i) at(s + i, i % 2 ? 45 : 48);
  }
  Silence();
  std::vector<float> left, grooveRight;
  for (const auto& events : blocks) {
    plugin->Process(block, events);
    left.insert(left.end(), plugin->Output(0), plugin->Output(0) + block);
    grooveRight.insert(grooveRight.end(), plugin->Output(1), plugin->Output(1) + block);
  }
  const double groovePeak = std::max(PeakAbs(left), PeakAbs(grooveRight));
  std::printf("%s: a groove of hard hits peaks at %.1f dBFS\n", label.c_str(), Db(groovePeak));
  EXPECT_LE(Db(groovePeak), -1.0) << label << ": the groove clips";
  Picture(label + "-groove", left, grooveRight, label + ": groove at velocity 127, default levels");

  // A closed-hat roll in 32nds does not build up.
  std::vector<TTestMidi> none;
  const TRender single = RenderNotes({NoteOn(42, 127)});
  Silence();
  std::vector<float> roll;
  const int gap = step / 2;
  for (int b = 0; b < 32 * gap / block + 20; ++b) {
    std::vector<TTestMidi> events;
    for (int hit = 0; hit < 32; ++hit)
      if (hit * gap / block == b) events.push_back(NoteOn(42, 127, hit * gap % block));
    plugin->Process(block, events);
    roll.insert(roll.end(), plugin->Output(0), plugin->Output(0) + block);
  }
  const double buildUp = Db(PeakAbs(roll) / PeakAbs(single.x));
  std::printf("%s: a closed-hat roll peaks %.1f dB above one hit\n", label.c_str(), buildUp);
  EXPECT_LT(buildUp, 3.5);
}

// The closed hat cuts the open hat within 5 ms, with no step in the fading hat.
void TListening::CheckChoke(const std::string& label) {
  const size_t cut = 100 * kMs;
  auto closedAt = [&](int velocity) { return TTestMidi{static_cast<int32_t>(cut % block), 0x90, 42, static_cast<uint8_t>(velocity)}; };
  // The closed hat comes in the block that holds frame `cut`.
  Silence();
  std::vector<float> both, closed;
  for (int b = 0; b < 60; ++b) {
    std::vector<TTestMidi> events;
    if (b == 0) events.push_back(NoteOn(46, 127));
    if (b == static_cast<int>(cut / block)) events.push_back(closedAt(127));
    plugin->Process(block, events);
    both.insert(both.end(), plugin->Output(0), plugin->Output(0) + block);
  }
  Silence();
  for (int b = 0; b < 60; ++b) {
    std::vector<TTestMidi> events;
    if (b == static_cast<int>(cut / block)) events.push_back(closedAt(127));
    plugin->Process(block, events);
    closed.insert(closed.end(), plugin->Output(0), plugin->Output(0) + block);
  }
  // What is left of the open hat after the cut.
  double before = 0, during = 0, after = 0;
  for (size_t i = cut - 20 * kMs; i < cut; ++i) before = std::max(before, std::fabs(double(both[i]) - both[i - 1]));
  for (size_t i = cut + 1; i < cut + 6 * kMs; ++i) {
    const double open = both[i] - closed[i], previous = both[i - 1] - closed[i - 1];
    during = std::max(during, std::fabs(open - previous));
  }
  for (size_t i = cut + 6 * kMs; i < both.size(); ++i) after = std::max(after, std::fabs(double(both[i]) - closed[i]));
  std::printf("%s: choke: largest step in the fade %.4f (before the cut %.4f), left after 6 ms %.6f\n", label.c_str(),
              during, before, after);
  EXPECT_LE(during, before) << label << ": the fading open hat jumps";
  EXPECT_LT(after, 1e-6) << label << ": the open hat still sounds after the choke";
}

TEST_F(TListening, TheSynthesizedKitSoundsLikeADrumKit) {
  UseKit(MeasuringKit(""));
  std::vector<int> notes;
  for (int cell = 0; cell < kCellCount; ++cell) notes.push_back(kFirstCellNote + cell);
  const auto cells = RenderCells(notes);
  CheckCells(cells, true, "synthesized");
  for (int note : {36, 38, 45, 46, 49, 51, 62, 56}) {
    const TCellResult& c = cells[static_cast<size_t>(note - kFirstCellNote)];
    Picture("synthesized-" + std::to_string(note), c.at[2].x, c.at[2].x,
            "synthesized " + c.name + " (" + FamilyName(FamilyOf(note)) + "), velocity 127");
  }
  CheckHeadroom("", cells, "synthesized");
  UseKit(DefaultKit(""));
  CheckChoke("synthesized");
}

TEST_F(TListening, TheDefaultSampledKitSoundsLikeADrumKit) {
  const std::string drumkit = TDrumkitLibrary::defaultKit;
  if (TDrumkitLibrary::Find(drumkit).empty()) {
    std::printf("%s is not installed (hydrogen-data): only the synthesized kit was listened to\n", drumkit.c_str());
    GTEST_SKIP() << drumkit << " is not installed";
  }
  UseKit(MeasuringKit(drumkit));
  const std::vector<int> notes = {36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 49, 51, 53, 55, 56, 59, 82};
  auto cells = RenderCells(notes);
  for (TCellResult& c : cells) c.name = drumkit + " " + std::to_string(c.note);
  CheckCells(cells, false, drumkit);
  for (int note : {36, 38, 45, 46, 49, 51, 56}) {
    const auto it = std::find_if(cells.begin(), cells.end(), [&](const TCellResult& c) { return c.note == note; });
    Picture(drumkit + "-" + std::to_string(note), it->at[2].x, it->at[2].x,
            drumkit + " " + std::to_string(note) + " (" + FamilyName(FamilyOf(note)) + "), velocity 127");
  }
  CheckHeadroom(drumkit, cells, drumkit);
  UseKit(DefaultKit(drumkit));
  CheckChoke(drumkit);
}

}  // namespace
