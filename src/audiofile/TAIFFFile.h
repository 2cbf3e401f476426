// AIFF files: format in "COMM", sound data in "SSND", loops and root key in "MARK"
// and "INST".
#pragma once
#include "TChunkedAudioFile.h"

class TAIFFFile : public TChunkedAudioFile {
public:
  // "FORM" ("AIFF"), then "COMM", "MARK" (markers 1 and 2 at the loop points), "INST",
  // "SSND" and, with an analysis, "Anal".
  void CreateChunks() override;
  // The data offset of "SSND" + its offset field + 8; 0 without one.
  int64_t GetDataOffset() const override;
  // "COMM" refreshed from the file with its channels and frames rewritten in place,
  // the "SSND" size from the length, the root's total at 4; an odd data size gets its
  // pad byte.
  void UpdateSizes() override;

protected:
  TStr GetRootID() const override { return "FORM"; }
  TParamStr& GetWrongRootMessage() const override;
};
