#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "audiofile/AudioFileFactory.h"
#include "audiofile/TExtended.h"
#include "foundation/Messages.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
// Every test of this folder uses the platform's files.
[[maybe_unused]] const bool platformInstalled = (InstallPosixPlatform(), true);

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  for (char& c : name)
    if (c == '/') c = '_';
  return name;
}
}  // namespace

TBytes LE() { return TBytes(false); }
TBytes BE() { return TBytes(true); }

TBytes& TBytes::U8(uint32_t value) {
  bytes.push_back(uint8_t(value));
  return *this;
}

TBytes& TBytes::U16(uint32_t value) {
  if (big) return U8(value >> 8).U8(value);
  return U8(value).U8(value >> 8);
}

TBytes& TBytes::U32(uint32_t value) {
  if (big) return U16(value >> 16).U16(value & 0xFFFF);
  return U16(value & 0xFFFF).U16(value >> 16);
}

TBytes& TBytes::Id(const std::string& fourBytes) {
  for (size_t i = 0; i < 4; ++i) U8(i < fourBytes.size() ? uint8_t(fourBytes[i]) : ' ');
  return *this;
}

TBytes& TBytes::Raw(const std::vector<uint8_t>& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return *this;
}

TBytes& TBytes::Zeros(size_t count) {
  bytes.insert(bytes.end(), count, 0);
  return *this;
}

TBytes& TBytes::Chunk(const std::string& id, const TBytes& body, int64_t declared, bool pad) {
  Id(id).U32(static_cast<uint32_t>(declared >= 0 ? declared : int64_t(body.Size()))).Raw(body);
  if (pad && (body.Size() & 1)) U8(0);
  return *this;
}

TBytes& TBytes::Container(const std::string& id, const std::string& formType, const TBytes& subChunks,
                          int64_t declared) {
  const int64_t size = declared >= 0 ? declared : int64_t(4 + subChunks.Size());
  return Id(id).U32(static_cast<uint32_t>(size)).Id(formType).Raw(subChunks);
}

TBytes WavFormat(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t tag) {
  const uint32_t frameBytes = channels * ((bits + 7) / 8);
  return LE().U16(tag).U16(channels).U32(rate).U32(rate * frameBytes).U16(frameBytes).U16(bits);
}

TBytes WavSample(uint32_t unityNote, const std::vector<std::vector<uint32_t>>& loops, uint32_t samplerBytes) {
  TBytes body = LE();
  body.U32(0).U32(0).U32(0).U32(unityNote).U32(0).U32(0).U32(0).U32(uint32_t(loops.size())).U32(samplerBytes);
  for (const auto& loop : loops) body.U32(0).U32(loop[0]).U32(loop[1]).U32(loop[2]).U32(0).U32(0);
  body.Zeros(samplerBytes);
  return body;
}

TBytes AiffCommon(uint32_t channels, uint32_t frames, uint32_t bits, double rate) {
  const TExtended extended = TExtended::FromDouble(rate);
  TBytes body = BE();
  body.U16(channels).U32(frames).U16(bits);
  for (int i = 0; i < TExtended::byteCount; ++i) body.U8(extended.Bytes()[i]);
  return body;
}

TBytes AiffSound(uint32_t offset, uint32_t blockSize, size_t dataBytes) {
  TBytes body = BE();
  body.U32(offset).U32(blockSize).Zeros(dataBytes);
  return body;
}

TBytes SimpleWav(uint32_t channels, uint32_t rate, uint32_t bits, size_t dataBytes, const TBytes* extra) {
  TBytes chunks = LE();
  chunks.Chunk("fmt ", WavFormat(channels, rate, bits));
  if (extra) chunks.Raw(*extra);
  TBytes data = LE();
  data.Zeros(dataBytes);
  chunks.Chunk("data", data);
  return LE().Container("RIFF", "WAVE", chunks);
}

std::string TestPath(const std::string& suffix) {
  const std::filesystem::path folder = std::filesystem::path(THUDRA_TEST_DIR) / "audiofile-files";
  std::filesystem::create_directories(folder);
  return (folder / (TestName() + suffix)).string();
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  // A new file rather than a truncated one: file systems flush truncated files to disk.
  std::filesystem::remove(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TChunkedAudioFile* OpenPath(const std::string& path, std::string* error) {
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  try {
    return OpenAudioFile(*name, 1024);
  } catch (EError) {
    TParamStr* pending = GetPendingError();
    if (error) *error = pending ? std::string(std::string_view(pending->GetText())) : "(no message)";
    ClearPendingError();
  }
  return nullptr;
}

TChunkedAudioFile* OpenBytes(const TBytes& bytes, std::string* error, const std::string& suffix) {
  const std::string path = TestPath(suffix);
  WriteFileBytes(path, bytes.bytes);
  return OpenPath(path, error);
}

std::string OpenError(const TBytes& bytes, const std::string& suffix) {
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenBytes(bytes, &error, suffix));
  return file ? std::string() : error;
}

std::string MessagePath(const std::string& suffix) { return TestPath(suffix); }

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
