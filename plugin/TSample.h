// One playable recording or synthesised sound: float frames, one or two channels
// interleaved, at its own sample rate, followed by two zero frames so that the
// voices' interpolation never reads past the end. Immutable once made.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct TSample {
  std::vector<float> frames;  // (Length() + 2) * channels values
  int channels = 1;           // 1 or 2
  double rate = 44100.0;

  int32_t Length() const {
    return channels > 0 ? static_cast<int32_t>(frames.size() / static_cast<size_t>(channels)) - 2 : 0;
  }
  const float* Data() const { return frames.data(); }
  size_t Bytes() const { return frames.size() * sizeof(float); }

  // Frame i of channel 0 (or the only channel).
  float At(int32_t i, int channel = 0) const { return frames[static_cast<size_t>(i) * channels + channel]; }
  // Appends the two zero frames of padding.
  void Pad() { frames.insert(frames.end(), static_cast<size_t>(2 * channels), 0.0f); }
};
