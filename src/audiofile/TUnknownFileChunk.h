// Any chunk the program does not know: kept in the tree under the identifier it was
// read with, its data left in the file.
#pragma once
#include "TLargeFileChunk.h"

class TUnknownFileChunk : public TLargeFileChunk {
public:
  explicit TUnknownFileChunk(const TStr& chunkID) : id(chunkID) {}
  TStr GetID() const override { return id; }

private:
  TStr id;
};
