// "data": the sample frames of a WAV file, which stay in the file.
#pragma once
#include "TLargeFileChunk.h"

class TWAVDataChunk : public TLargeFileChunk {
public:
  // length = the bytes the file holds / bytes per frame (0 for a frame of 0 bytes).
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "data"; }
};
