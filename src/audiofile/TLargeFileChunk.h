// A chunk whose data stays in the file: reading and writing only move over it.
#pragma once
#include "TFileChunk.h"

class TLargeFileChunk : public TFileChunk {
public:
  // Moves over the data the file holds (the whole size, or up to the file's end).
  void Read(TInOut& in) override;
  // Moves over the whole size; the data already in the file stays untouched.
  void Write(TInOut& out) override;
  bool KeepsDataInFile() const override { return true; }
};
