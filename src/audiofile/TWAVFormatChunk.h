// "fmt ": the sample format of a WAV file. The first 16 bytes are read; the extensible
// format's sub-format follows when the chunk holds it.
#pragma once
#include <cstdint>

#include "TFileChunk.h"

class TWAVFormatChunk : public TFileChunk {
public:
  static constexpr uint16_t tagPCM = 1;
  static constexpr uint16_t tagExtensible = 0xFFFE;
  static constexpr int32_t basicBytes = 16;
  static constexpr int32_t extensibleBytes = 40;

  TWAVFormatChunk() { SetSize(basicBytes); }
  // PCM in the file's format.
  static TWAVFormatChunk* CreateFrom(const TAudioFile& file);

  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // Sets the file's sample format. Anything but PCM (also in the extensible form) is
  // refused with "Unable to read file $1 \n Only 8-bit or 16-bit files can be read.".
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "fmt "; }

  bool IsPCM() const;

  uint16_t formatTag = tagPCM;
  uint16_t channels = 0;
  uint32_t samplesPerSecond = 0;
  uint32_t averageBytesPerSecond = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  // The extensible form, when read.
  bool hasExtension = false;
  uint16_t extensionSize = 0;
  uint16_t validBits = 0;
  uint32_t channelMask = 0;
  uint8_t subFormat[16] = {};
};
