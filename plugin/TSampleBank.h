// The instrument's 54 synthesised sounds, one per cell, each in three velocity
// layers (soft, medium, hard: darker and softer-edged to brighter and sharper),
// made once per process when the plug-in is first entered. Deterministic: the same
// bits on every run. Every sound decays below -60 dB before its frames end.
#pragma once
#include <cstddef>
#include <cstdint>

#include "TSample.h"

constexpr int kCellCount = 54;
constexpr int kFirstCellNote = 36;
constexpr double kBankSampleRate = 44100.0;

struct TCellSound {
  static constexpr int layerCount = 3;
  const char* name;       // "Closed Hi-Hat"
  const char* shortName;  // at most 9 characters, for the editor's cells
  int defaultChoke;       // choke group of the default kit (0: none)
  TSample layers[layerCount];
};

class TSampleBank {
public:
  // The process-wide bank, built on first use (thread-safe).
  static const TSampleBank& Shared();

  const TCellSound& Cell(int cell) const { return cells[cell]; }
  // The default kit's choke group of a cell, known without making the sounds.
  static int DefaultChoke(int cell);
  static const char* Name(int cell);
  static const char* ShortName(int cell);
  // The layer a velocity plays: 1-55 soft, 56-105 medium, 106-127 hard.
  static int LayerOfVelocity(int velocity);
  // Total number of frames held, for the curious.
  size_t TotalFrames() const;
  size_t TotalBytes() const;

private:
  TSampleBank();
  TCellSound cells[kCellCount];
};
