#include "TWaveConversion.h"

#include <algorithm>

namespace {
constexpr float inputScale = 1.0f / 32768.0f;
constexpr float outputScale = 32768.0f;
// The scratch rows that hold each routine's history (row 0 is the frame itself, or
// the output gain).
constexpr int historyA = 1;
constexpr int historyB = 2;
constexpr int historyC = 3;

float Gain(const TWaveConversion::TFrame& frame) { return frame.scratch[0][0]; }
float Left(const TWaveConversion::TFrame& frame) { return *frame.channel[0]; }
float Right(const TWaveConversion::TFrame& frame) { return *frame.channel[1]; }
}  // namespace

bool TWaveConversion::Select(float wanted) {
  struct TPair {
    float factor;
    TRoutine input;
    TRoutine output;
  };
  static const TPair pairs[] = {
      {1.0f, &TWaveConversion::InputOne, &TWaveConversion::OutputOne},
      {0.5f, &TWaveConversion::InputHalf, &TWaveConversion::OutputHalf},
      {2.0f, &TWaveConversion::InputTwo, &TWaveConversion::OutputTwo},
      {3.0f, &TWaveConversion::InputThree, &TWaveConversion::OutputThree},
      {0.75f, &TWaveConversion::InputThreeQuarters, &TWaveConversion::OutputThreeQuarters},
      {1.5f, &TWaveConversion::InputOneAndHalf, &TWaveConversion::OutputOneAndHalf},
  };
  for (const TPair& pair : pairs) {
    if (pair.factor != wanted) continue;
    input = pair.input;
    output = pair.output;
    factor = pair.factor;
    phase = 0;
    return true;
  }
  return false;
}

void TWaveConversion::SetInput(IInputSource* from) {
  source = from;
  read = readEnd = nullptr;
}

TWaveConversion::TPeaks TWaveConversion::TakePeaks() {
  const TPeaks taken = peaks;
  peaks = TPeaks();
  return taken;
}

inline void TWaveConversion::ReadDevice(float& left, float& right) {
  if (read == readEnd && !(source && source->NextBuffer(read, readEnd) && read != readEnd)) {
    read = readEnd = nullptr;
    left = right = 0.0f;
    return;
  }
  left = static_cast<float>(read[0]) * inputScale;
  right = static_cast<float>(read[1]) * inputScale;
  read += 2;
}

// The converted input frame, into the first scratch row.
inline void TWaveConversion::Yield(TFrame& frame, float left, float right) {
  frame.scratch[0][0] = left;
  frame.scratch[0][1] = right;
  peaks.inMinLeft = std::min(peaks.inMinLeft, left);
  peaks.inMaxLeft = std::max(peaks.inMaxLeft, left);
  peaks.inMinRight = std::min(peaks.inMinRight, right);
  peaks.inMaxRight = std::max(peaks.inMaxRight, right);
}

// One device frame of values already in 16-bit units: clipped, truncated to zero.
inline void TWaveConversion::Put(float left, float right) {
  left = std::clamp(left, -32768.0f, 32767.0f);
  right = std::clamp(right, -32768.0f, 32767.0f);
  peaks.outMinLeft = std::min(peaks.outMinLeft, left);
  peaks.outMaxLeft = std::max(peaks.outMaxLeft, left);
  peaks.outMinRight = std::min(peaks.outMinRight, right);
  peaks.outMaxRight = std::max(peaks.outMaxRight, right);
  write[0] = static_cast<int16_t>(left);
  write[1] = static_cast<int16_t>(right);
  write += 2;
}

// ---- Whole blocks at factor 1.0 --------------------------------------------------------

void TWaveConversion::ReadBlock(float* left, float* right, int32_t frames) {
  TPeaks p = peaks;
  for (int32_t i = 0; i < frames;) {
    if (read == readEnd && !(source && source->NextBuffer(read, readEnd) && read != readEnd)) {
      read = readEnd = nullptr;
      for (; i < frames; ++i) {
        left[i] = right[i] = 0.0f;
        p.inMinLeft = std::min(p.inMinLeft, 0.0f);
        p.inMaxLeft = std::max(p.inMaxLeft, 0.0f);
        p.inMinRight = std::min(p.inMinRight, 0.0f);
        p.inMaxRight = std::max(p.inMaxRight, 0.0f);
      }
      break;
    }
    const int32_t run = std::min<int32_t>(frames - i, static_cast<int32_t>((readEnd - read) / 2));
    for (int32_t k = 0; k < run; ++k, ++i, read += 2) {
      const float l = static_cast<float>(read[0]) * inputScale;
      const float r = static_cast<float>(read[1]) * inputScale;
      left[i] = l;
      right[i] = r;
      p.inMinLeft = std::min(p.inMinLeft, l);
      p.inMaxLeft = std::max(p.inMaxLeft, l);
      p.inMinRight = std::min(p.inMinRight, r);
      p.inMaxRight = std::max(p.inMaxRight, r);
    }
  }
  peaks = p;
}

void TWaveConversion::WriteBlock(const float* left, const float* right, float gain, int32_t frames) {
  const float scale = outputScale * gain;
  TPeaks p = peaks;
  int16_t* out = write;
  for (int32_t i = 0; i < frames; ++i) {
    const float l = std::clamp(left[i] * scale, -32768.0f, 32767.0f);
    const float r = std::clamp(right[i] * scale, -32768.0f, 32767.0f);
    p.outMinLeft = std::min(p.outMinLeft, l);
    p.outMaxLeft = std::max(p.outMaxLeft, l);
    p.outMinRight = std::min(p.outMinRight, r);
    p.outMaxRight = std::max(p.outMaxRight, r);
    out[2 * i] = static_cast<int16_t>(l);
    out[2 * i + 1] = static_cast<int16_t>(r);
  }
  write = out + 2 * frames;
  peaks = p;
}

// ---- Input: device frames to processing frames --------------------------------------

void TWaveConversion::InputOne(TFrame& frame) {
  float left, right;
  ReadDevice(left, right);
  Yield(frame, left, right);
}

// Two device frames give one: 0.25 b + 0.5 a + 0.25 (b of the call before).
void TWaveConversion::InputHalf(TFrame& frame) {
  float* previous = frame.scratch[historyA];
  float aLeft, aRight, bLeft, bRight;
  ReadDevice(aLeft, aRight);
  ReadDevice(bLeft, bRight);
  Yield(frame, 0.25f * bLeft + 0.5f * aLeft + 0.25f * previous[0], 0.25f * bRight + 0.5f * aRight + 0.25f * previous[1]);
  previous[0] = bLeft;
  previous[1] = bRight;
}

// One device frame gives two: the mean with the frame before, then the frame.
void TWaveConversion::InputTwo(TFrame& frame) {
  float* a = frame.scratch[historyA];
  if (phase == 0) {
    float left, right;
    ReadDevice(left, right);
    Yield(frame, (left + a[0]) * 0.5f, (right + a[1]) * 0.5f);
    a[0] = left;
    a[1] = right;
  } else {
    Yield(frame, a[0], a[1]);
  }
  Advance(2);
}

// One device frame gives three, stepping from the frame before to it.
void TWaveConversion::InputThree(TFrame& frame) {
  float* previous = frame.scratch[historyA];
  float* a = frame.scratch[historyB];
  if (phase == 0) {
    ReadDevice(a[0], a[1]);
    Yield(frame, 0.333f * a[0] + 0.667f * previous[0], 0.333f * a[1] + 0.667f * previous[1]);
  } else if (phase == 1) {
    Yield(frame, 0.667f * a[0] + 0.333f * previous[0], 0.667f * a[1] + 0.333f * previous[1]);
  } else {
    Yield(frame, a[0], a[1]);
    previous[0] = a[0];
    previous[1] = a[1];
  }
  Advance(3);
}

// Four device frames give three.
void TWaveConversion::InputThreeQuarters(TFrame& frame) {
  float* h = frame.scratch[historyA];
  float aLeft, aRight;
  ReadDevice(aLeft, aRight);
  if (phase == 0) {
    Yield(frame, (aLeft + h[0]) * 0.5f, (aRight + h[1]) * 0.5f);
    h[0] = aLeft;
    h[1] = aRight;
  } else if (phase == 1) {
    Yield(frame, 0.75f * aLeft + 0.25f * h[0], 0.75f * aRight + 0.25f * h[1]);
  } else {
    float bLeft, bRight;
    ReadDevice(bLeft, bRight);
    Yield(frame, 0.25f * bLeft + 0.75f * aLeft, 0.25f * bRight + 0.75f * aRight);
    h[0] = bLeft;
    h[1] = bRight;
  }
  Advance(3);
}

// Two device frames give three.
void TWaveConversion::InputOneAndHalf(TFrame& frame) {
  float* p = frame.scratch[historyA];
  float* q = frame.scratch[historyB];
  if (phase == 0) {
    float left, right;
    ReadDevice(left, right);
    Yield(frame, (left + q[0]) * 0.5f, (right + q[1]) * 0.5f);
    p[0] = left;
    p[1] = right;
  } else if (phase == 1) {
    float left, right;
    ReadDevice(left, right);
    Yield(frame, 0.25f * left + 0.75f * p[0], 0.25f * right + 0.75f * p[1]);
    q[0] = left;
    q[1] = right;
  } else {
    Yield(frame, 0.75f * q[0] + 0.25f * p[0], 0.75f * q[1] + 0.25f * p[1]);
  }
  Advance(3);
}

// ---- Output: processing frames to device frames -------------------------------------

void TWaveConversion::OutputOne(TFrame& frame) {
  const float scale = outputScale * Gain(frame);
  Put(Left(frame) * scale, Right(frame) * scale);
}

void TWaveConversion::OutputHalf(TFrame& frame) {
  const float scale = outputScale * Gain(frame);
  const float left = Left(frame) * scale, right = Right(frame) * scale;
  Put(left, right);
  Put(left, right);
}

// Two processing frames give one.
void TWaveConversion::OutputTwo(TFrame& frame) {
  float* x0 = frame.scratch[historyA];
  float* previousX1 = frame.scratch[historyC];
  if (phase == 0) {
    x0[0] = Left(frame);
    x0[1] = Right(frame);
  } else {
    const float scale = 0.5f * outputScale * Gain(frame);
    const float left = Left(frame), right = Right(frame);
    Put(((left + previousX1[0]) * 0.5f + x0[0]) * scale, ((right + previousX1[1]) * 0.5f + x0[1]) * scale);
    previousX1[0] = left;
    previousX1[1] = right;
  }
  Advance(2);
}

// Phases 0 and 1 of the routines that write on the third frame: the frame is kept.
bool TWaveConversion::KeepFirstTwo(TFrame& frame) {
  if (phase > 1) return false;
  float* kept = frame.scratch[phase == 0 ? historyA : historyB];
  kept[0] = Left(frame);
  kept[1] = Right(frame);
  return true;
}

// Three processing frames give one.
void TWaveConversion::OutputThree(TFrame& frame) {
  const float* x0 = frame.scratch[historyA];
  const float* x1 = frame.scratch[historyB];
  float* previousX2 = frame.scratch[historyC];
  if (!KeepFirstTwo(frame)) {
    const float scale = 0.3333f * outputScale * Gain(frame);
    const float left = Left(frame), right = Right(frame);
    Put(((left + previousX2[0]) * 0.5f + x1[0] + x0[0]) * scale,
        ((right + previousX2[1]) * 0.5f + x1[1] + x0[1]) * scale);
    previousX2[0] = left;
    previousX2[1] = right;
  }
  Advance(3);
}

// Three processing frames give four: the third is written twice.
void TWaveConversion::OutputThreeQuarters(TFrame& frame) {
  const float scale = outputScale * Gain(frame);
  const float left = Left(frame) * scale, right = Right(frame) * scale;
  Put(left, right);
  if (phase == 2) Put(left, right);
  Advance(3);
}

// Three processing frames give two.
void TWaveConversion::OutputOneAndHalf(TFrame& frame) {
  const float* x0 = frame.scratch[historyA];
  const float* x1 = frame.scratch[historyB];
  float* previousX2 = frame.scratch[historyC];
  if (!KeepFirstTwo(frame)) {
    const float gain = outputScale * Gain(frame);
    const float left = Left(frame), right = Right(frame);
    Put((previousX2[0] + x0[0]) * 0.5f * gain, (previousX2[1] + x0[1]) * 0.5f * gain);
    Put(((left + x0[0]) * 0.25f + x1[0]) * 0.6667f * gain, ((right + x0[1]) * 0.25f + x1[1]) * 0.6667f * gain);
    previousX2[0] = left;
    previousX2[1] = right;
  }
  Advance(3);
}
