// What the voices play: for every cell the layers of its sound, the layer each
// velocity plays, and the instrument's own gain and pan. A kit of sounds is the
// synthesised kit, or a sampled kit whose instruments fill their cells while the
// other cells keep the synthesised sounds.
//
// Made on a thread other than the audio thread, then handed to the voice engine,
// which only reads it; it is freed off the audio thread once no voice plays it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TSample.h"
#include "TSampleBank.h"

struct TLayer {
  const TSample* sample = nullptr;
  float gain = 1.0f;
};

struct TCellSounds {
  bool sampled = false;  // from a sampled kit; else the synthesised cell
  std::string name;      // the instrument's name
  float gain = 1.0f;     // the instrument's gain, 0 .. 4
  float pan = 0.0f;      // the instrument's pan, -1 .. 1, added to the cell's pan
  // The velocity ranges: one group of layers per range; the samples of one range
  // alternate (round robin).
  std::vector<std::vector<TLayer>> groups;
  uint8_t groupOfVelocity[128] = {};  // velocity 1 .. 127 -> index into groups
};

class TKitSounds {
public:
  // The synthesised kit at this sample rate (its sounds come from the shared bank).
  static std::unique_ptr<TKitSounds> Synthesized();

  std::string name;  // "" for the synthesised kit
  TCellSounds cells[kCellCount];
  // The samples of a sampled kit; the synthesised cells point into the shared bank.
  std::vector<std::unique_ptr<TSample>> owned;

  size_t SampleBytes() const;
  int SampledCells() const;
  // Makes `cell` the synthesised cell again.
  void UseSynthesized(int cell);
};
