// The root of a WAV file: a container of form type "WAVE", little-endian.
#pragma once
#include "TFileChunk.h"

class TRIFFChunk : public TFileChunk {
public:
  TRIFFChunk();

  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // As the root: the file needs "fmt " and "data" ("The file $1 \nis not a
  // waveform-audio file."); without "smpl" it has no loop.
  void Apply(TAudioFile& file) override;
  bool IsContainer() const override { return true; }
  TStr GetID() const override { return "RIFF"; }
  bool IsBigEndian() const override { return false; }

  TStr GetFormType() const { return TStr(formType, idBytes); }

private:
  char formType[idBytes] = {'W', 'A', 'V', 'E'};
};
