// The process-wide settings store over one key of the current user's settings.
// Opened once at start-up, then read and written by value name.
#pragma once
#include <cstdint>

#include "Geometry.h"
#include "IRegistryBackend.h"
#include "TStr.h"

class IRegistry {
public:
  IRegistry() = delete;

  // The longest string data a getter reads, terminating zero included.
  static constexpr int32_t stringBufferBytes = 1025;

  // Creates or opens "Software\Velmora\" + productKey; on failure the store has no
  // key: getters answer their defaults, setters do nothing.
  static void Open(const TStr& productKey);

  static uint32_t GetDword(const TStr& name, uint32_t defaultValue);
  static TStr GetString(const TStr& name, const TStr& defaultValue);
  // name + "X", name + "Y".
  static TPnt GetPoint(const TStr& name, const TPnt& defaultValue);
  // name + "X0", "Y0" (left, top), "X1", "Y1" (right, bottom).
  static TArea GetArea(const TStr& name, const TArea& defaultValue);
  // A real kept as short text (TStr::FormatReal with width 4).
  static double GetRealText(const TStr& name, double defaultValue);

  static void SetDword(const TStr& name, uint32_t value);
  static void SetString(const TStr& name, const TStr& value);
  static void SetPoint(const TStr& name, const TPnt& value);
  static void SetArea(const TStr& name, const TArea& value);
  static void SetRealText(const TStr& name, double value);
  static void DeleteValue(const TStr& name);
};
