// Points and rectangles of 32-bit signed coordinates.
#pragma once
#include <cstdint>

struct TPnt {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const TPnt&) const = default;
};

struct TArea {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const TArea&) const = default;
  bool IsEmpty() const { return right <= left || bottom <= top; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};
