#include "TWAVFormatChunk.h"

#include <cstring>
#include <new>

#include "AudioFileMessages.h"
#include "TAudioFile.h"

namespace {
// The sub-format of integer PCM in the extensible form.
constexpr uint8_t subFormatPCM[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
}  // namespace

TWAVFormatChunk* TWAVFormatChunk::CreateFrom(const TAudioFile& file) {
  auto* chunk = new (std::nothrow) TWAVFormatChunk;
  if (!chunk) return nullptr;
  const uint32_t frameBytes = uint32_t(file.GetChannels()) * uint32_t(file.GetBytesPerSample());
  chunk->formatTag = tagPCM;
  chunk->channels = static_cast<uint16_t>(file.GetChannels());
  chunk->samplesPerSecond = static_cast<uint32_t>(file.GetSampleRate());
  chunk->bitsPerSample = static_cast<uint16_t>(file.GetBits());
  chunk->blockAlign = static_cast<uint16_t>(frameBytes);
  chunk->averageBytesPerSecond = chunk->samplesPerSecond * frameBytes;
  return chunk;
}

void TWAVFormatChunk::Read(TInOut& in) {
  if (GetSize() < basicBytes) Corrupt(in);
  formatTag = in.ReadUInt16();
  channels = in.ReadUInt16();
  samplesPerSecond = in.ReadUInt32();
  averageBytesPerSecond = in.ReadUInt32();
  blockAlign = in.ReadUInt16();
  bitsPerSample = in.ReadUInt16();
  int64_t consumed = basicBytes;
  hasExtension = formatTag == tagExtensible && GetSize() >= extensibleBytes;
  if (hasExtension) {
    extensionSize = in.ReadUInt16();
    validBits = in.ReadUInt16();
    channelMask = in.ReadUInt32();
    in.ReadRaw(subFormat, sizeof subFormat);
    consumed = extensibleBytes;
  }
  SkipRest(in, consumed);
}

void TWAVFormatChunk::Write(TInOut& out) {
  out.WriteUInt16(formatTag);
  out.WriteUInt16(channels);
  out.WriteUInt32(samplesPerSecond);
  out.WriteUInt32(averageBytesPerSecond);
  out.WriteUInt16(blockAlign);
  out.WriteUInt16(bitsPerSample);
  int64_t written = basicBytes;
  if (hasExtension && GetSize() >= extensibleBytes) {
    out.WriteUInt16(extensionSize);
    out.WriteUInt16(validBits);
    out.WriteUInt32(channelMask);
    out.WriteRaw(subFormat, sizeof subFormat);
    written = extensibleBytes;
  }
  WriteFill(out, written);
}

bool TWAVFormatChunk::IsPCM() const {
  if (formatTag == tagPCM) return true;
  return formatTag == tagExtensible && hasExtension && std::memcmp(subFormat, subFormatPCM, sizeof subFormat) == 0;
}

void TWAVFormatChunk::Apply(TAudioFile& file) {
  // Compressed samples (A-law, mu-law, ADPCM, floats ...) would play as noise.
  if (!IsPCM()) ThrowFileMessage(Msg::onlyEightOrSixteenBits, file.GetFileName().GetPath());
  file.SetSampleFormat(bitsPerSample, channels, static_cast<int32_t>(samplesPerSecond));
}
