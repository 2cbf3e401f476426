// "smpl": root key and loops of a WAV file.
#pragma once
#include <cstdint>
#include <vector>

#include "TFileChunk.h"

class TWAVSampleChunk : public TFileChunk {
public:
  // Loop types; 0xFF is the program's mark for a loop record that is switched off.
  static constexpr uint32_t loopForward = 0;
  static constexpr uint32_t loopAlternating = 1;
  static constexpr uint32_t loopOff = 0xFF;
  static constexpr int32_t fixedBytes = 36;
  static constexpr int32_t loopBytes = 24;

  struct TLoop {
    uint32_t cuePointID = 0;
    uint32_t type = loopForward;
    uint32_t start = 0;
    uint32_t end = 0;  // the loop's last frame
    uint32_t fraction = 0;
    uint32_t playCount = 0;
  };

  TWAVSampleChunk() { SetSize(fixedBytes); }
  // One loop record from the file's loop properties.
  static TWAVSampleChunk* CreateFrom(const TAudioFile& file);

  // Refuses ("$1 is corrupt.") a chunk whose fixed fields or loop records do not fit
  // its size; sampler-specific data that does not fit is left out.
  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "smpl"; }

  uint32_t manufacturer = 0;
  uint32_t product = 0;
  uint32_t samplePeriod = 0;
  uint32_t unityNote = 0;
  uint32_t pitchFraction = 0;
  uint32_t smpteFormat = 0;
  uint32_t smpteOffset = 0;
  std::vector<TLoop> loops;
  std::vector<uint8_t> samplerData;

private:
  void UpdateSize();
};
