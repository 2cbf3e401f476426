// Small audio files built byte by byte for the tests, written to the test folder,
// and opened through the audio file factory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "audiofile/TChunkedAudioFile.h"
#include "foundation/Base.h"

// Bytes in one byte order, with chunks that carry their own size.
class TBytes {
public:
  explicit TBytes(bool bigEndian = false) : big(bigEndian) {}

  TBytes& U8(uint32_t value);
  TBytes& U16(uint32_t value);
  TBytes& U32(uint32_t value);
  TBytes& Id(const std::string& fourBytes);
  TBytes& Raw(const std::vector<uint8_t>& more);
  TBytes& Raw(const TBytes& more) { return Raw(more.bytes); }
  TBytes& Zeros(size_t count);
  // Identifier, the size (the body's unless declared says otherwise), the body and,
  // behind an odd body, a pad byte.
  TBytes& Chunk(const std::string& id, const TBytes& body, int64_t declared = -1, bool pad = true);
  // Identifier, size, form type and the sub-chunks (already laid out in subChunks).
  TBytes& Container(const std::string& id, const std::string& formType, const TBytes& subChunks,
                    int64_t declared = -1);

  TBytes Same() const { return TBytes(big); }
  bool IsBig() const { return big; }
  size_t Size() const { return bytes.size(); }

  std::vector<uint8_t> bytes;

private:
  bool big;
};

TBytes LE();
TBytes BE();

// The usual chunk bodies.
TBytes WavFormat(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t tag = 1);
TBytes WavSample(uint32_t unityNote, const std::vector<std::vector<uint32_t>>& loops, uint32_t samplerBytes = 0);
TBytes AiffCommon(uint32_t channels, uint32_t frames, uint32_t bits, double rate);
TBytes AiffSound(uint32_t offset, uint32_t blockSize, size_t dataBytes);
// A whole WAV file: fmt, an optional smpl, data of the given bytes.
TBytes SimpleWav(uint32_t channels, uint32_t rate, uint32_t bits, size_t dataBytes, const TBytes* extra = nullptr);

// A fresh path in the test folder for the running test.
std::string TestPath(const std::string& suffix);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Opens through the factory (as the player does) and answers the file, or null with the
// message text that was raised.
TChunkedAudioFile* OpenPath(const std::string& path, std::string* error = nullptr);
TChunkedAudioFile* OpenBytes(const TBytes& bytes, std::string* error = nullptr, const std::string& suffix = ".wav");
// The message text that opening the bytes raises ("" when they open).
std::string OpenError(const TBytes& bytes, const std::string& suffix = ".wav");
// The path the messages name for suffix's file of the running test.
std::string MessagePath(const std::string& suffix = ".wav");

// Runs a command line through the shell; answers its exit status and its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);
