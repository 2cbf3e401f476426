#include "TAIFFInstrumentChunk.h"

#include <new>

#include "TAudioFile.h"

TAIFFInstrumentChunk* TAIFFInstrumentChunk::CreateFrom(const TAudioFile& file) {
  auto* chunk = new (std::nothrow) TAIFFInstrumentChunk;
  if (!chunk) return nullptr;
  chunk->baseNote = static_cast<int8_t>(file.GetRootKey());
  chunk->sustainMode = !file.GetLoop() ? noLooping : (file.GetPingPong() ? forwardBackwardLooping : forwardLooping);
  chunk->sustainBegin = 1;
  chunk->sustainEnd = 2;
  chunk->releaseMode = forwardLooping;
  chunk->releaseBegin = 1;
  chunk->releaseEnd = 2;
  return chunk;
}

void TAIFFInstrumentChunk::Read(TInOut& in) {
  if (GetSize() < fixedBytes) Corrupt(in);
  baseNote = in.ReadInt8();
  detune = in.ReadInt8();
  lowNote = in.ReadUInt8();
  highNote = in.ReadUInt8();
  lowVelocity = in.ReadUInt8();
  highVelocity = in.ReadUInt8();
  gain = in.ReadInt16();
  sustainMode = in.ReadInt16();
  sustainBegin = in.ReadUInt16();
  sustainEnd = in.ReadUInt16();
  releaseMode = in.ReadInt16();
  releaseBegin = in.ReadUInt16();
  releaseEnd = in.ReadUInt16();
  SkipRest(in, fixedBytes);
}

void TAIFFInstrumentChunk::Write(TInOut& out) {
  out.WriteInt8(baseNote);
  out.WriteInt8(detune);
  out.WriteUInt8(lowNote);
  out.WriteUInt8(highNote);
  out.WriteUInt8(lowVelocity);
  out.WriteUInt8(highVelocity);
  out.WriteInt16(gain);
  out.WriteInt16(sustainMode);
  out.WriteUInt16(sustainBegin);
  out.WriteUInt16(sustainEnd);
  out.WriteInt16(releaseMode);
  out.WriteUInt16(releaseBegin);
  out.WriteUInt16(releaseEnd);
  WriteFill(out, fixedBytes);
}

void TAIFFInstrumentChunk::Apply(TAudioFile& file) {
  file.SetLoop(sustainMode != noLooping);
  file.SetPingPong(sustainMode == forwardBackwardLooping);
  file.SetRootKey(baseNote);
}
