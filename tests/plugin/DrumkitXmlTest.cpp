// The reader of drumkit.xml: what a kit says is read as it says it; what is damaged
// or hostile is left out and named, and nothing it is given makes it fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "TDrumkitXml.h"
#include "TestKits.h"

namespace {

TDrumkitSpec Parse(const std::string& xml) { return ParseDrumkitXml(xml.data(), xml.size(), "/kits/K"); }

bool Says(const std::vector<std::string>& problems, const std::string& part) {
  return std::any_of(problems.begin(), problems.end(),
                     [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// One instrument with the given inner XML.
std::string Instrument(const std::string& inner) {
  return "<drumkit_info><name>K</name><instrumentList><instrument>" + inner +
         "</instrument></instrumentList></drumkit_info>";
}

const std::string kLayer = "<layer><filename>a.wav</filename><min>0</min><max>1</max></layer>";

TEST(DrumkitXml, ReadsAKitAsItSaysIt) {
  const std::string xml = testkit::KitXml(
      "Studio", {{"Kick", 36, {{"k1.wav", 0, 0.5, 0.8}, {"k2.wav", 0.5, 1, 1}}, 1.5, -0.25},
                 {"Snare", 38, {{"sub\\s.flac", 0, 1, 1}}}});
  const TDrumkitSpec spec = Parse(xml);
  ASSERT_TRUE(spec.readable);
  EXPECT_TRUE(spec.problems.empty()) << Joined(spec.problems);
  EXPECT_EQ(spec.name, "Studio");
  ASSERT_EQ(spec.instruments.size(), 2u);
  const TDrumkitInstrument& kick = spec.instruments[0];
  EXPECT_EQ(kick.name, "Kick");
  EXPECT_EQ(kick.note, 36);
  EXPECT_FLOAT_EQ(kick.gain, 1.5f);
  EXPECT_FLOAT_EQ(kick.pan, -0.25f);
  ASSERT_EQ(kick.layers.size(), 2u);
  EXPECT_EQ(kick.layers[0].path, "/kits/K/k1.wav");
  EXPECT_DOUBLE_EQ(kick.layers[0].max, 0.5);
  EXPECT_FLOAT_EQ(kick.layers[0].gain, 0.8f);
  EXPECT_EQ(spec.instruments[1].layers[0].path, "/kits/K/sub/s.flac") << "a backslash is a folder separator";
}

TEST(DrumkitXml, ReadsTheOlderForms) {
  // Layers on the instrument itself, the pan as two levels, no MIDI note (the
  // kit's order gives it), and the oldest form: one file on the instrument.
  const std::string xml =
      "<drumkit_info><name>Old</name><instrumentList>"
      "<instrument><name>A</name><pan_L>1</pan_L><pan_R>0.5</pan_R>" + kLayer + kLayer + "</instrument>"
      "<instrument><name>B</name><filename>b.wav</filename></instrument>"
      "</instrumentList></drumkit_info>";
  const TDrumkitSpec spec = Parse(xml);
  ASSERT_EQ(spec.instruments.size(), 2u) << Joined(spec.problems);
  EXPECT_EQ(spec.instruments[0].note, 36);
  EXPECT_FLOAT_EQ(spec.instruments[0].pan, -0.5f);
  EXPECT_EQ(spec.instruments[0].layers.size(), 2u);
  EXPECT_EQ(spec.instruments[1].note, 37);
  ASSERT_EQ(spec.instruments[1].layers.size(), 1u);
  EXPECT_EQ(spec.instruments[1].layers[0].file, "b.wav");
}

struct TBadCase {
  const char* what;
  std::string xml;
  const char* says;       // part of the problem reported
  size_t instruments;     // what is left to play
  size_t layersOfFirst;
};

TEST(DrumkitXml, LeavesOutWhatIsDamagedOrHostileAndSaysSo) {
  const TBadCase cases[] = {
      {"not XML", "this is not <xml", "not XML", 0, 0},
      {"no drumkit", "<other/>", "describes no drumkit", 0, 0},
      {"no instruments", "<drumkit_info><name>K</name></drumkit_info>", "lists no instrument", 0, 0},
      {"note below", Instrument("<name>X</name><midiOutNote>20</midiOutNote>" + kLayer), "outside 36 - 89", 0, 0},
      {"note above", Instrument("<name>X</name><midiOutNote>90</midiOutNote>" + kLayer), "outside 36 - 89", 0, 0},
      {"note not a number", Instrument("<name>X</name><midiOutNote>kick</midiOutNote>" + kLayer), "not a number", 0, 0},
      {"huge gain", Instrument("<name>X</name><gain>1e30</gain>" + kLayer), "too high", 1, 1},
      {"negative volume", Instrument("<name>X</name><volume>-2</volume>" + kLayer), "not a gain", 1, 1},
      {"gain not a number", Instrument("<name>X</name><gain>nan</gain>" + kLayer), "not a gain", 1, 1},
      {"parent folder", Instrument("<name>X</name><layer><filename>../../etc/x.wav</filename></layer>" + kLayer),
       "leaves the kit folder", 1, 1},
      {"parent inside", Instrument("<name>X</name><layer><filename>a/../../x.wav</filename></layer>" + kLayer),
       "leaves the kit folder", 1, 1},
      {"backslash parent", Instrument("<name>X</name><layer><filename>..\\x.wav</filename></layer>" + kLayer),
       "leaves the kit folder", 1, 1},
      {"absolute", Instrument("<name>X</name><layer><filename>/etc/passwd</filename></layer>" + kLayer), "absolute", 1, 1},
      {"drive", Instrument("<name>X</name><layer><filename>C:\\k.wav</filename></layer>" + kLayer), "absolute", 1, 1},
      {"no file", Instrument("<name>X</name><layer><min>0</min></layer>" + kLayer), "names no sample file", 1, 1},
      {"min above max", Instrument("<name>X</name><layer><filename>b.wav</filename><min>0.8</min><max>0.2</max></layer>" + kLayer),
       "not within 0 - 1", 1, 1},
      {"max above 1", Instrument("<name>X</name><layer><filename>b.wav</filename><max>1.5</max></layer>" + kLayer),
       "not within 0 - 1", 1, 1},
      {"range not a number", Instrument("<name>X</name><layer><filename>b.wav</filename><min>low</min></layer>" + kLayer),
       "not within 0 - 1", 1, 1},
      {"no layer at all", Instrument("<name>X</name><midiOutNote>40</midiOutNote>"), "no layer can play", 0, 0},
      {"two sample sets",
       Instrument("<name>X</name><instrumentComponent>" + kLayer + "</instrumentComponent><instrumentComponent>" +
                  kLayer + kLayer + "</instrumentComponent>"),
       "only the first of its 2 sample sets", 1, 1},
  };
  for (const TBadCase& c : cases) {
    const TDrumkitSpec spec = Parse(c.xml);
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(Says(spec.problems, c.says)) << Joined(spec.problems);
    ASSERT_EQ(spec.instruments.size(), c.instruments);
    if (c.instruments > 0) {
      EXPECT_EQ(spec.instruments[0].layers.size(), c.layersOfFirst);
    }
  }
  // Held at the limit, not refused.
  EXPECT_FLOAT_EQ(Parse(cases[6].xml).instruments[0].gain, kDrumkitMaxGain);
}

TEST(DrumkitXml, TheFirstInstrumentOfANoteKeepsIt) {
  const std::string xml = testkit::KitXml("K", {{"One", 38, {{"a.wav"}}}, {"Two", 38, {{"b.wav"}}}});
  const TDrumkitSpec spec = Parse(xml);
  ASSERT_EQ(spec.instruments.size(), 1u);
  EXPECT_EQ(spec.instruments[0].name, "One");
  EXPECT_TRUE(Says(spec.problems, "Two: the MIDI note 38 already plays One")) << Joined(spec.problems);
}

TEST(DrumkitXml, AnyBytesAtAllAreReadWithoutHarm) {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919) & 0xFF);
  const TDrumkitSpec noise = ParseDrumkitXml(bytes.data(), bytes.size(), "/k");
  EXPECT_FALSE(noise.readable);
  EXPECT_FALSE(ParseDrumkitXml(nullptr, 0, "").readable);
  // Deep nesting and a name far too long.
  std::string deep = "<drumkit_info><name>" + std::string(10000, 'n') + "</name>";
  for (int i = 0; i < 2000; ++i) deep += "<a>";
  const TDrumkitSpec nested = Parse(deep);
  EXPECT_LE(nested.name.size(), 64u);
  // More instruments than the kit may have.
  std::string many = "<drumkit_info><instrumentList>";
  for (int i = 0; i < 300; ++i) many += "<instrument><name>I</name><midiOutNote>36</midiOutNote>" + kLayer + "</instrument>";
  const TDrumkitSpec crowded = Parse(many + "</instrumentList></drumkit_info>");
  EXPECT_EQ(crowded.instruments.size(), 1u);
  EXPECT_TRUE(Says(crowded.problems, "more than 256 instruments"));
}

TDrumkitLayer Range(double min, double max) {
  TDrumkitLayer l;
  l.file = "x.wav";
  l.min = min;
  l.max = max;
  return l;
}

TEST(DrumkitVelocities, EachVelocityPlaysTheLayerWhoseRangeHoldsIt) {
  std::vector<std::string> problems;
  const auto map = MapVelocities({Range(0.5, 1), Range(0, 0.25), Range(0.25, 0.5)}, "Kick", problems);
  EXPECT_TRUE(problems.empty()) << Joined(problems);
  ASSERT_EQ(map.groups.size(), 3u);
  auto layerOf = [&](int v) { return map.groups[map.groupOfVelocity[v]][0]; };
  EXPECT_EQ(layerOf(1), 1u);
  EXPECT_EQ(layerOf(31), 1u);   // 0.244
  EXPECT_EQ(layerOf(32), 2u);   // 0.252
  EXPECT_EQ(layerOf(63), 2u);   // 0.496
  EXPECT_EQ(layerOf(64), 0u);   // 0.504
  EXPECT_EQ(layerOf(127), 0u);
}

TEST(DrumkitVelocities, SamplesOfOneRangeTakeTurns) {
  std::vector<std::string> problems;
  const auto map = MapVelocities({Range(0, 1), Range(0, 1), Range(0, 1)}, "Snare", problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(map.groups.size(), 1u);
  EXPECT_EQ(map.groups[0], (std::vector<size_t>{0, 1, 2}));
}

TEST(DrumkitVelocities, GapsPlayTheNearestLayerAndOverlapsTheHigherOne) {
  std::vector<std::string> problems;
  const auto gap = MapVelocities({Range(0, 0.3), Range(0.6, 1)}, "Tom", problems);
  EXPECT_TRUE(Says(problems, "Tom: no layer holds velocities 39 - 76; the nearest layer plays them")) << Joined(problems);
  EXPECT_EQ(gap.groupOfVelocity[50], 0);  // 0.394: nearer to 0.3
  EXPECT_EQ(gap.groupOfVelocity[70], 1);  // 0.551: nearer to 0.6
  problems.clear();
  const auto overlap = MapVelocities({Range(0, 0.6), Range(0.4, 1)}, "Hat", problems);
  EXPECT_TRUE(Says(problems, "Hat: layers overlap at velocities 51 - 76")) << Joined(problems);
  EXPECT_EQ(overlap.groupOfVelocity[60], 1);
  EXPECT_EQ(overlap.groupOfVelocity[40], 0);
}

}  // namespace
