// "MARK": numbered positions of an AIFF file, each with a name.
#pragma once
#include <cstdint>
#include <vector>

#include "TFileChunk.h"

class TAIFFMarkerChunk : public TFileChunk {
public:
  struct TMarker {
    uint16_t id = 0;
    int32_t position = 0;
    TStr name;  // at most 255 characters are written
  };

  TAIFFMarkerChunk() { SetSize(2); }
  // Markers 1 at the loop start and 2 at the loop end, without names.
  static TAIFFMarkerChunk* CreateFrom(const TAudioFile& file);

  // Keeps the markers that lie completely within the chunk.
  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  TStr GetID() const override { return "MARK"; }

  void AddMarker(uint16_t id, int32_t position, const TStr& name);
  // The position of the marker with this id, or -1.
  int32_t FindPosition(uint16_t id) const;
  // 2 + per marker 6 + length byte and name, rounded up to even.
  static int64_t SizeOf(const std::vector<TMarker>& markers);

  std::vector<TMarker> markers;
};
