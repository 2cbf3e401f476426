#include "TAudioBuf.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "AudioFileMessages.h"
#include "foundation/Messages.h"

namespace {
// The largest value a float sample stores as an integer, relative to full scale.
constexpr float maxStoredValue = 32767.0f / 32768.0f;
// A serialised form with more channels than this is not one the program writes.
constexpr int32_t maxSerialChannels = 64;
// No sample block is larger than this; a larger request is a failed allocation.
constexpr int64_t maxBlockBytes = int64_t(1) << 40;

int64_t SerialWidth(int32_t bytesPerSample) {
  if (bytesPerSample <= 0) return 0;
  if (bytesPerSample <= 2) return bytesPerSample;
  return 4;
}

int32_t LoadPacked24(const uint8_t* p) {
  const uint32_t raw = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return static_cast<int32_t>(raw << 8) >> 8;
}

void StorePacked24(uint8_t* p, int32_t value) {
  const auto raw = static_cast<uint32_t>(value);
  p[0] = uint8_t(raw);
  p[1] = uint8_t(raw >> 8);
  p[2] = uint8_t(raw >> 16);
}

int32_t LoadInteger(const uint8_t* p, int32_t bytes) {
  switch (bytes) {
    case 1: return static_cast<int8_t>(p[0]);
    case 2: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 3: return LoadPacked24(p);
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

void StoreInteger(uint8_t* p, int32_t bytes, int32_t value) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(static_cast<int8_t>(value)); break;
    case 2: {
      const auto v = static_cast<int16_t>(value);
      std::memcpy(p, &v, 2);
      break;
    }
    case 3: StorePacked24(p, value); break;
    default: std::memcpy(p, &value, 4); break;
  }
}
}  // namespace

IAudioBuf* IAudioBuf::Create() { return CreateOrReport<TAudioBuf>(); }

TAudioBuf::~TAudioBuf() { FreeData(); }

int64_t TAudioBuf::FrameStride() const {
  const int64_t bytes = GetBytesPerSample();
  return interleaved ? bytes * channels : bytes;
}

int64_t TAudioBuf::BlockBytes() const { return (int64_t(length) + 2 * int64_t(margin)) * FrameStride(); }

void TAudioBuf::ComputeScale() {
  if (isFloat) {
    fullScale = 1.0;
    scale = 1.0f;
    return;
  }
  // Samples wider than 32 bits keep their top 32 bits' range; narrower than 2 bits
  // have no range at all.
  const int32_t valueBits = std::min(bits, 32);
  fullScale = valueBits >= 2 ? std::ldexp(1.0, valueBits - 1) - 1.0 : 0.0;
  scale = fullScale > 0.0 ? static_cast<float>(1.0 / fullScale) : 0.0f;
}

void TAudioBuf::FreeData() {
  if (!data) return;
  const int64_t front = int64_t(margin) * FrameStride();
  for (int32_t b = 0; b < BlockCount(); ++b)
    if (data[b]) delete[] (static_cast<uint8_t*>(data[b]) - front);
  delete[] data;
  data = nullptr;
}

void TAudioBuf::Allocate() {
  const int64_t bytes = BlockBytes();
  const int32_t blocks = BlockCount();
  bool failed = bytes < 0 || bytes > maxBlockBytes;
  if (!failed) {
    data = new (std::nothrow) void*[std::max(blocks, 1)]();
    failed = data == nullptr;
  }
  const int64_t front = int64_t(margin) * FrameStride();
  for (int32_t b = 0; !failed && b < blocks && bytes > 0; ++b) {
    auto* block = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]();
    if (!block) failed = true;
    else data[b] = block + front;
  }
  if (failed) {
    FreeData();
    length = 0;
    ThrowOutOfMemory();
  }
}

void TAudioBuf::SetFormat(bool newIsFloat, bool newInterleaved, int32_t newBits, int32_t newChannels, int32_t rate,
                          int32_t frames, int32_t newMargin) {
  FreeData();
  isFloat = newIsFloat ? 1 : 0;
  interleaved = newInterleaved ? 1 : 0;
  bits = isFloat ? 32 : std::max(newBits, 0);
  channels = std::max(newChannels, 0);
  sampleRate = rate;
  length = std::max(frames, 0);
  margin = std::max(newMargin, 0);
  ComputeScale();
  Allocate();
}

void TAudioBuf::SetLength(int32_t frames) {
  frames = std::max(frames, 0);
  void** old = data;
  const int32_t oldLength = length;
  data = nullptr;
  length = frames;
  try {
    Allocate();
  } catch (EError) {
    data = old;
    length = oldLength;
    FreeData();
    length = 0;
    throw;
  }
  if (old) {
    const int64_t front = int64_t(margin) * FrameStride();
    const int64_t keep = int64_t(std::min(oldLength, frames)) * FrameStride();
    for (int32_t b = 0; b < BlockCount(); ++b) {
      if (!old[b]) continue;
      if (data[b]) std::memcpy(data[b], old[b], static_cast<size_t>(keep));
      delete[] (static_cast<uint8_t*>(old[b]) - front);
    }
    delete[] old;
  }
  RefreshMargins();
}

uint8_t* TAudioBuf::SamplePtr(int32_t frame, int32_t channel) const {
  if (!data || channel < 0 || channel >= channels) return nullptr;
  if (frame < -margin || int64_t(frame) >= int64_t(length) + margin) return nullptr;
  const int64_t bytes = GetBytesPerSample();
  if (bytes == 0) return nullptr;
  auto* block = static_cast<uint8_t*>(data[interleaved ? 0 : channel]);
  if (!block) return nullptr;
  const int64_t within = interleaved ? int64_t(channel) * bytes : 0;
  return block + int64_t(frame) * FrameStride() + within;
}

void* TAudioBuf::GetSamplePtr(int32_t frame, int32_t channel) { return SamplePtr(frame, channel); }

void TAudioBuf::StoreAt(uint8_t* sample, float value) const {
  if (isFloat) {
    std::memcpy(sample, &value, 4);
    return;
  }
  if (std::isnan(value)) value = 0.0f;
  value = std::clamp(value, -1.0f, maxStoredValue);
  const auto stored = static_cast<int32_t>(std::trunc(double(value) * fullScale));
  StoreInteger(sample, GetBytesPerSample(), stored);
}

float TAudioBuf::LoadAt(const uint8_t* sample) const {
  if (isFloat) {
    float value;
    std::memcpy(&value, sample, 4);
    return value;
  }
  return static_cast<float>(LoadInteger(sample, GetBytesPerSample())) * scale;
}

void TAudioBuf::SetSample(int32_t frame, float value, int32_t channel) {
  if (channel != -1) {
    if (uint8_t* sample = SamplePtr(frame, channel)) StoreAt(sample, value);
    return;
  }
  for (int32_t c = 0; c < channels; ++c)
    if (uint8_t* sample = SamplePtr(frame, c)) StoreAt(sample, value);
}

float TAudioBuf::GetSample(int32_t frame, int32_t channel) const {
  const uint8_t* sample = SamplePtr(frame, channel);
  return sample ? LoadAt(sample) : 0.0f;
}

void TAudioBuf::Clear() {
  if (!data) return;
  const int64_t front = int64_t(margin) * FrameStride();
  for (int32_t b = 0; b < BlockCount(); ++b)
    if (data[b]) std::memset(static_cast<uint8_t*>(data[b]) - front, 0, static_cast<size_t>(BlockBytes()));
  RefreshMargins();
}

void TAudioBuf::RefreshMargins() {
  if (!data || margin == 0) return;
  const int64_t stride = FrameStride();
  for (int32_t b = 0; b < BlockCount(); ++b) {
    auto* block = static_cast<uint8_t*>(data[b]);
    if (!block) continue;
    for (int32_t i = 1; i <= margin; ++i) {
      uint8_t* before = block - int64_t(i) * stride;
      uint8_t* after = block + (int64_t(length) + i - 1) * stride;
      if (length == 0) {
        std::memset(before, 0, static_cast<size_t>(stride));
        std::memset(after, 0, static_cast<size_t>(stride));
        continue;
      }
      // Frame -i wraps to length - i, frame length + i - 1 to i - 1 (both modulo length).
      const int64_t from = ((int64_t(length) - i) % length + length) % length;
      const int64_t to = int64_t(i - 1) % length;
      std::memcpy(before, block + from * stride, static_cast<size_t>(stride));
      std::memcpy(after, block + to * stride, static_cast<size_t>(stride));
    }
  }
}

void TAudioBuf::CopyFrom(IAudioBuf& source, int32_t count, int32_t sourceStart, int32_t destStart) {
  if (source.GetSampleRate() != sampleRate || !data) return;
  if (count == -1) count = source.GetLength() - sourceStart;
  if (count <= 0) return;
  const int32_t shared = std::min(channels, source.GetChannels());
  const bool sameFormat = source.IsFloat() == IsFloat() && source.GetBits() == bits;
  const auto bytes = static_cast<size_t>(GetBytesPerSample());
  // Only the destination frames that exist are visited.
  const int64_t first = std::max<int64_t>(0, int64_t(-margin) - destStart);
  const int64_t last = std::min<int64_t>(count, int64_t(length) + margin - destStart);
  for (int32_t c = 0; c < shared; ++c) {
    for (int64_t i = first; i < last; ++i) {
      const auto to = static_cast<int32_t>(destStart + i);
      const int64_t fromFrame = int64_t(sourceStart) + i;
      if (fromFrame < INT32_MIN || fromFrame > INT32_MAX) continue;
      const auto from = static_cast<int32_t>(fromFrame);
      uint8_t* target = SamplePtr(to, c);
      if (!target) continue;
      const void* raw = sameFormat ? source.GetSamplePtr(from, c) : nullptr;
      if (raw) std::memcpy(target, raw, bytes);
      else StoreAt(target, source.GetSample(from, c));
    }
  }
}

int64_t TAudioBuf::GetSerialisedSize() const {
  const int64_t samples = interleaved ? 0 : int64_t(length) * channels * SerialWidth(GetBytesPerSample());
  return serialHeaderBytes + samples;
}

void TAudioBuf::Write(TInOut& out) const {
  out.WriteInt32(length);
  out.WriteInt32(channels);
  out.WriteInt32(sampleRate);
  out.WriteInt32(interleaved);
  out.WriteInt32(bits);
  out.WriteInt32(isFloat);
  if (interleaved || !data) return;
  const int32_t bytes = GetBytesPerSample();
  for (int32_t c = 0; c < channels; ++c) {
    const auto* block = static_cast<const uint8_t*>(data[c]);
    if (!block) continue;
    switch (bytes) {
      case 1: out.WriteRaw(block, length); break;
      case 2: out.WriteArray16(reinterpret_cast<const int16_t*>(block), length); break;
      case 4: out.WriteArray32(reinterpret_cast<const int32_t*>(block), length); break;
      default:
        for (int32_t i = 0; i < length; ++i) out.WriteInt32(LoadInteger(block + int64_t(i) * bytes, bytes));
        break;
    }
  }
}

void TAudioBuf::Read(TInOut& in, int64_t maxBytes) {
  FreeData();
  length = 0;
  auto corrupt = [&in]() { ThrowFileMessage(Msg::fileCorrupt, in.GetStreamName()); };
  if (maxBytes < serialHeaderBytes) corrupt();
  const int32_t newLength = in.ReadInt32();
  const int32_t newChannels = in.ReadInt32();
  const int32_t newRate = in.ReadInt32();
  const int32_t newInterleaved = in.ReadInt32();
  const int32_t newBits = in.ReadInt32();
  const int32_t newIsFloat = in.ReadInt32();
  if (newLength < 0 || newChannels < 1 || newChannels > maxSerialChannels) corrupt();
  if (newBits < 1 || newBits > 32 || (newIsFloat && newBits != 32)) corrupt();
  // The samples must be in the stream; an interleaved form carries none, but its
  // allocation is held to the same room.
  const int32_t bytes = (newBits + 7) / 8;
  const int64_t width = newInterleaved ? bytes : SerialWidth(bytes);
  if (int64_t(newLength) * newChannels * width > maxBytes - serialHeaderBytes) corrupt();
  SetFormat(newIsFloat != 0, newInterleaved != 0, newBits, newChannels, newRate, newLength, 0);
  if (interleaved || !data) return;
  for (int32_t c = 0; c < channels; ++c) {
    auto* block = static_cast<uint8_t*>(data[c]);
    if (!block) continue;
    switch (bytes) {
      case 1: in.ReadRaw(block, length); break;
      case 2: in.ReadArray16(reinterpret_cast<int16_t*>(block), length); break;
      case 4: in.ReadArray32(reinterpret_cast<int32_t*>(block), length); break;
      default:
        for (int32_t i = 0; i < length; ++i) StoreInteger(block + int64_t(i) * bytes, bytes, in.ReadInt32());
        break;
    }
  }
}
