// The kit loader with kit folders made by the test: layers and their velocities,
// FLAC, AIFF, stereo, other sample rates, samples that are missing, empty, not
// audio or not files at all, a kit larger than the memory limit, and the default
// kit of Debian's hydrogen-data when it is installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "TDrumkitLibrary.h"
#include "TDrumkitLoader.h"
#include "TestKits.h"

namespace {

namespace fs = std::filesystem;
using testkit::TTone;

class TDrumkitLoaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("thudra-kit-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  void Xml(const std::vector<testkit::TInstrumentSpec>& instruments) {
    testkit::WriteText(folder / "drumkit.xml", testkit::KitXml("Test", instruments));
  }
  TDrumkitLoad Load(double rate = 44100, size_t limit = TDrumkitLoader::DefaultMemoryLimit()) {
    return TDrumkitLoader::Load(folder.string(), rate, limit);
  }
  static const TLayer& LayerFor(const TKitSounds& kit, int note, int velocity, size_t turn = 0) {
    const TCellSounds& c = kit.cells[note - kFirstCellNote];
    const auto& group = c.groups[c.groupOfVelocity[velocity]];
    return group[turn % group.size()];
  }
  static double Peak(const TSample& s) {
    double peak = 0;
    for (float v : s.frames) peak = std::max(peak, std::fabs(double(v)));
    return peak;
  }
  // Zero crossings of channel 0 per second.
  static double CrossingsHz(const TSample& s) {
    int crossings = 0;
    const int32_t n = std::min<int32_t>(s.Length(), static_cast<int32_t>(s.rate * 0.05));
    for (int32_t i = 1; i < n; ++i) crossings += (s.At(i - 1) < 0) != (s.At(i) < 0);
    return crossings / 2.0 / (n / s.rate);
  }

  fs::path folder;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

bool Says(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST_F(TDrumkitLoaderTest, LayersPlayByVelocityAndSamplesOfOneRangeTakeTurns) {
  ASSERT_TRUE(testkit::WriteTone(folder / "soft.wav", {200, 0.2}));
  ASSERT_TRUE(testkit::WriteTone(folder / "hard.wav", {400, 0.8}));
  ASSERT_TRUE(testkit::WriteTone(folder / "rr1.wav", {300, 0.5}));
  ASSERT_TRUE(testkit::WriteTone(folder / "rr2.wav", {600, 0.5}));
  Xml({{"Snare", 38, {{"soft.wav", 0, 0.5, 1}, {"hard.wav", 0.5, 1, 0.5}}, 2.0, 0.5},
       {"Clap", 39, {{"rr1.wav"}, {"rr2.wav"}}}});
  const TDrumkitLoad load = Load();
  ASSERT_TRUE(load.kit) << load.error;
  EXPECT_TRUE(load.leftOut.empty()) << Joined(load.leftOut);
  EXPECT_EQ(load.instruments, 2);
  EXPECT_EQ(load.samples, 4);
  const TKitSounds& kit = *load.kit;
  EXPECT_EQ(kit.name, folder.filename().string());
  const TCellSounds& snare = kit.cells[38 - kFirstCellNote];
  EXPECT_TRUE(snare.sampled);
  EXPECT_EQ(snare.name, "Snare");
  EXPECT_FLOAT_EQ(snare.gain, 2.0f);
  EXPECT_FLOAT_EQ(snare.pan, 0.5f);
  EXPECT_NEAR(CrossingsHz(*LayerFor(kit, 38, 40).sample), 200, 10);
  EXPECT_NEAR(CrossingsHz(*LayerFor(kit, 38, 100).sample), 400, 10);
  EXPECT_FLOAT_EQ(LayerFor(kit, 38, 100).gain, 0.5f);
  EXPECT_NEAR(CrossingsHz(*LayerFor(kit, 39, 100, 0).sample), 300, 10);
  EXPECT_NEAR(CrossingsHz(*LayerFor(kit, 39, 100, 1).sample), 600, 10);
  // The cells the kit does not fill keep the synthesized sounds.
  EXPECT_FALSE(kit.cells[0].sampled);
  EXPECT_EQ(kit.cells[0].groups.size(), 3u);
}

TEST_F(TDrumkitLoaderTest, ReadsFlacAiffAndStereoAndConvertsOtherRates) {
  ASSERT_TRUE(testkit::WriteTone(folder / "a.flac", {500, 0.5, 0.3, 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}));
  ASSERT_TRUE(testkit::WriteTone(folder / "b.aiff", {500, 0.5, 0.3, 44100, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_24}));
  ASSERT_TRUE(testkit::WriteTone(folder / "c.wav", {500, 0.5, 0.3, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT}));
  ASSERT_TRUE(testkit::WriteTone(folder / "d.wav", {500, 0.5, 0.3, 22050, 4, SF_FORMAT_WAV | SF_FORMAT_PCM_16}));
  Xml({{"A", 36, {{"a.flac"}}}, {"B", 37, {{"b.aiff"}}}, {"C", 38, {{"c.wav"}}}, {"D", 39, {{"d.wav"}}}});
  for (double rate : {44100.0, 96000.0}) {
    SCOPED_TRACE(rate);
    const TDrumkitLoad load = Load(rate);
    ASSERT_TRUE(load.kit) << load.error;
    EXPECT_TRUE(load.leftOut.empty()) << Joined(load.leftOut);
    for (int note : {36, 37, 38, 39}) {
      const TSample& s = *LayerFor(*load.kit, note, 100).sample;
      SCOPED_TRACE(note);
      EXPECT_EQ(s.rate, rate);
      EXPECT_NEAR(s.Length(), 0.3 * rate, 0.01 * rate) << "the same duration at the rate it plays at";
      EXPECT_NEAR(CrossingsHz(s), 500, 15) << "the same pitch";
      EXPECT_NEAR(Peak(s), 0.5, 0.05);
    }
    EXPECT_EQ(LayerFor(*load.kit, 38, 100).sample->channels, 2);
    EXPECT_EQ(LayerFor(*load.kit, 39, 100).sample->channels, 2) << "the first two of four channels";
    EXPECT_EQ(LayerFor(*load.kit, 36, 100).sample->channels, 1);
  }
}

TEST_F(TDrumkitLoaderTest, StartsAtTheFirstSoundAndNeverEndsWithAStep) {
  TTone late{300, 0.5, 0.2};
  late.silence = 0.05;
  ASSERT_TRUE(testkit::WriteTone(folder / "late.wav", late));
  // A sine cut off at full level.
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open((folder / "cut.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<float> steady(8820);
  for (size_t i = 0; i < steady.size(); ++i) steady[i] = 0.5f * static_cast<float>(std::sin(0.3 + i * 0.05));
  sf_writef_float(f, steady.data(), static_cast<sf_count_t>(steady.size()));
  sf_close(f);
  Xml({{"Late", 36, {{"late.wav"}}}, {"Cut", 37, {{"cut.wav"}}}});
  const TDrumkitLoad load = Load();
  ASSERT_TRUE(load.kit) << load.error;
  const TSample& trimmed = *LayerFor(*load.kit, 36, 100).sample;
  EXPECT_NEAR(trimmed.Length(), 0.2 * 44100, 50) << "the leading silence is gone";
  EXPECT_GT(std::fabs(trimmed.At(0)), 1e-4f);
  const TSample& faded = *LayerFor(*load.kit, 37, 100).sample;
  EXPECT_EQ(faded.Length(), 8820);
  EXPECT_LT(std::fabs(faded.At(faded.Length() - 1)), 1e-3f);
  float before = 0;
  for (int32_t i = 8820 - 700; i < 8820 - 500; ++i) before = std::max(before, std::fabs(faded.At(i)));
  EXPECT_GT(before, 0.45f) << "only the last 10 ms fade";
}

TEST_F(TDrumkitLoaderTest, LoadsWhatIsSoundAndSaysWhatWasLeftOut) {
  ASSERT_TRUE(testkit::WriteTone(folder / "good.wav", {300, 0.5}));
  testkit::WriteText(folder / "empty.wav", "");
  testkit::WriteText(folder / "text.wav", "these are not the samples you are looking for");
  // A WAV header that claims no channels.
  const unsigned char header[] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                  1, 0, 0, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0,
                                  'd', 'a', 't', 'a', 0, 0, 0, 0};
  testkit::WriteText(folder / "nochannels.wav", std::string(reinterpret_cast<const char*>(header), sizeof header));
  ASSERT_EQ(mkfifo((folder / "pipe.wav").c_str(), 0600), 0);
  fs::create_directories(folder / "folder.wav");
  Xml({{"Kick", 36, {{"good.wav", 0, 0.5}, {"missing.wav", 0.5, 1}}},
       {"Snare", 38, {{"empty.wav"}}},
       {"Tom", 41, {{"text.wav"}}},
       {"Hat", 42, {{"nochannels.wav"}}},
       {"Pipe", 43, {{"pipe.wav"}}},
       {"Dir", 45, {{"folder.wav"}}}});
  const auto started = std::chrono::steady_clock::now();
  const TDrumkitLoad load = Load();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "a named pipe is never opened";
  ASSERT_TRUE(load.kit) << load.error;
  const std::string said = Joined(load.leftOut);
  EXPECT_TRUE(Says(load.leftOut, "Kick: the sample missing.wav is missing")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Snare: the sample empty.wav is empty")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Tom: the sample text.wav is not audio")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Hat: the sample nochannels.wav")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Pipe: the sample pipe.wav is not a file")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Dir: the sample folder.wav is not a file")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Snare: none of its samples plays; the cell keeps its synthesized sound")) << said;
  EXPECT_TRUE(Says(load.leftOut, "Kick: no layer holds velocities")) << said;
  EXPECT_EQ(load.instruments, 1);
  EXPECT_TRUE(load.kit->cells[36 - kFirstCellNote].sampled);
  for (int note : {38, 41, 42, 43, 45}) EXPECT_FALSE(load.kit->cells[note - kFirstCellNote].sampled) << note;
  EXPECT_NEAR(CrossingsHz(*LayerFor(*load.kit, 36, 127).sample), 300, 10) << "the good layer plays the gap";
}

TEST_F(TDrumkitLoaderTest, AKitThatCannotBeReadIsRefusedAsAWhole) {
  EXPECT_NE(Load().error.find("has no drumkit.xml"), std::string::npos);
  testkit::WriteText(folder / "drumkit.xml", "<drumkit_info><name>broken");
  const TDrumkitLoad broken = Load();
  EXPECT_FALSE(broken.kit);
  EXPECT_NE(broken.error.find("cannot be read: drumkit.xml is not XML"), std::string::npos) << broken.error;
}

// A sparse file whose header promises 1.5 GB of 16-bit sound: 3 GB as floats.
void WriteHugeWav(const fs::path& path) {
  const uint32_t dataBytes = 1500u * 1000u * 1000u;
  unsigned char header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
  const uint32_t riff = dataBytes + 36;
  for (int i = 0; i < 4; ++i) {
    header[4 + i] = static_cast<unsigned char>(riff >> (8 * i));
    header[40 + i] = static_cast<unsigned char>(dataBytes >> (8 * i));
  }
  testkit::WriteText(path, std::string(reinterpret_cast<const char*>(header), sizeof header));
  fs::resize_file(path, 44 + dataBytes);
}

TEST_F(TDrumkitLoaderTest, AKitLargerThanTheMemoryLimitIsRefusedBeforeItIsRead) {
  WriteHugeWav(folder / "huge.wav");
  ASSERT_TRUE(testkit::WriteTone(folder / "small.wav", {300, 0.5}));
  Xml({{"Huge", 36, {{"huge.wav"}}}, {"Small", 38, {{"small.wav"}}}});
  const auto started = std::chrono::steady_clock::now();
  const TDrumkitLoad load = Load();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "nothing was read";
  EXPECT_FALSE(load.kit);
  EXPECT_NE(load.error.find("of sample memory, more than the"), std::string::npos) << load.error;
  EXPECT_LE(TDrumkitLoader::DefaultMemoryLimit(), size_t{1} << 30);

  // The limit counts the whole kit: two samples that each fit may not fit together.
  fs::remove(folder / "huge.wav");
  ASSERT_TRUE(testkit::WriteTone(folder / "other.wav", {300, 0.5}));
  Xml({{"Other", 36, {{"other.wav"}}}, {"Small", 38, {{"small.wav"}}}});
  const size_t one = static_cast<size_t>(0.3 * 44100 + 18) * sizeof(float);
  EXPECT_TRUE(Load(44100, 4 * one).kit);
  EXPECT_FALSE(Load(44100, 2 * one).kit);
}

TEST(DefaultKit, GMRockKitLoadsWholeWhenInstalled) {
  const std::string folder = TDrumkitLibrary::Find(TDrumkitLibrary::defaultKit);
  if (folder.empty()) GTEST_SKIP() << "hydrogen-data is not installed";
  const TDrumkitLoad load = TDrumkitLoader::Load(folder, 48000, TDrumkitLoader::DefaultMemoryLimit());
  ASSERT_TRUE(load.kit) << load.error;
  EXPECT_TRUE(load.leftOut.empty()) << Joined(load.leftOut);
  EXPECT_EQ(load.instruments, 18);
  for (int note : {36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 49, 51, 53, 55, 56, 59, 82})
    EXPECT_TRUE(load.kit->cells[note - kFirstCellNote].sampled) << note;
  EXPECT_EQ(load.kit->cells[38 - kFirstCellNote].groups.size(), 5u) << "five velocity layers";
}

TEST(DrumkitLibraryTest, FindsKitsByTheirFolderNameAndNothingElse) {
  EXPECT_EQ(TDrumkitLibrary::Find(".."), "");
  EXPECT_EQ(TDrumkitLibrary::Find("a/b"), "");
  EXPECT_EQ(TDrumkitLibrary::Find(""), "");
  EXPECT_EQ(TDrumkitLibrary::Find("NoSuchKitAnywhere"), "");
  const auto roots = TDrumkitLibrary::Roots();
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(roots[1], "/usr/share/hydrogen/data/drumkits");
}

}  // namespace
