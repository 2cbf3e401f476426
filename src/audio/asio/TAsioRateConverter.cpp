#include "TAsioRateConverter.h"

#include <algorithm>
#include <cstring>

bool TAsioRateConverter::IsSupported(double f) {
  return f == 0.5 || f == 0.75 || f == 1.0 || f == 1.5 || f == 2.0 || f == 3.0;
}

void TAsioRateConverter::SetFactor(double f) {
  if (IsSupported(f)) factor = f;
  ClearHistory();
}

void TAsioRateConverter::ClearHistory() { previous = held = kept = 0.0f; }

int32_t TAsioRateConverter::FromDevice(const float* in, int32_t frames, float* out) {
  constexpr float third = 1.0f / 3.0f;
  float* const start = out;
  if (factor == 1.0) {
    std::memcpy(out, in, size_t(std::max(frames, 0)) * sizeof(float));
    return std::max(frames, 0);
  }
  if (factor == 0.5) {
    for (int32_t i = 0; i + 1 < frames; i += 2) {
      *out++ = 0.25f * in[i + 1] + 0.5f * in[i] + 0.25f * previous;
      previous = in[i + 1];
    }
  } else if (factor == 2.0) {
    for (int32_t i = 0; i < frames; ++i) {
      *out++ = (in[i] + previous) * 0.5f;
      *out++ = in[i];
      previous = in[i];
    }
  } else if (factor == 3.0) {
    for (int32_t i = 0; i < frames; ++i) {
      *out++ = third * in[i] + 2 * third * previous;
      *out++ = 2 * third * in[i] + third * previous;
      *out++ = in[i];
      previous = in[i];
    }
  } else if (factor == 0.75) {
    for (int32_t i = 0; i + 3 < frames; i += 4) {
      *out++ = (in[i] + held) * 0.5f;
      held = in[i];
      *out++ = 0.75f * in[i + 1] + 0.25f * held;
      *out++ = 0.25f * in[i + 3] + 0.75f * in[i + 2];
      held = in[i + 3];
    }
  } else if (factor == 1.5) {
    for (int32_t i = 0; i + 1 < frames; i += 2) {
      *out++ = (in[i] + held) * 0.5f;
      kept = in[i];
      *out++ = 0.25f * in[i + 1] + 0.75f * kept;
      held = in[i + 1];
      *out++ = 0.75f * held + 0.25f * kept;
    }
  }
  return static_cast<int32_t>(out - start);
}

int32_t TAsioRateConverter::ToDevice(const float* in, int32_t frames, float* out) {
  float* const start = out;
  if (factor == 1.0) {
    std::memcpy(out, in, size_t(std::max(frames, 0)) * sizeof(float));
    return std::max(frames, 0);
  }
  if (factor == 0.5) {
    for (int32_t i = 0; i < frames; ++i) {
      *out++ = in[i];
      *out++ = in[i];
    }
  } else if (factor == 2.0) {
    for (int32_t i = 0; i + 1 < frames; i += 2) {
      *out++ = ((in[i + 1] + previous) * 0.5f + in[i]) * 0.5f;
      previous = in[i + 1];
    }
  } else if (factor == 3.0) {
    for (int32_t i = 0; i + 2 < frames; i += 3) {
      *out++ = ((in[i + 2] + previous) * 0.5f + in[i + 1] + in[i]) * (1.0f / 3.0f);
      previous = in[i + 2];
    }
  } else if (factor == 0.75) {
    for (int32_t i = 0; i + 2 < frames; i += 3) {
      *out++ = in[i];
      *out++ = in[i + 1];
      *out++ = in[i + 2];
      *out++ = in[i + 2];
    }
  } else if (factor == 1.5) {
    for (int32_t i = 0; i + 2 < frames; i += 3) {
      *out++ = (previous + in[i]) * 0.5f;
      *out++ = ((in[i + 2] + in[i]) * 0.25f + in[i + 1]) * (2.0f / 3.0f);
      previous = in[i + 2];
    }
  }
  return static_cast<int32_t>(out - start);
}
