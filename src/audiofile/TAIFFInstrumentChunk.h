// "INST": root key and the loops of an AIFF file, the loops by marker ids.
#pragma once
#include <cstdint>

#include "TFileChunk.h"

class TAIFFInstrumentChunk : public TFileChunk {
public:
  static constexpr int32_t fixedBytes = 20;
  // Loop play modes.
  static constexpr int16_t noLooping = 0;
  static constexpr int16_t forwardLooping = 1;
  static constexpr int16_t forwardBackwardLooping = 2;

  TAIFFInstrumentChunk() { SetSize(fixedBytes); }
  // From the file's root key and loop switches; the sustain loop runs from marker 1
  // to marker 2, the release loop forward over the same markers.
  static TAIFFInstrumentChunk* CreateFrom(const TAudioFile& file);

  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // loop = sustain mode not 0, pingPong = mode 2, root key = base note.
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "INST"; }

  int8_t baseNote = 60;
  int8_t detune = 0;
  uint8_t lowNote = 0;
  uint8_t highNote = 127;
  uint8_t lowVelocity = 0;
  uint8_t highVelocity = 127;
  int16_t gain = 0;
  int16_t sustainMode = noLooping;
  uint16_t sustainBegin = 0;
  uint16_t sustainEnd = 0;
  int16_t releaseMode = noLooping;
  uint16_t releaseBegin = 0;
  uint16_t releaseEnd = 0;
};
