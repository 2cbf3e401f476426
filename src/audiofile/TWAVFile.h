// RIFF WAVE files: PCM of 1 or 2 channels and 8 or 16 bits; loops and root key in "smpl".
#pragma once
#include "TChunkedAudioFile.h"

class TWAVFile : public TChunkedAudioFile {
public:
  // "RIFF" ("WAVE"), then "fmt ", "smpl", "data" and, with an analysis, "Anal".
  void CreateChunks() override;
  // The data offset of "data"; 0 without one.
  int64_t GetDataOffset() const override;
  // The "data" size from the length, written at its place and the root's total at 4;
  // an odd data size gets its pad byte.
  void UpdateSizes() override;

protected:
  TStr GetRootID() const override { return "RIFF"; }
  TParamStr& GetWrongRootMessage() const override;
};
