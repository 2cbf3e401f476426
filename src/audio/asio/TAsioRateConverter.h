// One channel's conversion between the processing rate and the driver's rate, for
// the rate factors 0.5, 0.75, 1.0, 1.5, 2.0 and 3.0 (processing rate over device
// rate), with the history it keeps from one block to the next. The soundcard port's
// scheme: averages of neighbouring frames for the fractional factors, repeated frames
// or pair and triple averages for the whole ones. A block holds whole cycles of the
// factor (4 device frames to 3 at 0.75, 2 to 3 at 1.5); a partial cycle at the end
// of a block is left out.
//
// Threads: SetFactor on the main thread while the port is stopped; the conversions
// on the audio thread, without allocating.
#pragma once
#include <cstdint>

class TAsioRateConverter {
public:
  static bool IsSupported(double factor);
  // An unsupported factor keeps the previous one. The history starts at 0.
  void SetFactor(double factor);
  double Factor() const { return factor; }
  void ClearHistory();

  // The device's frames into processing frames; answers how many were written.
  int32_t FromDevice(const float* device, int32_t deviceFrames, float* processing);
  // Processing frames into the device's frames; answers how many were written.
  int32_t ToDevice(const float* processing, int32_t processingFrames, float* device);

private:
  double factor = 1.0;
  float previous = 0.0f;  // the last frame of the previous cycle, in either direction
  float held = 0.0f;      // h at 0.75, q at 1.5 (device side)
  float kept = 0.0f;      // p at 1.5 (device side)
};
