// The drumkit.xml of a kit folder in the Hydrogen drumkit format, read into what
// the loader needs: each instrument's name, MIDI note, gain and pan, and its layers
// (a sample file and a velocity range). What cannot be used is left out and said
// in `problems`, one line each; nothing here touches a file, so the reader takes
// any bytes at all (the fuzz target feeds it).
//
// Pure functions: any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TDrumkitLayer {
  std::string file;  // as written in the kit, with "\" read as "/"
  std::string path;  // folder + "/" + file
  double min = 0, max = 1;  // velocity / 127 range
  float gain = 1.0f;
};

struct TDrumkitInstrument {
  std::string name;
  int note = 0;  // 36 .. 89
  float gain = 1.0f;
  float pan = 0.0f;
  std::vector<TDrumkitLayer> layers;
};

struct TDrumkitSpec {
  bool readable = false;  // the bytes are a drumkit description at all
  std::string name;
  std::vector<TDrumkitInstrument> instruments;
  std::vector<std::string> problems;
};

struct TVelocityMap {
  std::vector<std::vector<size_t>> groups;  // indices into the layers, one group per range
  uint8_t groupOfVelocity[128] = {};
};

constexpr int kDrumkitLowestNote = 36, kDrumkitHighestNote = 89;
constexpr float kDrumkitMaxGain = 4.0f;  // +12 dB
constexpr size_t kDrumkitMaxInstruments = 256, kDrumkitMaxLayers = 128;

TDrumkitSpec ParseDrumkitXml(const void* bytes, size_t size, const std::string& folder);

// The layer each velocity plays. Layers with the same range alternate. Where
// ranges overlap the layer whose range starts higher plays; velocities that no
// range holds play the nearest layer. Both are said in `problems`.
TVelocityMap MapVelocities(const std::vector<TDrumkitLayer>& layers, const std::string& instrument,
                           std::vector<std::string>& problems);
