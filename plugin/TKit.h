// The kit: every cell's settings, the kit name and the master level, and its
// chunk form (the plug-in's state for the host's sessions and the kit files).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "TSampleBank.h"

struct TCellSettings {
  float level = 0.8f;      // 0 .. 1, linear gain
  float pan = 0.0f;        // -1 left .. +1 right
  float tune = 0.0f;       // semitones, -24 .. +24
  float decay = 1.0f;      // 0.05 .. 1; 1 plays the whole sound, less fades it out sooner
  int32_t outputPair = 0;  // 0 = outputs 1-2 ... 7 = outputs 15-16
  int32_t chokeGroup = 0;  // 0 none; cells of one group cut each other
};

struct TKitRanges {
  static constexpr float minTune = -24.0f, maxTune = 24.0f;
  static constexpr float minDecay = 0.05f, maxDecay = 1.0f;
  static constexpr int32_t outputPairs = 8;
  static constexpr int32_t chokeGroups = 16;  // 0 .. 15
};

constexpr int kKitNameSize = 32;        // with the terminating zero
constexpr int kDrumkitNameSize = 128;   // with the terminating zero

struct TKit {
  // The default master level: the eight loudest cells of the default kit struck
  // together at velocity 127 stay below -1 dBFS with it (see the README).
  static constexpr float defaultMaster = 0.375f;

  char name[kKitNameSize] = {};
  float master = defaultMaster;
  TCellSettings cells[kCellCount];
  // The sampled kit whose instruments fill their cells (a kit folder's name), or ""
  // for the synthesised sounds.
  char drumkit[kDrumkitNameSize] = {};

  // The kit the plug-in starts with, with the synthesised sounds.
  static TKit Default();

  void SetName(const char* text);
  void SetDrumkit(const char* text);

  // Chunk layout (little-endian): "TKIT", version, total size, name[32], master,
  // cell count, per cell level pan tune decay (float) outputPair chokeGroup (int32),
  // from version 2 on the drumkit name[128], then a CRC-32 of everything before it.
  // Version 1 chunks (without the drumkit) still load, with the synthesised sounds.
  static constexpr uint32_t chunkVersion = 2;
  static constexpr size_t chunkSizeV1 = 4 + 4 + 4 + kKitNameSize + 4 + 4 + kCellCount * 24 + 4;
  static constexpr size_t chunkSize = chunkSizeV1 + kDrumkitNameSize;

  std::vector<uint8_t> ToChunk() const;
  void WriteChunk(uint8_t* out) const;  // chunkSize bytes
  // A damaged, truncated, foreign or out-of-range chunk is refused (false) and
  // `kit` is left as it was.
  static bool FromChunk(const void* data, size_t size, TKit& kit);
};

uint32_t Crc32(const uint8_t* data, size_t size);
