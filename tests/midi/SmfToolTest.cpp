// thudra-tool smf as a user runs it: a separate process, its output and exit status.
#include <gtest/gtest.h>

#include "MidiTestSupport.h"

namespace {

const std::string tool = std::string(THUDRA_PROGRAM_DIR) + "/thudra-tool";

TEST(SmfTool, PrintsWhatTheLoaderStoredAsJson) {
  TTempDir dir;
  const TBytes file = Join({SmfHeader(1, 2, 96),
                            SmfTrack(Join({Tempo(0, 500000), Tempo(96, 400000), EndOfTrack(96)})),
                            SmfTrack(Join({At(0, {0x99, 36, 100}), At(48, {38, 90}), At(0, {0xC0, 5}), EndOfTrack(144)}))});
  WriteFile(dir.File("groove.mid"), file);
  std::string out;
  ASSERT_EQ(RunCommand("cd '" + dir.Path() + "' && '" + tool + "' smf --json groove.mid", &out), 0);
  EXPECT_EQ(out,
            "{\"file\":\"groove.mid\",\"format\":1,\"trackCount\":2,\"division\":96,"
            "\"tracks\":[[],[[0,153,36,100],[48,153,38,90],[48,192,5,0]]],"
            "\"tempos\":[[0,120],[96,150]],\"songLength\":192,\"clocksPerTick\":0.25}\n");
  out.clear();
  ASSERT_EQ(RunCommand("'" + tool + "' smf '" + dir.File("groove.mid") + "'", &out), 0);
  EXPECT_NE(out.find("tempo at 96: 150 BPM"), std::string::npos) << out;
}

TEST(SmfTool, ReportsTheMessageAndFails) {
  TTempDir dir;
  WriteFile(dir.File("cut.mid"), Join({SmfHeader(0, 1, 96), TBytes{'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0x90}}));
  WriteFile(dir.File("text.mid"), TBytes{'h', 'e', 'l', 'l', 'o'});
  struct TCase {
    std::string args;
    std::string json;
  };
  const std::vector<TCase> cases = {
      {"cut.mid", "{\"file\":\"cut.mid\",\"error\":\"Error while reading midi file cut.mid:\"}\n"},
      {"./text.mid", "{\"file\":\"./text.mid\",\"error\":\"Not a Standard Midi File\"}\n"},
      {"missing.mid", "{\"file\":\"missing.mid\",\"error\":\"Error while reading midi file missing.mid:\"}\n"},
  };
  for (const TCase& c : cases) {
    std::string out;
    EXPECT_EQ(RunCommand("cd '" + dir.Path() + "' && '" + tool + "' smf --json " + c.args + " 2>&1", &out), 1);
    EXPECT_EQ(out, c.json);
  }
  std::string usage;
  EXPECT_EQ(RunCommand("'" + tool + "' smf 2>&1", &usage), 2);
  EXPECT_EQ(usage, "usage: thudra-tool smf [--json] FILE\n");
}

}  // namespace
