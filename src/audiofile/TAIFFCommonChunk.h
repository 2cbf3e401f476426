// "COMM": the sample format of an AIFF file, its sample rate as an 80-bit extended real.
#pragma once
#include <cstdint>

#include "TExtended.h"
#include "TFileChunk.h"

class TAIFFCommonChunk : public TFileChunk {
public:
  static constexpr int32_t basicBytes = 18;
  // An AIFC file's chunk adds the compression type.
  static constexpr int32_t compressedBytes = 22;

  TAIFFCommonChunk() { SetSize(basicBytes); }
  static TAIFFCommonChunk* CreateFrom(const TAudioFile& file);
  // Takes channels, length, bits and sample rate from the file.
  void SetFrom(const TAudioFile& file);

  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // Sets the file's sample format; a sample rate that is not a finite number from 0 up
  // to 2^31 - 1 is "$1 is corrupt.", compressed AIFC samples are refused with the
  // bit-depth message.
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "COMM"; }

  uint16_t channels = 0;
  uint32_t frames = 0;
  uint16_t sampleSize = 0;
  TExtended sampleRate;
  char compression[idBytes] = {'N', 'O', 'N', 'E'};
  bool hasCompression = false;
};
