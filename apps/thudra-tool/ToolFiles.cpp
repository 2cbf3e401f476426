#include "ToolFiles.h"

#include <algorithm>
#include <new>

#include "audiofile/AudioFileFactory.h"
#include "foundation/Messages.h"

namespace {
// Frames per read, so that a long file never needs one big raw block.
constexpr int32_t readFrames = 65536;
// The player opens files with twice its default stream unit.
constexpr int32_t playerBufferFrames = 1024;

// Brings raw file bytes into the buffer's layout: 8-bit WAV samples are unsigned,
// AIFF samples big-endian.
void ConvertRaw(uint8_t* bytes, int64_t count, int32_t bytesPerSample, bool bigEndian) {
  if (bytesPerSample == 1 && !bigEndian)
    for (int64_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - 0x80);
  if (bytesPerSample > 1 && bigEndian)
    for (int64_t i = 0; i + bytesPerSample <= count; i += bytesPerSample)
      std::reverse(bytes + i, bytes + i + bytesPerSample);
}
}  // namespace

std::string TakeErrorMessage(const std::string& givenPath, const TStr& resolvedPath) {
  TParamStr* pending = GetPendingError();
  if (!pending) return "Memory is low. Cannot finish operation!";
  TParamStr message = *pending;
  ClearPendingError();
  if (message.GetParam(1) == resolvedPath) message.SetParam(1, TStr(givenPath));
  return std::string(std::string_view(message.GetText()));
}

TChunkedAudioFile* OpenAudioFileForTool(const std::string& path, std::string& error) {
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  if (!name) {
    error = "Out of Memory !!!";
    return nullptr;
  }
  try {
    return OpenAudioFile(*name, playerBufferFrames);
  } catch (EError) {
    error = TakeErrorMessage(path, name->GetPath());
  } catch (const std::bad_alloc&) {
    error = "Memory is low. Cannot finish operation!";
  }
  return nullptr;
}

void ReadChannelZero(TChunkedAudioFile& file, TAudioBuf& target) {
  const int32_t frames = file.GetLength();
  target.SetFormat(true, false, 32, 1, file.GetSampleRate(), frames, 0);
  TAudioBuf block;
  block.SetFormat(false, true, file.GetBits(), file.GetChannels(), file.GetSampleRate(), readFrames, 0);
  const int64_t frameBytes = int64_t(file.GetChannels()) * file.GetBytesPerSample();
  const bool bigEndian = file.GetRoot() && file.GetRoot()->IsBigEndian();
  IFile& in = file.GetFile();
  for (int32_t done = 0; done < frames;) {
    const int32_t count = std::min(readFrames, frames - done);
    auto* bytes = static_cast<uint8_t*>(block.GetData()[0]);
    in.Seek(file.GetDataOffset() + int64_t(done) * frameBytes);
    in.ReadRaw(bytes, int64_t(count) * frameBytes);
    ConvertRaw(bytes, int64_t(count) * frameBytes, file.GetBytesPerSample(), bigEndian);
    target.CopyFrom(block, count, 0, done);
    done += count;
  }
}
