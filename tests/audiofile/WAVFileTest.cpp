#include <gtest/gtest.h>

#include "AudioFileFixtures.h"
#include "audiofile/AudioFileFactory.h"
#include "audiofile/TWAVFile.h"

namespace {
std::string Corrupt() { return MessagePath() + " is corrupt."; }
std::string NotWave() { return "The file " + MessagePath() + " \nis not a waveform-audio file."; }
std::string OnlyEightOrSixteen() {
  return "Unable to read file " + MessagePath() + " \n Only 8-bit or 16-bit files can be read.";
}

TBytes Riff(const TBytes& chunks, int64_t declared = -1) { return LE().Container("RIFF", "WAVE", chunks, declared); }

TBytes Zeros(size_t n) {
  TBytes bytes = LE();
  bytes.Zeros(n);
  return bytes;
}
}  // namespace

TEST(WAVFile, PlainStereoFileWithoutSmplHasNoLoop) {
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(SimpleWav(2, 44100, 16, 176400), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_NE(dynamic_cast<TWAVFile*>(file.Get()), nullptr);
  EXPECT_EQ(file->GetChannels(), 2);
  EXPECT_EQ(file->GetSampleRate(), 44100);
  EXPECT_EQ(file->GetBits(), 16);
  EXPECT_EQ(file->GetLength(), 44100);
  EXPECT_FLOAT_EQ(file->GetDurationMs(), 1000.0f);
  EXPECT_FALSE(file->GetLoop());
  EXPECT_EQ(file->GetRootKey(), TAudioFile::defaultRootKey);
  EXPECT_EQ(file->GetDataOffset(), 44);
  EXPECT_EQ(file->GetRoot()->GetFirstSubChunk()->DataOffset(), 20);
}

TEST(WAVFile, EightBitMonoFile) {
  EPtr<TChunkedAudioFile> file(OpenBytes(SimpleWav(1, 22050, 8, 1001)));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetChannels(), 1);
  EXPECT_EQ(file->GetBits(), 8);
  EXPECT_EQ(file->GetLength(), 1001);
}

struct TLoopCase {
  uint32_t type;
  bool loop;
  bool pingPong;
};

class WAVFileLoops : public ::testing::TestWithParam<TLoopCase> {};

TEST_P(WAVFileLoops, SmplLoopTypes) {
  const TLoopCase c = GetParam();
  TBytes smpl = LE();
  smpl.Chunk("smpl", WavSample(72, {{c.type, 100, 199}}));
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(SimpleWav(2, 44100, 16, 4000, &smpl), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->GetLoop(), c.loop);
  EXPECT_EQ(file->GetPingPong(), c.pingPong);
  EXPECT_EQ(file->GetLoopStart(), 100);
  EXPECT_EQ(file->GetLoopEnd(), 200);
  EXPECT_EQ(file->GetLoopLength(), 100);
  EXPECT_EQ(file->GetRootKey(), 72);
}

INSTANTIATE_TEST_SUITE_P(Types, WAVFileLoops,
                         ::testing::Values(TLoopCase{0, true, false}, TLoopCase{1, true, true},
                                           TLoopCase{0xFF, false, false}));

TEST(WAVFile, SmplWithoutLoopRecordsOrSamplerDataField) {
  TBytes shortSmpl = LE();
  TBytes body = LE();
  body.U32(0).U32(0).U32(0).U32(61).U32(0).U32(0).U32(0).U32(0);  // 32 bytes, no sampler data field
  shortSmpl.Chunk("smpl", body);
  EPtr<TChunkedAudioFile> file(OpenBytes(SimpleWav(1, 44100, 16, 100, &shortSmpl)));
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->GetLoop());
  EXPECT_EQ(file->GetRootKey(), 61);
}

TEST(WAVFile, SamplerDataBeyondTheChunkIsLeftOut) {
  TBytes body = WavSample(60, {{0, 10, 19}});
  body.bytes[32] = 0x40;  // sampler data field: 64 bytes that the chunk does not hold
  TBytes smpl = LE();
  smpl.Chunk("smpl", body);
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(SimpleWav(2, 44100, 16, 400, &smpl), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_TRUE(file->GetLoop());
  EXPECT_EQ(file->GetLoopEnd(), 20);
}

TEST(WAVFile, FormatChunksOf18And40Bytes) {
  TBytes fmt18 = WavFormat(2, 44100, 16);
  fmt18.U16(0);
  TBytes fmt40 = WavFormat(1, 48000, 16, 0xFFFE);
  fmt40.U16(22).U16(16).U32(4);
  fmt40.Raw({0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  for (const TBytes& fmt : {fmt18, fmt40}) {
    TBytes chunks = LE();
    chunks.Chunk("fmt ", fmt).Chunk("data", Zeros(400));
    std::string error;
    EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks), &error));
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->GetRoot()->GetFirstSubChunk()->GetSize(), fmt.Size());
    EXPECT_EQ(file->GetBits(), 16);
    EXPECT_EQ(file->GetLength(), int32_t(400 / (file->GetChannels() * 2)));
    EXPECT_EQ(file->GetDataOffset(), int64_t(20 + fmt.Size() + 8));
  }
}

TEST(WAVFile, OddSizedChunksAreFollowedByTheirPadByte) {
  TBytes list = LE();
  list.Id("INFO").Id("ISFT").U32(3).U8('a').U8('b').U8(0);  // 15 bytes
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(1, 44100, 8)).Chunk("LIST", list).Chunk("data", Zeros(7)).Chunk("junk", Zeros(3));
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks), &error));
  ASSERT_TRUE(file) << error;
  const TFileChunk* listChunk = file->GetRoot()->FindSubChunk("LIST");
  ASSERT_NE(listChunk, nullptr);
  EXPECT_EQ(listChunk->GetSize(), 15u);
  // RIFF header 12, fmt 8 + 16, LIST 8 + 15 + pad, data header 8.
  EXPECT_EQ(file->GetDataOffset(), 12 + 24 + 24 + 8);
  EXPECT_EQ(file->GetLength(), 7);
  EXPECT_NE(file->GetRoot()->FindSubChunk("junk"), nullptr);
}

TEST(WAVFile, UnknownChunksBeforeAndAfterTheDataAreKept) {
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(2, 44100, 16)).Chunk("bext", Zeros(10)).Chunk("data", Zeros(40));
  chunks.Chunk("cue ", Zeros(28)).Chunk("id3 ", Zeros(6));
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks)));
  ASSERT_TRUE(file);
  std::vector<std::string> ids;
  for (const TFileChunk* c = file->GetRoot()->GetFirstSubChunk(); c; c = c->GetNextSibling())
    ids.push_back(std::string(std::string_view(c->GetID())));
  EXPECT_EQ(ids, (std::vector<std::string>{"fmt ", "bext", "data", "cue ", "id3 "}));
  EXPECT_EQ(file->GetDataOffset(), 12 + 24 + 18 + 8);
  EXPECT_EQ(file->GetLength(), 10);
}

TEST(WAVFile, RiffSizeFourBytesTooSmallIsAcceptedTwoIsCorrupt) {
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(2, 44100, 16)).Chunk("data", Zeros(400));
  const int64_t right = int64_t(4 + chunks.Size());
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks, right - 4), &error));
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->GetLength(), 100);
  EXPECT_EQ(OpenError(Riff(chunks, right - 2)), Corrupt());
  EXPECT_EQ(OpenError(Riff(chunks, right - 6)), Corrupt());
}

TEST(WAVFile, OpenRefusesWhatThePlayerCannotPlayInItsOrder) {
  const std::string base = MessagePath();
  struct TCase {
    TBytes bytes;
    std::string message;
  };
  const TCase cases[] = {
      {SimpleWav(3, 44100, 16, 600),
       "Format of " + base + " is not supported. \nOnly 1-channel or 2-channel files can be read."},
      {SimpleWav(3, 44100, 24, 0),
       "Format of " + base + " is not supported. \nOnly 1-channel or 2-channel files can be read."},
      {SimpleWav(2, 44100, 24, 600), OnlyEightOrSixteen()},
      {SimpleWav(2, 44100, 24, 0), "File " + base + " contains no data."},
      {SimpleWav(2, 44100, 16, 0), "File " + base + " contains no data."},
      {SimpleWav(0, 44100, 16, 600),
       "Format of " + base + " is not supported. \nOnly 1-channel or 2-channel files can be read."},
      {SimpleWav(2, 44100, 0, 600), "File " + base + " contains no data."},
  };
  for (const TCase& c : cases) EXPECT_EQ(OpenError(c.bytes), c.message);
}

TEST(WAVFile, CompressedAndFloatingPointSamplesAreRefusedWithTheBitDepthMessage) {
  for (uint32_t tag : {3u, 6u, 7u, 2u, 0x11u}) {
    TBytes chunks = LE();
    chunks.Chunk("fmt ", WavFormat(2, 44100, tag == 3 ? 32 : 8, tag)).Chunk("data", Zeros(800));
    EXPECT_EQ(OpenError(Riff(chunks)), OnlyEightOrSixteen()) << tag;
  }
  TBytes floatExtensible = WavFormat(2, 44100, 16, 0xFFFE);
  floatExtensible.U16(22).U16(16).U32(3);
  floatExtensible.Raw({0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  TBytes chunks = LE();
  chunks.Chunk("fmt ", floatExtensible).Chunk("data", Zeros(800));
  EXPECT_EQ(OpenError(Riff(chunks)), OnlyEightOrSixteen());
  TBytes shortExtensible = LE();
  shortExtensible.Chunk("fmt ", WavFormat(2, 44100, 16, 0xFFFE)).Chunk("data", Zeros(800));
  EXPECT_EQ(OpenError(Riff(shortExtensible)), OnlyEightOrSixteen());
}

TEST(WAVFile, WithoutFormatOrDataItIsNotAWaveformFile) {
  TBytes noFormat = LE();
  noFormat.Chunk("data", Zeros(40));
  EXPECT_EQ(OpenError(Riff(noFormat)), NotWave());
  TBytes noData = LE();
  noData.Chunk("fmt ", WavFormat(2, 44100, 16));
  EXPECT_EQ(OpenError(Riff(noData)), NotWave());
}

TEST(WAVFile, FormatBehindTheDataStillGivesTheLength) {
  TBytes chunks = LE();
  chunks.Chunk("data", Zeros(400)).Chunk("fmt ", WavFormat(1, 8000, 16));
  EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks)));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetLength(), 200);
  EXPECT_EQ(file->GetDataOffset(), 20);
}

TEST(WAVFile, DataDeclaringMoreThanTheFileHoldsGivesTheFramesItHolds) {
  for (uint32_t declared : {4000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    TBytes chunks = LE();
    chunks.Chunk("fmt ", WavFormat(2, 44100, 16)).Chunk("data", Zeros(1001), declared, false);
    for (int64_t riff : {int64_t(4 + chunks.Size()), int64_t(0xFFFFFFFF), std::min<int64_t>(int64_t(declared) + 36, 0xFFFFFFFF)}) {
      std::string error;
      EPtr<TChunkedAudioFile> file(OpenBytes(Riff(chunks, riff), &error));
      ASSERT_TRUE(file) << declared << " " << riff << " " << error;
      EXPECT_EQ(file->GetLength(), 250) << declared << " " << riff;
      EXPECT_EQ(file->GetDataOffset(), 44);
    }
  }
}

TEST(WAVFile, RecordingHeaderOf1000StereoFrames) {
  const std::string path = TestPath(".wav");
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  {
    EPtr<TChunkedAudioFile> file(CreateAudioFile(*name, 16, 2, 44100));
    ASSERT_NE(dynamic_cast<TWAVFile*>(file.Get()), nullptr);
    file->SetRootKey(60);
    file->WriteHeader();
    EXPECT_EQ(file->GetDataOffset(), 112);
    file->GetFile().Seek(file->GetDataOffset());
    std::vector<uint8_t> frames(4000, 0x11);
    file->GetFile().WriteRaw(frames.data(), int64_t(frames.size()));
    file->SetLength(1000);
    file->UpdateSizes();
  }
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 4112u);
  TBytes expected = LE();
  expected.Id("RIFF").U32(4104).Id("WAVE");
  expected.Id("fmt ").U32(16).U16(1).U16(2).U32(44100).U32(176400).U16(4).U16(16);
  expected.Id("smpl").U32(60).U32(0).U32(0).U32(0).U32(60).U32(0).U32(0).U32(0).U32(1).U32(0);
  expected.U32(0).U32(0xFF).U32(0).U32(0xFFFFFFFF).U32(0).U32(0);
  expected.Id("data").U32(4000);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 112), expected.bytes);

  EPtr<TChunkedAudioFile> reread(OpenPath(path));
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->GetLength(), 1000);
  EXPECT_FALSE(reread->GetLoop());
  EXPECT_EQ(reread->GetRootKey(), 60);
}

TEST(WAVFile, RecordingWithLoopsAndAnOddDataSize) {
  const std::string path = TestPath(".wav");
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  {
    EPtr<TChunkedAudioFile> file(CreateAudioFile(*name, 8, 1, 22050));
    file->SetLoop(true);
    file->SetPingPong(true);
    file->SetLoopStart(10);
    file->SetLoopEnd(20);
    file->SetRootKey(48);
    file->WriteHeader();
    file->GetFile().Seek(file->GetDataOffset());
    std::vector<uint8_t> frames(33, 0x80);
    file->GetFile().WriteRaw(frames.data(), int64_t(frames.size()));
    file->SetLength(33);
    file->UpdateSizes();
  }
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 112u + 33 + 1);  // the pad byte behind the odd data
  EPtr<TChunkedAudioFile> reread(OpenPath(path));
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->GetLength(), 33);
  EXPECT_TRUE(reread->GetLoop());
  EXPECT_TRUE(reread->GetPingPong());
  EXPECT_EQ(reread->GetLoopStart(), 10);
  EXPECT_EQ(reread->GetLoopEnd(), 20);
  EXPECT_EQ(reread->GetRootKey(), 48);
}
