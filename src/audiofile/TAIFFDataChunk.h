// "SSND": offset and block size, then the sample frames of an AIFF file, which stay
// in the file.
#pragma once
#include <cstdint>

#include "TFileChunk.h"

class TAIFFDataChunk : public TFileChunk {
public:
  static constexpr int32_t fieldBytes = 8;

  TAIFFDataChunk() { SetSize(fieldBytes); }
  // Offset 0, block size 0, room for the file's length.
  static TAIFFDataChunk* CreateFrom(const TAudioFile& file, uint32_t soundBytes);

  // Reads offset and block size, then moves over the sound data the file holds.
  void Read(TInOut& in) override;
  // Writes offset and block size, then moves over the sound data.
  void Write(TInOut& out) override;
  // A block size that is not 0 and not a multiple of the frame size is "Format of $1 is
  // not supported."; length = (data bytes the file holds - 8 - offset) / frame size;
  // a loop end of 0 becomes the length.
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "SSND"; }
  bool KeepsDataInFile() const override { return true; }

  uint32_t offset = 0;
  uint32_t blockSize = 0;
};
