// Interoperation with two programs no one here wrote: sox (soxi) and libsndfile
// (sndfile-info, and files written through the library itself).
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "AudioFileFixtures.h"
#include "audiofile/AudioFileFactory.h"
#include "audiofile/TAIFFFile.h"

namespace {
enum ELoop { LoopOff, LoopForward, LoopPingPong };

struct TFormat {
  const char* suffix;
  int32_t bits;
  int32_t channels;
  int32_t rate;
};

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string Shell(const std::string& command) {
  std::string output;
  const int status = RunCommand(command + " 2>&1", &output);
  EXPECT_EQ(status, 0) << command << "\n" << output;
  return output;
}

int64_t Soxi(const std::string& option, const std::string& path) {
  return std::stoll(Shell("soxi -" + option + " " + Quoted(path)));
}

// The value behind "label : " in sndfile-info's report.
std::string Field(const std::string& report, const std::string& label) {
  const std::regex pattern("\n\\s*" + label + "\\s*:\\s*([^\n]*)");
  std::smatch match;
  if (!std::regex_search(report, match, pattern)) return "(missing " + label + ")";
  return match[1];
}

struct TLoopReport {
  std::string mode = "(none)";
  int64_t start = -1;
  int64_t end = -1;
};

TLoopReport FirstLoop(const std::string& instrumentReport) {
  TLoopReport loop;
  const std::regex pattern("Mode : (\\w+)\\s+Start :\\s*(\\d+)\\s+End :\\s*(\\d+)");
  std::smatch match;
  if (std::regex_search(instrumentReport, match, pattern)) {
    loop.mode = match[1];
    loop.start = std::stoll(match[2]);
    loop.end = std::stoll(match[3]);
  }
  return loop;
}

// One sample of the test signal, full scale 1.
double Signal(int32_t frame, int32_t channel) { return 0.6 * std::sin(0.031 * frame * (channel + 1)); }

// A recording of ours: header, frames in the file's encoding, closing sizes.
std::string WriteOurFile(const TFormat& format, int32_t frames, ELoop loop, int32_t start, int32_t end,
                         int32_t rootKey) {
  const std::string path = TestPath(std::string("-") + std::to_string(format.bits) + "-" +
                                    std::to_string(format.channels) + "-" + std::to_string(int(loop)) + format.suffix);
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  EPtr<TChunkedAudioFile> file(CreateAudioFile(*name, format.bits, format.channels, format.rate));
  const bool aiff = dynamic_cast<TAIFFFile*>(file.Get()) != nullptr;
  file->SetLoop(loop != LoopOff);
  file->SetPingPong(loop == LoopPingPong);
  file->SetLoopStart(start);
  file->SetLoopEnd(end);
  file->SetRootKey(rootKey);
  file->WriteHeader();
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; i < frames; ++i)
    for (int32_t c = 0; c < format.channels; ++c) {
      if (format.bits == 8) {
        const auto value = int8_t(std::lround(Signal(i, c) * 127));
        bytes.push_back(aiff ? uint8_t(value) : uint8_t(value + 128));
      } else {
        const auto value = uint16_t(int16_t(std::lround(Signal(i, c) * 32767)));
        bytes.push_back(aiff ? uint8_t(value >> 8) : uint8_t(value));
        bytes.push_back(aiff ? uint8_t(value) : uint8_t(value >> 8));
      }
    }
  file->GetFile().Seek(file->GetDataOffset());
  file->GetFile().WriteRaw(bytes.data(), int64_t(bytes.size()));
  file->SetLength(frames);
  file->UpdateSizes();
  return path;
}

// The sample frames of a file we opened, as signed little-endian integers of its width.
std::vector<uint8_t> OurFramesAsSignedLittleEndian(TChunkedAudioFile& file) {
  const int32_t bytes = file.GetBytesPerSample();
  std::vector<uint8_t> raw(size_t(int64_t(file.GetLength()) * file.GetChannels() * bytes));
  file.GetFile().Seek(file.GetDataOffset());
  file.GetFile().ReadRaw(raw.data(), int64_t(raw.size()));
  const bool big = file.GetRoot()->IsBigEndian();
  for (size_t i = 0; i < raw.size(); i += size_t(bytes)) {
    if (bytes == 1 && !big) raw[i] = uint8_t(raw[i] - 0x80);
    if (bytes == 2 && big) std::swap(raw[i], raw[i + 1]);
  }
  return raw;
}

std::vector<uint8_t> SoxFramesAsSignedLittleEndian(const std::string& path, int32_t bits) {
  const std::string raw = TestPath(".raw");
  Shell("sox " + Quoted(path) + " -t raw -e signed-integer -b " + std::to_string(bits) + " -L " + Quoted(raw));
  return ReadFileBytes(raw);
}

const TFormat ourFormats[] = {
    {".wav", 16, 2, 44100}, {".wav", 8, 1, 22050}, {".aif", 16, 2, 44100}, {".aif", 8, 1, 22050}, {".wav", 16, 1, 48000},
};
}  // namespace

TEST(Interop, SoxAndLibsndfileReadOurFilesWithTheSameFormatAndLength) {
  for (const TFormat& format : ourFormats) {
    const std::string path = WriteOurFile(format, 1001, LoopOff, 0, 0, 60);
    const std::string what = path;
    EXPECT_EQ(Soxi("c", path), format.channels) << what;
    EXPECT_EQ(Soxi("r", path), format.rate) << what;
    EXPECT_EQ(Soxi("b", path), format.bits) << what;
    EXPECT_EQ(Soxi("s", path), 1001) << what;
    const std::string report = Shell("sndfile-info " + Quoted(path));
    EXPECT_EQ(Field(report, "Sample Rate"), std::to_string(format.rate)) << what << report;
    EXPECT_EQ(Field(report, "Frames"), "1001") << what << report;
    EXPECT_EQ(Field(report, "Channels"), std::to_string(format.channels)) << what << report;
    EXPECT_EQ(report.find("rror"), std::string::npos) << what << report;
    // sox decodes the same frames that we stream from our data offset.
    EPtr<TChunkedAudioFile> file(OpenPath(path));
    ASSERT_TRUE(file) << what;
    EXPECT_EQ(OurFramesAsSignedLittleEndian(*file), SoxFramesAsSignedLittleEndian(path, format.bits)) << what;
  }
}

TEST(Interop, LibsndfileReportsOurLoopPointsAndRootKey) {
  struct TCase {
    ELoop loop;
    const char* mode;
  };
  for (const TFormat& format : ourFormats) {
    for (const TCase& c : {TCase{LoopForward, "fwd"}, TCase{LoopPingPong, "alt"}}) {
      if (c.loop == LoopPingPong && std::string(format.suffix) == ".aif") continue;  // see below
      const std::string path = WriteOurFile(format, 2000, c.loop, 300, 1700, 67);
      const std::string report = Shell("sndfile-info --instrument " + Quoted(path));
      EXPECT_EQ(Field(report, "Base note"), "67") << path << report;
      const TLoopReport loop = FirstLoop(report);
      EXPECT_EQ(loop.mode, c.mode) << path << report;
      EXPECT_EQ(loop.start, 300) << path << report;
      EXPECT_EQ(loop.end, 1700) << path << report;
    }
  }
  // AIFF's forward-and-backward sustain mode is a mode of its own to libsndfile.
  const std::string path = WriteOurFile({".aif", 16, 2, 44100}, 2000, LoopPingPong, 300, 1700, 67);
  const std::string report = Shell("sndfile-info " + Quoted(path));
  EXPECT_NE(report.find("Sustain"), std::string::npos) << report;
  EXPECT_EQ(FirstLoop(Shell("sndfile-info --instrument " + Quoted(path))).start, 300);
}

TEST(Interop, WeReadFilesWrittenBySox) {
  const TFormat formats[] = {{".wav", 16, 2, 44100}, {".wav", 8, 1, 22050}, {".wav", 16, 1, 8000},
                             {".wav", 8, 2, 11025}, {".aif", 16, 2, 44100}, {".aif", 8, 1, 22050},
                             {".aiff", 16, 1, 48000}, {".aif", 8, 2, 32000}};
  for (const TFormat& format : formats) {
    const std::string path = TestPath(std::string("-sox-") + std::to_string(format.bits) + "-" +
                                      std::to_string(format.channels) + "-" + std::to_string(format.rate) + format.suffix);
    Shell("sox -n -r " + std::to_string(format.rate) + " -c " + std::to_string(format.channels) + " -b " +
        std::to_string(format.bits) + " " + Quoted(path) + " synth 0.0731 sine 440 sine 660 gain -3");
    std::string error;
    EPtr<TChunkedAudioFile> file(OpenPath(path, &error));
    ASSERT_TRUE(file) << path << " " << error;
    EXPECT_EQ(file->GetChannels(), Soxi("c", path)) << path;
    EXPECT_EQ(file->GetSampleRate(), Soxi("r", path)) << path;
    EXPECT_EQ(file->GetBits(), Soxi("b", path)) << path;
    EXPECT_EQ(file->GetLength(), Soxi("s", path)) << path;
    EXPECT_FALSE(file->GetLoop()) << path;
    EXPECT_EQ(OurFramesAsSignedLittleEndian(*file), SoxFramesAsSignedLittleEndian(path, format.bits)) << path;
  }
}

TEST(Interop, WeReadFilesWrittenByLibsndfileWithItsInstrumentChunk) {
  struct TCase {
    TFormat format;
    const char* mode;  // null: no instrument chunk
    int32_t start, end, baseNote;
  };
  const TCase cases[] = {
      {{".wav", 16, 2, 44100}, "pingpong", 100, 200, 64}, {{".wav", 16, 2, 44100}, "forward", 0, 999, 36},
      {{".wav", 8, 1, 22050}, "forward", 10, 400, 50},    {{".wav", 8, 1, 22050}, "none", 0, 0, 71},
      {{".wav", 16, 1, 48000}, nullptr, 0, 0, 0},         {{".aif", 16, 2, 44100}, nullptr, 0, 0, 0},
      {{".aif", 8, 1, 22050}, nullptr, 0, 0, 0},          {{".aif", 8, 2, 22050}, "forward", 10, 400, 50},
  };
  for (const TCase& c : cases) {
    const bool aiff = std::string(c.format.suffix) == ".aif";
    const std::string path = TestPath(std::string("-sf-") + std::to_string(c.format.bits) + "-" +
                                      std::to_string(c.format.channels) + "-" + (c.mode ? c.mode : "plain") +
                                      c.format.suffix);
    std::string command = std::string(THUDRA_SNDFILE_WRITER) + " " + Quoted(path) + (aiff ? " aiff " : " wav ") +
                          std::to_string(c.format.bits) + " " + std::to_string(c.format.channels) + " " +
                          std::to_string(c.format.rate) + " 1000";
    if (c.mode)
      command += std::string(" ") + c.mode + " " + std::to_string(c.start) + " " + std::to_string(c.end) + " " +
                 std::to_string(c.baseNote);
    Shell(command);
    std::string error;
    EPtr<TChunkedAudioFile> file(OpenPath(path, &error));
    ASSERT_TRUE(file) << path << " " << error;
    const std::string report = Shell("sndfile-info " + Quoted(path));
    EXPECT_EQ(std::to_string(file->GetSampleRate()), Field(report, "Sample Rate")) << path;
    EXPECT_EQ(std::to_string(file->GetLength()), Field(report, "Frames")) << path;
    EXPECT_EQ(std::to_string(file->GetChannels()), Field(report, "Channels")) << path;
    EXPECT_EQ(file->GetBits(), c.format.bits) << path;
    EXPECT_EQ(OurFramesAsSignedLittleEndian(*file), SoxFramesAsSignedLittleEndian(path, c.format.bits)) << path;

    const std::string instrument = Shell("sndfile-info --instrument " + Quoted(path) + " || true");
    const bool hasInstrument = instrument.find("Base note") != std::string::npos;
    if (!hasInstrument) {
      // This libsndfile writes its instrument chunk into WAV files only.
      EXPECT_TRUE(aiff || !c.mode) << path << instrument;
      EXPECT_FALSE(file->GetLoop()) << path;
      continue;
    }
    EXPECT_EQ(std::to_string(file->GetRootKey()), Field(instrument, "Base note")) << path;
    EXPECT_EQ(file->GetRootKey(), c.baseNote) << path;
    const bool loops = std::string(c.mode) != "none";
    EXPECT_EQ(file->GetLoop(), loops) << path;
    if (!loops) continue;
    const TLoopReport loop = FirstLoop(instrument);
    EXPECT_EQ(file->GetPingPong(), std::string(c.mode) == "pingpong") << path;
    EXPECT_EQ(file->GetLoopStart(), loop.start) << path;
    EXPECT_EQ(file->GetLoopEnd(), loop.end) << path;
    EXPECT_EQ(file->GetLoopStart(), c.start) << path;
    EXPECT_EQ(file->GetLoopEnd(), c.end) << path;
  }
}
