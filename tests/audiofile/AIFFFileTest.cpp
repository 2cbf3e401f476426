#include <gtest/gtest.h>

#include "AudioFileFixtures.h"
#include "audiofile/AudioFileFactory.h"
#include "audiofile/TAIFFFile.h"
#include "audiofile/TAIFFMarkerChunk.h"

namespace {
std::string Aif() { return ".aif"; }
std::string Corrupt() { return MessagePath(Aif()) + " is corrupt."; }

TBytes Form(const TBytes& chunks, int64_t declared = -1) { return BE().Container("FORM", "AIFF", chunks, declared); }

struct TMarker {
  uint32_t id;
  uint32_t position;
  std::string name;
};

TBytes Markers(const std::vector<TMarker>& markers, int64_t count = -1) {
  TBytes body = BE();
  body.U16(count >= 0 ? uint32_t(count) : uint32_t(markers.size()));
  for (const TMarker& m : markers) {
    body.U16(m.id).U32(m.position).U8(uint32_t(m.name.size()));
    for (char c : m.name) body.U8(uint8_t(c));
    if ((1 + m.name.size()) % 2) body.U8(0);
  }
  return body;
}

TBytes Instrument(int32_t baseNote, uint32_t sustainMode, uint32_t begin, uint32_t end) {
  TBytes body = BE();
  body.U8(uint32_t(baseNote)).U8(0).U8(0).U8(127).U8(0).U8(127).U16(0);
  body.U16(sustainMode).U16(begin).U16(end).U16(0).U16(0).U16(0);
  return body;
}

// COMM, then the given chunks, then SSND with 88200 bytes of 16-bit stereo.
TBytes AiffWith(const TBytes& middle, double rate = 44100) {
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(2, 22050, 16, rate)).Raw(middle).Chunk("SSND", AiffSound(0, 0, 88200));
  return Form(chunks);
}
}  // namespace

TEST(AIFFFile, PlainFileWithoutMarkersHasNoLoop) {
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(BE()), &error, Aif()));
  ASSERT_TRUE(file) << error;
  EXPECT_NE(dynamic_cast<TAIFFFile*>(file.Get()), nullptr);
  EXPECT_EQ(file->GetChannels(), 2);
  EXPECT_EQ(file->GetSampleRate(), 44100);
  EXPECT_EQ(file->GetBits(), 16);
  EXPECT_EQ(file->GetLength(), 22050);
  EXPECT_FALSE(file->GetLoop());
  EXPECT_EQ(file->GetLoopEnd(), 22050);
  EXPECT_EQ(file->GetDataOffset(), 12 + 26 + 16);
  EXPECT_EQ(file->GetRoot()->GetFirstSubChunk()->DataOffset(), 20);
}

TEST(AIFFFile, SampleRatesIn80BitForm) {
  for (double rate : {22050.0, 44100.0, 48000.0, 8000.0}) {
    EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(BE(), rate), nullptr, Aif()));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSampleRate(), int32_t(rate));
  }
  TBytes chunks = BE();
  TBytes common = BE();
  common.U16(1).U32(10).U16(8).Raw({0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
  chunks.Chunk("COMM", common).Chunk("SSND", AiffSound(0, 0, 10));
  EPtr<TChunkedAudioFile> file(OpenBytes(Form(chunks), nullptr, Aif()));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetSampleRate(), 22050);
}

TEST(AIFFFile, RatesThatAreNoNumberOrOutOfRangeAreCorrupt) {
  const std::vector<std::vector<uint8_t>> rates = {
      {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0},  // infinity
      {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0},  // NaN
      {0x43, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0},  // 2^1024
      {0x40, 0x3F, 0x80, 0, 0, 0, 0, 0, 0, 0},  // 2^64
      {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0},  // -44100
  };
  for (const auto& rate : rates) {
    TBytes common = BE();
    common.U16(2).U32(10).U16(16).Raw(rate);
    TBytes chunks = BE();
    chunks.Chunk("COMM", common).Chunk("SSND", AiffSound(0, 0, 40));
    EXPECT_EQ(OpenError(Form(chunks), Aif()), Corrupt()) << int(rate[0]) << " " << int(rate[1]);
  }
}

TEST(AIFFFile, MarkersAndInstrumentGiveLoopAndRootKey) {
  for (uint32_t mode : {0u, 1u, 2u}) {
    TBytes middle = BE();
    middle.Chunk("MARK", Markers({{1, 100, "beg"}, {2, 2000, "ende"}}));
    middle.Chunk("INST", Instrument(57, mode, 1, 2));
    std::string error;
    EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(middle), &error, Aif()));
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->GetLoop(), mode != 0);
    EXPECT_EQ(file->GetPingPong(), mode == 2);
    EXPECT_EQ(file->GetLoopStart(), 100);
    EXPECT_EQ(file->GetLoopEnd(), 2000);
    EXPECT_EQ(file->GetRootKey(), 57);
  }
}

TEST(AIFFFile, MarkerNamesOfOddAndEvenLengthAndMissingIds) {
  TBytes middle = BE();
  middle.Chunk("MARK", Markers({{7, 5, ""}, {3, 300, "loop"}, {9, 900, "loops"}, {4, 44, "x"}}));
  middle.Chunk("INST", Instrument(60, 1, 3, 11));
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(middle), &error, Aif()));
  ASSERT_TRUE(file) << error;
  const auto* markers = dynamic_cast<const TAIFFMarkerChunk*>(file->GetRoot()->FindSubChunk("MARK"));
  ASSERT_NE(markers, nullptr);
  ASSERT_EQ(markers->markers.size(), 4u);
  EXPECT_EQ(markers->markers[1].name, "loop");
  EXPECT_EQ(markers->markers[2].name, "loops");
  EXPECT_EQ(markers->markers[3].position, 44);
  // 2 + 8 ("") + 12 ("loop") + 12 ("loops") + 8 ("x").
  EXPECT_EQ(markers->GetSize(), 42u);
  EXPECT_EQ(TAIFFMarkerChunk::SizeOf(markers->markers), 42);
  EXPECT_TRUE(file->GetLoop());
  EXPECT_EQ(file->GetLoopStart(), 300);
  EXPECT_EQ(file->GetLoopEnd(), -1);
}

TEST(AIFFFile, WithoutMarkOrInstThereIsNoLoop) {
  TBytes onlyInst = BE();
  onlyInst.Chunk("INST", Instrument(50, 1, 1, 2));
  EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(onlyInst), nullptr, Aif()));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->GetLoop());  // the instrument chunk is applied after the root
  TBytes onlyMark = BE();
  onlyMark.Chunk("MARK", Markers({{1, 10, ""}, {2, 20, ""}}));
  EPtr<TChunkedAudioFile> other(OpenBytes(AiffWith(onlyMark), nullptr, Aif()));
  ASSERT_TRUE(other);
  EXPECT_FALSE(other->GetLoop());
  EXPECT_EQ(other->GetLoopEnd(), 22050);
}

TEST(AIFFFile, MarkerCountBeyondTheChunkKeepsTheMarkersThatFit) {
  TBytes middle = BE();
  middle.Chunk("MARK", Markers({{1, 10, "a"}, {2, 20, "bb"}}, 65535));
  EPtr<TChunkedAudioFile> file(OpenBytes(AiffWith(middle), nullptr, Aif()));
  ASSERT_TRUE(file);
  const auto* markers = dynamic_cast<const TAIFFMarkerChunk*>(file->GetRoot()->FindSubChunk("MARK"));
  ASSERT_NE(markers, nullptr);
  EXPECT_EQ(markers->markers.size(), 2u);
  // A name running past the chunk ends the markers.
  TBytes cut = BE();
  cut.U16(2).U16(1).U32(10).U8(0).U8(0).U16(2).U32(20).U8(200).Zeros(3);
  TBytes other = BE();
  other.Chunk("MARK", cut);
  EPtr<TChunkedAudioFile> second(OpenBytes(AiffWith(other), nullptr, Aif()));
  ASSERT_TRUE(second);
  EXPECT_EQ(dynamic_cast<const TAIFFMarkerChunk*>(second->GetRoot()->FindSubChunk("MARK"))->markers.size(), 1u);
}

TEST(AIFFFile, SoundDataLengthLeavesOutTheOffsetBytes) {
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(2, 0, 16, 44100)).Chunk("SSND", AiffSound(4, 0, 4 + 4000));
  EPtr<TChunkedAudioFile> file(OpenBytes(Form(chunks), nullptr, Aif()));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetLength(), 1000);
  EXPECT_EQ(file->GetDataOffset(), 12 + 26 + 16 + 4);
  TBytes beyond = BE();
  beyond.Chunk("COMM", AiffCommon(2, 0, 16, 44100)).Chunk("SSND", AiffSound(0xFFFFFFF0, 0, 400));
  EXPECT_EQ(OpenError(Form(beyond), Aif()), "File " + MessagePath(Aif()) + " contains no data.");
}

TEST(AIFFFile, BlockSizeThatIsNotAMultipleOfTheFrameIsNotSupported) {
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(2, 0, 16, 44100)).Chunk("SSND", AiffSound(0, 6, 400));
  EXPECT_EQ(OpenError(Form(chunks), Aif()), "Format of " + MessagePath(Aif()) + " is not supported.");
  TBytes fine = BE();
  fine.Chunk("COMM", AiffCommon(2, 0, 16, 44100)).Chunk("SSND", AiffSound(0, 8192, 400));
  EXPECT_EQ(OpenError(Form(fine), Aif()), "");
}

TEST(AIFFFile, CompressedAifcIsRefusedUncompressedIsRead) {
  for (const char* compression : {"NONE", "sowt", "ulaw", "fl32"}) {
    TBytes common = AiffCommon(1, 0, 16, 44100);
    common.Id(compression).U8(0).U8(0);
    TBytes chunks = BE();
    chunks.Chunk("COMM", common).Chunk("SSND", AiffSound(0, 0, 200));
    const TBytes file = BE().Container("FORM", "AIFC", chunks);
    const std::string expected = std::string(compression) == "NONE"
        ? ""
        : "Unable to read file " + MessagePath(Aif()) + " \n Only 8-bit or 16-bit files can be read.";
    EXPECT_EQ(OpenError(file, Aif()), expected) << compression;
  }
}

TEST(AIFFFile, ChannelsZeroOrBitsZeroDoNotDivideByZero) {
  TBytes chunks = BE();
  chunks.Chunk("COMM", AiffCommon(0, 0, 16, 44100)).Chunk("SSND", AiffSound(0, 4, 400));
  EXPECT_EQ(OpenError(Form(chunks), Aif()),
            "Format of " + MessagePath(Aif()) + " is not supported. \nOnly 1-channel or 2-channel files can be read.");
  TBytes noBits = BE();
  noBits.Chunk("COMM", AiffCommon(2, 0, 0, 44100)).Chunk("SSND", AiffSound(0, 4, 400));
  EXPECT_EQ(OpenError(Form(noBits), Aif()), "File " + MessagePath(Aif()) + " contains no data.");
}

TEST(AIFFFile, RecordingHeaderOf1000StereoFrames) {
  const std::string path = TestPath(".aif");
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  ASSERT_EQ(name->GetType(), FileTypeAiff);
  {
    EPtr<TChunkedAudioFile> file(CreateAudioFile(*name, 16, 2, 44100));
    ASSERT_NE(dynamic_cast<TAIFFFile*>(file.Get()), nullptr);
    file->SetLoop(true);
    file->SetLoopStart(100);
    file->SetLoopEnd(900);
    file->SetRootKey(62);
    file->WriteHeader();
    EXPECT_EQ(file->GetDataOffset(), 108);
    file->GetFile().Seek(file->GetDataOffset());
    std::vector<uint8_t> frames(4000, 0x22);
    file->GetFile().WriteRaw(frames.data(), int64_t(frames.size()));
    file->SetLength(1000);
    file->UpdateSizes();
  }
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 4108u);
  TBytes expected = BE();
  expected.Id("FORM").U32(4100).Id("AIFF");
  expected.Id("COMM").U32(18).U16(2).U32(1000).U16(16).Raw({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
  expected.Id("MARK").U32(18).U16(2).U16(1).U32(100).U8(0).U8(0).U16(2).U32(900).U8(0).U8(0);
  expected.Id("INST").U32(20).U8(62).U8(0).U8(0).U8(127).U8(0).U8(127).U16(0);
  expected.U16(1).U16(1).U16(2).U16(1).U16(1).U16(2);
  expected.Id("SSND").U32(4008).U32(0).U32(0);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 108), expected.bytes);

  EPtr<TChunkedAudioFile> reread(OpenPath(path));
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->GetLength(), 1000);
  EXPECT_TRUE(reread->GetLoop());
  EXPECT_FALSE(reread->GetPingPong());
  EXPECT_EQ(reread->GetLoopStart(), 100);
  EXPECT_EQ(reread->GetLoopEnd(), 900);
  EXPECT_EQ(reread->GetRootKey(), 62);
}
