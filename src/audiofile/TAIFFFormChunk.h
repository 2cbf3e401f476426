// The root of an AIFF file: a container of form type "AIFF" (or "AIFC" when read),
// big-endian.
#pragma once
#include "TFileChunk.h"

class TAIFFFormChunk : public TFileChunk {
public:
  TAIFFFormChunk();

  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // As the root: with "MARK" and "INST", the loop points are the positions of the
  // sustain loop's markers (-1 for a marker that is missing); otherwise no loop.
  void Apply(TAudioFile& file) override;
  bool IsContainer() const override { return true; }
  TStr GetID() const override { return "FORM"; }
  bool IsBigEndian() const override { return true; }

  TStr GetFormType() const { return TStr(formType, idBytes); }

private:
  char formType[idBytes] = {'A', 'I', 'F', 'F'};
};
