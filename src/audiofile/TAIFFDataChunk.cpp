#include "TAIFFDataChunk.h"

#include <algorithm>
#include <new>

#include "AudioFileMessages.h"
#include "TAudioFile.h"

TAIFFDataChunk* TAIFFDataChunk::CreateFrom(const TAudioFile&, uint32_t soundBytes) {
  auto* chunk = new (std::nothrow) TAIFFDataChunk;
  if (chunk) chunk->SetSize(static_cast<uint32_t>(std::min<int64_t>(int64_t(soundBytes) + fieldBytes, UINT32_MAX)));
  return chunk;
}

void TAIFFDataChunk::Read(TInOut& in) {
  if (GetBytesInFile() < fieldBytes) Corrupt(in);
  offset = in.ReadUInt32();
  blockSize = in.ReadUInt32();
  in.Seek(in.Tell() + GetBytesInFile() - fieldBytes);
}

void TAIFFDataChunk::Write(TInOut& out) {
  out.WriteUInt32(offset);
  out.WriteUInt32(blockSize);
  out.Seek(out.Tell() + int64_t(GetSize()) - fieldBytes);
}

void TAIFFDataChunk::Apply(TAudioFile& file) {
  const int64_t frameBytes = int64_t(file.GetChannels()) * file.GetBytesPerSample();
  if (blockSize != 0 && frameBytes > 0 && blockSize % frameBytes != 0)
    ThrowFileMessage(Msg::formatNotSupported, file.GetFileName().GetPath());
  const int64_t soundBytes = GetBytesInFile() - fieldBytes - int64_t(offset);
  const int64_t frames = frameBytes > 0 && soundBytes > 0 ? soundBytes / frameBytes : 0;
  file.SetLength(static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX)));
  if (file.GetLoopEnd() == 0) file.SetLoopEnd(file.GetLength());
}
