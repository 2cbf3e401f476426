#include "TWAVSampleChunk.h"

#include <new>

#include "TAudioFile.h"
#include "foundation/Messages.h"

namespace {
// The eight fields before the sampler data field.
constexpr int64_t leadingBytes = 32;
}  // namespace

TWAVSampleChunk* TWAVSampleChunk::CreateFrom(const TAudioFile& file) {
  auto* chunk = new (std::nothrow) TWAVSampleChunk;
  if (!chunk) return nullptr;
  chunk->unityNote = static_cast<uint32_t>(file.GetRootKey());
  TLoop loop;
  loop.type = !file.GetLoop() ? loopOff : (file.GetPingPong() ? loopAlternating : loopForward);
  loop.start = static_cast<uint32_t>(file.GetLoopStart());
  loop.end = static_cast<uint32_t>(file.GetLoopEnd()) - 1u;
  chunk->loops.push_back(loop);
  chunk->UpdateSize();
  return chunk;
}

void TWAVSampleChunk::UpdateSize() {
  SetSize(static_cast<uint32_t>(fixedBytes + loopBytes * loops.size() + samplerData.size()));
}

void TWAVSampleChunk::Read(TInOut& in) {
  const int64_t size = GetSize();
  if (size < leadingBytes) Corrupt(in);
  manufacturer = in.ReadUInt32();
  product = in.ReadUInt32();
  samplePeriod = in.ReadUInt32();
  unityNote = in.ReadUInt32();
  pitchFraction = in.ReadUInt32();
  smpteFormat = in.ReadUInt32();
  smpteOffset = in.ReadUInt32();
  const uint32_t loopCount = in.ReadUInt32();
  int64_t consumed = leadingBytes;
  // A chunk too short for the sampler data field has none.
  uint32_t samplerBytes = 0;
  if (size >= fixedBytes) {
    samplerBytes = in.ReadUInt32();
    consumed = fixedBytes;
  }
  if (int64_t(loopCount) * loopBytes > size - consumed) Corrupt(in);
  try {
    loops.assign(loopCount, TLoop());
  } catch (const std::bad_alloc&) {
    ThrowOutOfMemory();
  }
  for (TLoop& loop : loops) {
    loop.cuePointID = in.ReadUInt32();
    loop.type = in.ReadUInt32();
    loop.start = in.ReadUInt32();
    loop.end = in.ReadUInt32();
    loop.fraction = in.ReadUInt32();
    loop.playCount = in.ReadUInt32();
  }
  consumed += int64_t(loopCount) * loopBytes;
  samplerData.clear();
  if (samplerBytes != 0 && int64_t(samplerBytes) <= size - consumed) {
    try {
      samplerData.resize(samplerBytes);
    } catch (const std::bad_alloc&) {
      ThrowOutOfMemory();
    }
    in.ReadRaw(samplerData.data(), samplerBytes);
    consumed += samplerBytes;
  }
  SkipRest(in, consumed);
}

void TWAVSampleChunk::Write(TInOut& out) {
  out.WriteUInt32(manufacturer);
  out.WriteUInt32(product);
  out.WriteUInt32(samplePeriod);
  out.WriteUInt32(unityNote);
  out.WriteUInt32(pitchFraction);
  out.WriteUInt32(smpteFormat);
  out.WriteUInt32(smpteOffset);
  out.WriteUInt32(static_cast<uint32_t>(loops.size()));
  out.WriteUInt32(static_cast<uint32_t>(samplerData.size()));
  for (const TLoop& loop : loops) {
    out.WriteUInt32(loop.cuePointID);
    out.WriteUInt32(loop.type);
    out.WriteUInt32(loop.start);
    out.WriteUInt32(loop.end);
    out.WriteUInt32(loop.fraction);
    out.WriteUInt32(loop.playCount);
  }
  out.WriteRaw(samplerData.data(), static_cast<int64_t>(samplerData.size()));
  WriteFill(out, fixedBytes + loopBytes * int64_t(loops.size()) + int64_t(samplerData.size()));
}

void TWAVSampleChunk::Apply(TAudioFile& file) {
  file.SetRootKey(static_cast<int32_t>(unityNote));
  if (loops.empty()) {
    file.SetLoop(false);
    return;
  }
  const TLoop& first = loops.front();
  file.SetLoop(first.type != loopOff);
  file.SetPingPong(first.type == loopAlternating);
  file.SetLoopStart(static_cast<int32_t>(first.start));
  file.SetLoopEnd(static_cast<int32_t>(first.end + 1u));
}
