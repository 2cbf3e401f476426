#include "TKitSounds.h"

std::unique_ptr<TKitSounds> TKitSounds::Synthesized() {
  auto kit = std::make_unique<TKitSounds>();
  for (int cell = 0; cell < kCellCount; ++cell) kit->UseSynthesized(cell);
  return kit;
}

void TKitSounds::UseSynthesized(int cell) {
  const TCellSound& sound = TSampleBank::Shared().Cell(cell);
  TCellSounds& c = cells[cell];
  c.sampled = false;
  c.name = sound.name;
  c.gain = 1.0f;
  c.pan = 0.0f;
  c.groups.clear();
  for (const TSample& layer : sound.layers) c.groups.push_back({TLayer{&layer, 1.0f}});
  for (int velocity = 0; velocity < 128; ++velocity)
    c.groupOfVelocity[velocity] = static_cast<uint8_t>(TSampleBank::LayerOfVelocity(velocity));
}

size_t TKitSounds::SampleBytes() const {
  size_t bytes = 0;
  for (const auto& s : owned) bytes += s->Bytes();
  return bytes;
}

int TKitSounds::SampledCells() const {
  int n = 0;
  for (const TCellSounds& c : cells) n += c.sampled;
  return n;
}
