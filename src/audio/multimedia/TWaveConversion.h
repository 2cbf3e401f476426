// The soundcard port's sample conversion between the device's 16-bit stereo frames
// and the plug-in's float frames, for each supported rate factor (the plug-in's rate
// over the device's: 0.5, 0.75, 1.0, 1.5, 2.0, 3.0).
//
// Input: each call gives one processing frame (left in channel 0, right in 1 of the
// frame record's first scratch row) and reads 0, 1 or 2 device frames. Output: each
// call takes one processing frame (the frame record's channel pointers, times the gain
// in the first float of its first scratch row) and writes 0, 1 or 2 device frames.
// One phase counter serves both directions; a block of rate factor x 128 processing
// frames holds whole cycles, so both loops of a block begin at phase 0. The history of
// the interpolating routines lives per channel in the frame records' scratch rows.
//
// Threading: the port's processing thread only (Select while the port is paused).
#pragma once
#include <cstdint>

#include "audio/TAudioInOut.h"

class TWaveConversion {
public:
  using TFrame = TAudioInOut::TFrameRecord;

  // Where input device frames come from: the next recorded buffer, or false when
  // there is none (the frames then read as silence).
  class IInputSource {
  public:
    virtual ~IInputSource() = default;
    virtual bool NextBuffer(const int16_t*& read, const int16_t*& end) = 0;
  };

  struct TPeaks {
    float inMinLeft = 0, inMaxLeft = 0, inMinRight = 0, inMaxRight = 0;
    float outMinLeft = 0, outMaxLeft = 0, outMinRight = 0, outMaxRight = 0;
  };

  // The routines for factor; false (and the previous ones kept) for any other factor.
  bool Select(float factor);
  float GetFactor() const { return factor; }
  int32_t GetPhase() const { return phase; }

  // Without an open input the input routines read nothing and give silence.
  void SetInput(IInputSource* source);
  void SetOutput(int16_t* at) { write = at; }
  int16_t* GetOutput() const { return write; }

  void ReadFrame(TFrame& frame) { (this->*input)(frame); }
  void WriteFrame(TFrame& frame) { (this->*output)(frame); }
  // At factor 1.0 a whole block at once, with the same values and peaks as frame by
  // frame: frames device frames into left and right, and from left and right (times
  // gain) to the device.
  void ReadBlock(float* left, float* right, int32_t frames);
  void WriteBlock(const float* left, const float* right, float gain, int32_t frames);

  // The running minimum and maximum of the converted input values and of the output
  // values (in 16-bit units) since the last call.
  TPeaks TakePeaks();

private:
  using TRoutine = void (TWaveConversion::*)(TFrame&);

  // Called for every frame: kept inline in each routine.
  [[gnu::always_inline]] inline void ReadDevice(float& left, float& right);
  [[gnu::always_inline]] inline void Put(float left, float right);
  [[gnu::always_inline]] inline void Yield(TFrame& frame, float left, float right);
  bool KeepFirstTwo(TFrame& frame);
  void Advance(int32_t cycle) { phase = phase + 1 == cycle ? 0 : phase + 1; }

  void InputOne(TFrame& frame);
  void InputHalf(TFrame& frame);
  void InputTwo(TFrame& frame);
  void InputThree(TFrame& frame);
  void InputThreeQuarters(TFrame& frame);
  void InputOneAndHalf(TFrame& frame);
  void OutputOne(TFrame& frame);
  void OutputHalf(TFrame& frame);
  void OutputTwo(TFrame& frame);
  void OutputThree(TFrame& frame);
  void OutputThreeQuarters(TFrame& frame);
  void OutputOneAndHalf(TFrame& frame);

  TRoutine input = &TWaveConversion::InputOne;
  TRoutine output = &TWaveConversion::OutputOne;
  float factor = 1.0f;
  int32_t phase = 0;
  IInputSource* source = nullptr;
  const int16_t* read = nullptr;
  const int16_t* readEnd = nullptr;
  int16_t* write = nullptr;
  TPeaks peaks;
};
