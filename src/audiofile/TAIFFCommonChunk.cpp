#include "TAIFFCommonChunk.h"

#include <cstring>
#include <new>

#include "AudioFileMessages.h"
#include "TAIFFFormChunk.h"
#include "TAudioFile.h"

namespace {
constexpr double rateLimit = 2147483648.0;
}  // namespace

TAIFFCommonChunk* TAIFFCommonChunk::CreateFrom(const TAudioFile& file) {
  auto* chunk = new (std::nothrow) TAIFFCommonChunk;
  if (chunk) chunk->SetFrom(file);
  return chunk;
}

void TAIFFCommonChunk::SetFrom(const TAudioFile& file) {
  channels = static_cast<uint16_t>(file.GetChannels());
  frames = static_cast<uint32_t>(file.GetLength());
  sampleSize = static_cast<uint16_t>(file.GetBits());
  sampleRate = TExtended::FromDouble(file.GetSampleRate());
}

void TAIFFCommonChunk::Read(TInOut& in) {
  if (GetSize() < basicBytes) Corrupt(in);
  channels = in.ReadUInt16();
  frames = in.ReadUInt32();
  sampleSize = in.ReadUInt16();
  in.ReadRaw(sampleRate.Bytes(), TExtended::byteCount);
  int64_t consumed = basicBytes;
  const auto* form = dynamic_cast<const TAIFFFormChunk*>(GetParent());
  hasCompression = form && form->GetFormType() == "AIFC" && GetSize() >= compressedBytes;
  if (hasCompression) {
    in.ReadRaw(compression, idBytes);
    consumed = compressedBytes;
  }
  SkipRest(in, consumed);
}

void TAIFFCommonChunk::Write(TInOut& out) {
  out.WriteUInt16(channels);
  out.WriteUInt32(frames);
  out.WriteUInt16(sampleSize);
  out.WriteRaw(sampleRate.Bytes(), TExtended::byteCount);
  int64_t written = basicBytes;
  if (hasCompression && GetSize() >= compressedBytes) {
    out.WriteRaw(compression, idBytes);
    written = compressedBytes;
  }
  WriteFill(out, written);
}

void TAIFFCommonChunk::Apply(TAudioFile& file) {
  const TStr name = file.GetFileName().GetPath();
  double rate = 0.0;
  if (!sampleRate.ToDouble(rate) || !(rate >= 0.0 && rate < rateLimit)) ThrowFileMessage(Msg::fileCorrupt, name);
  if (hasCompression && std::memcmp(compression, "NONE", idBytes) != 0)
    ThrowFileMessage(Msg::onlyEightOrSixteenBits, name);
  file.SetSampleFormat(sampleSize, channels, static_cast<int32_t>(rate));
}
