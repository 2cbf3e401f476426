#include "TAIFFMarkerChunk.h"

#include <algorithm>
#include <new>

#include "TAudioFile.h"
#include "foundation/Messages.h"

namespace {
constexpr int64_t countBytes = 2;
// id, position and the name's length byte.
constexpr int64_t markerHeadBytes = 7;
// The smallest marker: its head and the pad byte of an empty name.
constexpr int64_t minMarkerBytes = 8;
constexpr int32_t maxNameLength = 255;

// Name characters and the pad byte that makes length byte plus name even.
int64_t NameBytes(int32_t length) { return length + ((1 + length) & 1); }
}  // namespace

TAIFFMarkerChunk* TAIFFMarkerChunk::CreateFrom(const TAudioFile& file) {
  auto* chunk = new (std::nothrow) TAIFFMarkerChunk;
  if (!chunk) return nullptr;
  try {
    chunk->AddMarker(1, file.GetLoopStart(), TStr());
    chunk->AddMarker(2, file.GetLoopEnd(), TStr());
  } catch (const std::bad_alloc&) {
    chunk->Release();
    return nullptr;
  }
  return chunk;
}

void TAIFFMarkerChunk::AddMarker(uint16_t id, int32_t position, const TStr& name) {
  markers.push_back({id, position, name});
  SetSize(static_cast<uint32_t>(SizeOf(markers)));
}

int64_t TAIFFMarkerChunk::SizeOf(const std::vector<TMarker>& list) {
  int64_t size = countBytes;
  for (const TMarker& marker : list) size += 6 + 1 + NameBytes(std::min(marker.name.Length(), maxNameLength));
  return size;
}

int32_t TAIFFMarkerChunk::FindPosition(uint16_t id) const {
  for (const TMarker& marker : markers)
    if (marker.id == id) return marker.position;
  return -1;
}

void TAIFFMarkerChunk::Read(TInOut& in) {
  const int64_t size = GetSize();
  if (size < countBytes) Corrupt(in);
  const uint16_t count = in.ReadUInt16();
  int64_t consumed = countBytes;
  markers.clear();
  try {
    markers.reserve(std::min<int64_t>(count, (size - countBytes) / minMarkerBytes));
    for (uint16_t i = 0; i < count && consumed + markerHeadBytes <= size; ++i) {
      TMarker marker;
      marker.id = in.ReadUInt16();
      marker.position = in.ReadInt32();
      const uint8_t length = in.ReadUInt8();
      consumed += markerHeadBytes;
      const int64_t nameBytes = NameBytes(length);
      if (consumed + nameBytes > size) break;
      char text[maxNameLength + 1];
      in.ReadRaw(text, nameBytes);
      consumed += nameBytes;
      marker.name = TStr(text, length);
      markers.push_back(marker);
    }
  } catch (const std::bad_alloc&) {
    ThrowOutOfMemory();
  }
  SkipRest(in, consumed);
}

void TAIFFMarkerChunk::Write(TInOut& out) {
  out.WriteUInt16(static_cast<uint16_t>(markers.size()));
  for (const TMarker& marker : markers) {
    const int32_t length = std::min(marker.name.Length(), maxNameLength);
    out.WriteUInt16(marker.id);
    out.WriteInt32(marker.position);
    out.WriteUInt8(static_cast<uint8_t>(length));
    out.WriteRaw(marker.name.Text(), length);
    if (NameBytes(length) > length) out.WriteUInt8(0);
  }
  WriteFill(out, SizeOf(markers));
}
