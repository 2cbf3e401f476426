#include <gtest/gtest.h>

#include <random>
#include <set>

#include "AudioFileFixtures.h"
#include "audiofile/TAnalysisChunk.h"
#include "audiofile/TWAVFile.h"
#include "foundation/Messages.h"

namespace {
std::string Corrupt(const std::string& suffix = ".wav") { return MessagePath(suffix) + " is corrupt."; }

TBytes Riff(const TBytes& chunks, int64_t declared = -1) { return LE().Container("RIFF", "WAVE", chunks, declared); }

TBytes Zeros(size_t n) {
  TBytes bytes = LE();
  bytes.Zeros(n);
  return bytes;
}

// Every message that opening a damaged file may show.
std::set<std::string> AllowedMessages(const std::string& suffix) {
  const std::string name = MessagePath(suffix);
  return {name + " is corrupt.",
          "The file " + name + " \nis not a waveform-audio file.",
          "Format of " + name + " is not supported.",
          "Format of " + name + " is not supported. \nOnly 1-channel or 2-channel files can be read.",
          "Unable to read file " + name + " \n Only 8-bit or 16-bit files can be read.",
          "File " + name + " contains no data."};
}

TBytes RichWav() {
  TBytes list = LE();
  list.Id("INFO").Id("ICMT").U32(5).Raw({'h', 'e', 'l', 'l', 'o'}).U8(0);
  TBytes table = LE();
  table.U32(3).U32(1).U32(220).U32(0).U32(32).U32(1).U32(0).U32(0).U32(600);
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(2, 44100, 16)).Chunk("LIST", list).Chunk("smpl", WavSample(60, {{1, 4, 9}}, 2));
  chunks.Chunk("data", Zeros(600)).Chunk("Anal", table);
  return Riff(chunks);
}

TBytes RichAiff() {
  TBytes marks = BE();
  marks.U16(2).U16(1).U32(3).U8(3).Raw({'b', 'e', 'g'}).U16(2).U32(9).U8(2).Raw({'e', 'n'}).U8(0);
  TBytes inst = BE();
  inst.U8(60).U8(0).U8(0).U8(127).U8(0).U8(127).U16(0).U16(2).U16(1).U16(2).U16(0).U16(0).U16(0);
  TBytes table = BE();
  table.U32(2).U32(1).U32(220).U32(0).U32(32).U32(1).U32(0).U32(150);
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(1, 150, 16, 44100)).Chunk("MARK", marks).Chunk("INST", inst);
  chunks.Chunk("SSND", AiffSound(0, 0, 300)).Chunk("Anal", table);
  return BE().Container("FORM", "AIFF", chunks);
}

void ExpectOpensOrAllowedMessage(const TBytes& bytes, const std::string& suffix, const std::string& what) {
  static std::set<std::string> allowed;
  allowed = AllowedMessages(suffix);
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(bytes, &error, suffix));
  if (file) {
    EXPECT_GE(file->GetLength(), 1) << what;
    EXPECT_LE(file->GetDataOffset() + int64_t(file->GetLength()) * file->GetChannels() * file->GetBytesPerSample(),
              int64_t(bytes.Size()))
        << what;
    return;
  }
  EXPECT_TRUE(allowed.count(error)) << what << ": " << error;
}
}  // namespace

TEST(BadInput, ContainersNestedWithoutEndAreCorrupt) {
  TBytes inner = LE();
  inner.Chunk("fmt ", WavFormat(2, 44100, 16)).Chunk("data", Zeros(40));
  TBytes nested = inner;
  for (int depth = 0; depth < 200; ++depth) {
    TBytes outer = LE();
    outer.Container(depth % 2 ? "FORM" : "RIFF", "WAVE", nested);
    nested = outer;
  }
  EXPECT_EQ(OpenError(Riff(nested)), Corrupt());
  // A few levels are read; the nested containers tell nothing about the file.
  TBytes shallow = LE();
  shallow.Chunk("fmt ", WavFormat(2, 44100, 16)).Container("RIFF", "WAVE", inner).Chunk("data", Zeros(40));
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(shallow), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->GetLength(), 10);
}

TEST(BadInput, AFormNestedInARiffDoesNotSwitchTheByteOrder) {
  // Written in the root's byte order, as the nested form is read.
  TBytes form = LE();
  form.Chunk("COMM", LE().U16(1).U32(10).U16(8).Raw({0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}));
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(2, 44100, 16)).Container("FORM", "AIFF", form).Chunk("data", Zeros(400));
  chunks.Chunk("smpl", WavSample(70, {{0, 4, 9}}));
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->GetLength(), 100);
  EXPECT_EQ(file->GetRootKey(), 70);
  EXPECT_TRUE(file->GetLoop());
}

TEST(BadInput, SmallChunksReachingBeyondTheFileAreCorrupt) {
  for (const char* id : {"fmt ", "smpl", "Anal"}) {
    TBytes chunks = LE();
    chunks.Chunk("data", Zeros(40));
    if (std::string(id) != "fmt ") chunks.Chunk("fmt ", WavFormat(2, 44100, 16));
    chunks.Id(id).U32(0xFFFFFFFF).Zeros(40);
    EXPECT_EQ(OpenError(Riff(chunks, 0xFFFFFFFF)), Corrupt()) << id;
  }
}

TEST(BadInput, LoopCountsAndSamplerSizesBeyondTheChunk) {
  TBytes body = WavSample(60, {{0, 1, 2}});
  body.bytes[28] = 0x00;
  body.bytes[29] = 0x2D;
  body.bytes[30] = 0x31;
  body.bytes[31] = 0x01;  // 20 000 000 loops
  TBytes smpl = LE();
  smpl.Chunk("smpl", body);
  EXPECT_EQ(OpenError(SimpleWav(2, 44100, 16, 40, &smpl)), Corrupt());
  TBytes huge = WavSample(60, {});
  huge.bytes[32] = huge.bytes[33] = huge.bytes[34] = huge.bytes[35] = 0xFF;
  TBytes sampler = LE();
  sampler.Chunk("smpl", huge);
  EXPECT_EQ(OpenError(SimpleWav(2, 44100, 16, 40, &sampler)), "");
}

TEST(BadInput, MoreChunksThanAnyFileHasAreCorrupt) {
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(2, 44100, 16));
  for (int i = 0; i < TChunkedAudioFile::maxChunks + 1; ++i) chunks.Chunk("junk", LE());
  chunks.Chunk("data", Zeros(40));
  EXPECT_EQ(OpenError(Riff(chunks)), Corrupt());
}

TEST(BadInput, FilesThatAreNoChunkedAudio) {
  const std::string unsupported = "Format of " + MessagePath(".wav") + " is not supported.";
  EXPECT_EQ(OpenError(LE()), unsupported);
  EXPECT_EQ(OpenError(LE().Id("RIF")), unsupported);
  EXPECT_EQ(OpenError(LE().Id("OggS").Zeros(100)), unsupported);
  EXPECT_EQ(OpenError(LE().Id("RIFF")), Corrupt());
  EXPECT_EQ(OpenError(LE().Id("RIFF").U32(4)), Corrupt());
  EXPECT_EQ(OpenError(LE().Id("RIFF").U32(2).U16(0)), Corrupt());
  EXPECT_EQ(OpenError(LE().Id("RIFF").U32(4).Id("WAVE")), "The file " + MessagePath() + " \nis not a waveform-audio file.");
}

TEST(BadInput, AWavObjectRefusesAFileOfAnotherForm) {
  const std::string path = TestPath(".wav");
  WriteFileBytes(path, RichAiff().bytes);
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  TWAVFile file;
  file.SetFileName(*name);
  try {
    file.Open(1024);
    FAIL() << "opened";
  } catch (EError) {
    EXPECT_EQ(std::string(std::string_view(GetPendingError()->GetText())),
              "The file " + path + " \nis not a waveform-audio file.");
    ClearPendingError();
  }
  EXPECT_EQ(file.GetRoot(), nullptr);
}

TEST(BadInput, EveryTruncationOpensOrIsRefusedWithItsMessage) {
  for (const auto& [bytes, suffix] : {std::pair{RichWav(), std::string(".wav")}, std::pair{RichAiff(), std::string(".aif")}}) {
    EXPECT_EQ(OpenError(bytes, suffix), "") << suffix;
    for (size_t length = 0; length < bytes.Size(); ++length) {
      TBytes cut = bytes.Same();
      cut.bytes.assign(bytes.bytes.begin(), bytes.bytes.begin() + long(length));
      ExpectOpensOrAllowedMessage(cut, suffix, suffix + " cut at " + std::to_string(length));
    }
  }
}

TEST(BadInput, DamagedHeadersOpenOrAreRefusedWithTheirMessages) {
  std::mt19937 random(1234);
  const uint8_t interesting[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x07, 0x08, 0x10, 0x7F, 0x80, 0xFE, 0xFF};
  for (const auto& [bytes, suffix] : {std::pair{RichWav(), std::string(".wav")}, std::pair{RichAiff(), std::string(".aif")}}) {
    // Only the header is damaged, where sizes, counts and formats live.
    const size_t header = std::min<size_t>(bytes.Size(), 140);
    std::uniform_int_distribution<size_t> where(0, header - 1);
    std::uniform_int_distribution<size_t> which(0, sizeof interesting - 1);
    for (int round = 0; round < 1500; ++round) {
      TBytes damaged = bytes;
      const int changes = 1 + round % 4;
      for (int i = 0; i < changes; ++i) damaged.bytes[where(random)] = interesting[which(random)];
      ExpectOpensOrAllowedMessage(damaged, suffix, suffix + " round " + std::to_string(round));
      if (HasFailure()) return;
    }
  }
}
