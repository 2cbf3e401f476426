// thudra-tool as a user runs it: a separate process, its output and exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "AudioFileFixtures.h"

namespace {
const std::string tool = std::string(THUDRA_PROGRAM_DIR) + "/thudra-tool";

struct TResult {
  int status;
  std::string out;
};

// Runs the tool in the test's file folder; standard error is dropped unless asked for.
TResult Tool(const std::string& arguments, bool withErrors = false) {
  const std::string folder = std::filesystem::path(TestPath("")).parent_path().string();
  TResult result;
  result.status = RunCommand("cd '" + folder + "' && '" + tool + "' " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null"),
                             &result.out);
  return result;
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Python's json module reads the line and prints the named field as the characters'
// code points, so that escapes are checked by a reader no one here wrote.
std::string DecodedCodePoints(const std::string& jsonLine, const std::string& expression) {
  const std::string json = TestPath(".json");
  WriteFileBytes(json, std::vector<uint8_t>(jsonLine.begin(), jsonLine.end()));
  const std::string script = TestPath(".py");
  const std::string code = "import json, sys\nv = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                           "print(' '.join(str(ord(c)) for c in " + expression + "))\n";
  WriteFileBytes(script, std::vector<uint8_t>(code.begin(), code.end()));
  std::string output;
  RunCommand("python3 '" + script + "' '" + json + "'", &output);
  return output;
}

TBytes PulseWav(uint32_t bits, size_t frames, size_t period) {
  TBytes data = LE();
  for (size_t i = 0; i < frames; ++i) {
    const bool pulse = i % period == 0;
    if (bits == 8) data.U8(pulse ? 0xC0 : 0x80);
    else data.U16(pulse ? 0x4000 : 0);
  }
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(1, 44100, bits)).Chunk("data", data);
  return LE().Container("RIFF", "WAVE", chunks);
}

TBytes PulseAiff(size_t frames, size_t period) {
  TBytes sound = BE();
  sound.U32(0).U32(0);
  for (size_t i = 0; i < frames; ++i) sound.U8(i % period == 0 ? 0x40 : 0x00);
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(1, uint32_t(frames), 8, 44100)).Chunk("SSND", sound);
  return BE().Container("FORM", "AIFF", chunks);
}
}  // namespace

TEST(ThudraTool, InfoJsonPrintsThePropertiesAndTheChunkTree) {
  TBytes smpl = LE();
  smpl.Chunk("smpl", WavSample(64, {{1, 100, 199}}));
  const std::string path = TestPath(".wav");
  WriteFileBytes(path, SimpleWav(2, 44100, 16, 4000, &smpl).bytes);
  const TResult result = Tool("info --json '" + FileName(path) + "'");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "{\"file\":\"" + FileName(path) +
                            "\",\"format\":\"wav\",\"channels\":2,\"sampleRate\":44100,\"bits\":16,\"length\":1000,"
                            "\"durationMs\":22.6757374,\"loop\":true,\"pingPong\":true,\"loopStart\":100,"
                            "\"loopEnd\":200,\"rootKey\":64,\"dataOffset\":112,\"analysisEntries\":0,\"chunks\":["
                            "{\"id\":\"RIFF\",\"size\":4104,\"offset\":8},{\"id\":\"fmt \",\"size\":16,\"offset\":20},"
                            "{\"id\":\"smpl\",\"size\":60,\"offset\":44},{\"id\":\"data\",\"size\":4000,\"offset\":112}]}\n");
}

TEST(ThudraTool, InfoJsonOfAiffWithAnAnalysis) {
  TBytes table = BE();
  table.U32(3).U32(1).U32(220).U32(0).U32(32).U32(1).U32(0).U32(220).U32(500);
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(1, 500, 8, 22050)).Chunk("SSND", AiffSound(0, 0, 500)).Chunk("Anal", table);
  const std::string path = TestPath(".aif");
  WriteFileBytes(path, BE().Container("FORM", "AIFF", chunks).bytes);
  const TResult result = Tool("info --json '" + FileName(path) + "'");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("\"format\":\"aiff\",\"channels\":1,\"sampleRate\":22050,\"bits\":8,\"length\":500,"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\"dataOffset\":54,\"analysisEntries\":3,"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("{\"id\":\"Anal\",\"size\":36,\"offset\":562}"), std::string::npos) << result.out;
}

TEST(ThudraTool, FailingFilesPrintTheMessageWithThePathAsGivenAndExitWithOne) {
  const std::string good = TestPath("-good.wav");
  WriteFileBytes(good, SimpleWav(1, 8000, 8, 10).bytes);
  const std::string bad = TestPath("-bad.wav");
  WriteFileBytes(bad, SimpleWav(3, 8000, 16, 60).bytes);
  const std::string given = ".//" + FileName(bad);
  const TResult result = Tool("info --json '" + given + "' missing.wav '" + FileName(good) + "'");
  EXPECT_EQ(result.status, 1);
  const std::string expected =
      "{\"file\":\"" + given + "\",\"error\":\"Format of " + given +
      " is not supported. \\nOnly 1-channel or 2-channel files can be read.\"}\n"
      "{\"file\":\"missing.wav\",\"error\":\"Can not open file missing.wav.\"}\n";
  EXPECT_EQ(result.out.substr(0, expected.size()), expected);
  EXPECT_NE(result.out.find("{\"file\":\"" + FileName(good) + "\",\"format\":\"wav\""), std::string::npos);

  const TResult plain = Tool("info '" + given + "'", true);
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, given + ": Format of " + given + " is not supported. \nOnly 1-channel or 2-channel files can be read.\n");
}

TEST(ThudraTool, ChunkIdentifiersAndNamesAreEscapedForJson) {
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(1, 8000, 8)).Chunk("data", LE().Zeros(4));
  chunks.Id(std::string("\"\\\x01\xE9", 4)).U32(2).U16(0);
  const std::string path = TestPath("-\xC3\xA4.wav");  // the name in UTF-8
  WriteFileBytes(path, LE().Container("RIFF", "WAVE", chunks).bytes);
  const TResult result = Tool("info --json '" + FileName(path) + "'");
  ASSERT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("{\"id\":\"\\\"\\\\\\u0001\\u00e9\",\"size\":2,\"offset\":"), std::string::npos)
      << result.out;
  EXPECT_EQ(DecodedCodePoints(result.out, "v['chunks'][3]['id']"), "34 92 1 233\n");
  EXPECT_EQ(DecodedCodePoints(result.out, "v['file'][-5:]"), "228 46 119 97 118\n");
}

TEST(ThudraTool, PlainInfoIsReadable) {
  const std::string path = TestPath(".wav");
  WriteFileBytes(path, SimpleWav(2, 44100, 16, 400).bytes);
  const TResult result = Tool("info '" + FileName(path) + "'");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("  format       wav, 2 channel(s), 44100 Hz, 16 bits\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("  length       100 frames (2.268 ms)\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("    RIFF  size 436  offset 8\n      fmt   size 16  offset 20\n"), std::string::npos)
      << result.out;
}

TEST(ThudraTool, AnalyseFindsThePeriodOfChannelZero) {
  for (const auto& [bytes, suffix] : {std::pair{PulseWav(16, 4410, 300), std::string(".wav")},
                                      std::pair{PulseWav(8, 4410, 300), std::string("-8.wav")},
                                      std::pair{PulseAiff(4410, 300), std::string(".aif")}}) {
    const std::string path = TestPath(suffix);
    WriteFileBytes(path, bytes.bytes);
    const TResult result = Tool("analyse --json '" + FileName(path) + "'");
    ASSERT_EQ(result.status, 0) << suffix;
    const std::string head = "{\"file\":\"" + FileName(path) + "\",\"sampleRate\":44100,\"length\":4410,\"step\":220,"
                             "\"entries\":22,\"table\":[0,300,600,600,900,1200,1500,1500,1800,2100,2400,2400,2700,"
                             "3000,3000,3300,3600,3900,3900,4200,4200,4410]}\n";
    EXPECT_EQ(result.out, head) << suffix;
  }
  const std::string path = TestPath(".wav");
  const TResult plain = Tool("analyse '" + FileName(path) + "'");
  EXPECT_NE(plain.out.find("  step     220 frames at 44100 Hz\n"), std::string::npos) << plain.out;
}

TEST(ThudraTool, UsageErrors) {
  EXPECT_EQ(Tool("").status, 2);
  EXPECT_EQ(Tool("frobnicate x").status, 2);
  EXPECT_EQ(Tool("info").status, 2);
  EXPECT_EQ(Tool("info --json").status, 2);
  EXPECT_EQ(Tool("analyse a.wav b.wav").status, 2);
  const TResult help = Tool("help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("info [--json] FILE..."), std::string::npos);
  EXPECT_NE(help.out.find("analyse [--json] FILE"), std::string::npos);
  const TResult broken = Tool("analyse --json missing.wav");
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out, "{\"file\":\"missing.wav\",\"error\":\"Can not open file missing.wav.\"}\n");
}
