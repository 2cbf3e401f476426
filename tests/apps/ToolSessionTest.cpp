// thudra-tool session: a session file read as the host reads it, printed as one JSON
// line; the checksum compared with coreutils' sha256sum.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "ProgramRun.h"

namespace {
struct TToolAnswer {
  int code = -1;
  std::string out;
};

TToolAnswer Shell(const std::string& command) {
  TToolAnswer answer;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return answer;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) answer.out.append(buffer, got);
  const int status = pclose(pipe);
  answer.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return answer;
}

std::string Tool() { return std::string(THUDRA_PROGRAM_DIR) + "/thudra-tool"; }

void Put(std::string& out, uint32_t value, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (big ? 8 * (bytes - 1 - i) : 8 * i)));
}

std::string Session(bool big, const std::string& chunk, uint32_t version = 100) {
  std::string out = big ? std::string("\x3A\x02\x02\x00\x00", 5) : std::string("\x3A\x01\x01\x00\x00", 5);
  const std::string identifier = "Thudra Session File";
  Put(out, static_cast<uint32_t>(identifier.size()), 4, big);
  out += identifier;
  Put(out, version, 4, big);
  Put(out, 0x0204, 2, big);
  Put(out, 0x22, 4, big);
  Put(out, 1, 4, big);
  Put(out, static_cast<uint32_t>(chunk.size()), 4, big);
  return out + chunk;
}

class ToolSessionTest : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = folder.File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  TProgramFolder folder;
};

TEST_F(ToolSessionTest, BothByteOrdersPrintTheSameFieldsAndTheChunksChecksum) {
  const std::string chunk = "a chunk of the plug-in's state\n";
  const std::string digest = Shell("sha256sum < '" + Write("chunk.bin", chunk) + "'").out.substr(0, 64);
  ASSERT_EQ(digest.size(), 64u);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const std::string path = Write(big ? "be.tsn" : "le.tsn", Session(big, chunk));
    const TToolAnswer answer = Shell(Tool() + " session --json '" + path + "'");
    EXPECT_EQ(answer.code, 0);
    EXPECT_EQ(answer.out, "{\"file\":\"" + path + "\",\"byteOrder\":\"" + (big ? "be" : "le") +
                              "\",\"identifier\":\"Thudra Session File\",\"version\":100,\"channelMask\":516,"
                              "\"filterBits\":34,\"through\":1,\"chunkSize\":" +
                              std::to_string(chunk.size()) + ",\"chunkSha256\":\"" + digest + "\"}\n");
  }
}

TEST_F(ToolSessionTest, AFailedLoadNamesTheErrorAndLeavesOutWhatWasNotRead) {
  const std::string newer = Write("newer.tsn", Session(false, "x", 101));
  TToolAnswer answer = Shell(Tool() + " session --json '" + newer + "'");
  EXPECT_EQ(answer.code, 1);
  EXPECT_EQ(answer.out, "{\"file\":\"" + newer +
                            "\",\"byteOrder\":\"le\",\"identifier\":\"Thudra Session File\",\"version\":101,"
                            "\"channelMask\":65535,\"filterBits\":0,\"through\":0,\"chunkSize\":null,"
                            "\"chunkSha256\":null,\"error\":\"Not a valid Thudra file.\"}\n");

  // Cut after the MIDI settings: they were applied, the chunk was not handed over.
  const std::string whole = Session(false, "abcdef");
  const std::string cut = Write("cut.tsn", whole.substr(0, whole.size() - 3));
  answer = Shell(Tool() + " session --json '" + cut + "'");
  EXPECT_EQ(answer.code, 1);
  EXPECT_NE(answer.out.find("\"channelMask\":516,\"filterBits\":34,\"through\":1,\"chunkSize\":null"), std::string::npos)
      << answer.out;

  const std::string garbage = Write("garbage.tsn", "not a session");
  answer = Shell(Tool() + " session --json '" + garbage + "'");
  EXPECT_EQ(answer.code, 1);
  EXPECT_EQ(answer.out, "{\"file\":\"" + garbage +
                            "\",\"channelMask\":65535,\"filterBits\":0,\"through\":0,\"chunkSize\":null,"
                            "\"chunkSha256\":null,\"error\":\"Not a valid Thudra file.\"}\n");
  answer = Shell(Tool() + " session --json '" + folder.File("missing.tsn") + "' 2>/dev/null");
  EXPECT_EQ(answer.code, 1);
  EXPECT_NE(answer.out.find("\"error\":\"Not a valid Thudra file.\""), std::string::npos);
}

TEST_F(ToolSessionTest, TextOutputAndUsage) {
  const std::string path = Write("s.tsn", Session(false, "xyz"));
  const TToolAnswer answer = Shell(Tool() + " session '" + path + "'");
  EXPECT_EQ(answer.code, 0);
  EXPECT_NE(answer.out.find("chunk         3 bytes"), std::string::npos) << answer.out;
  EXPECT_EQ(Shell(Tool() + " session 2>/dev/null").code, 2);
}
}  // namespace
