// The controls of the library's simulated drivers, for tests. VMASIO.dll exports
// AsioSimulator, which answers this table. The simulated drivers are listed only when
// THUDRA_SIMULATED_ASIO names them (see TAsioDriverList.h).
//
// Threads: any test thread; step waits for the driver's thread.
#pragma once
#include <cstdint>

#include "audio/asio/AsioLibrary.h"

namespace AsioSimulation {
constexpr const char* entryName = "AsioSimulator";
// The driver thread's pace between buffer switches (setInterval).
constexpr int32_t naturalPace = -1;  // buffer size / sample rate, the default
constexpr int32_t held = 0;          // switches only through step
}  // namespace AsioSimulation

struct TAsioSimulatorControl {
  // Microseconds between buffer switches, or AsioSimulation::naturalPace or held.
  // Applies to the current driver and the next ones.
  void (*setInterval)(int32_t microseconds);
  // Runs count cycles on the current driver's thread (a stopped driver switches no
  // buffers); answers how many ran within timeoutMs.
  int32_t (*step)(int32_t count, int32_t timeoutMs);
  // Buffer switches of the current buffers, and the half of the last one (-1: none).
  int32_t (*switches)();
  int32_t (*lastHalf)();
  // As a driver would: a reset request, a new sample rate (the rate callback).
  void (*requestReset)();
  void (*changeRate)(double rate);
  // What operation 2 reports as the preferred buffer size of that driver from now on.
  void (*setPreferredSize)(const char* driver, int32_t frames);
  // Calls of an operation (1 to 10) since the last clear.
  int32_t (*calls)(int32_t ordinal);
  // The current buffer records (with their halves) into records; answers their
  // count and the buffer size in *frames.
  int32_t (*buffers)(TAsioBufferInfo* records, int32_t capacity, int32_t* frames);
  // The clock index of the last operation 9, the value of the last operation 10.
  int32_t (*lastClock)();
  intptr_t (*lastPanelValue)();
  // Back to the start: natural pace, no preferred sizes set, counts 0.
  void (*clear)();
  // Runs count cycles on the caller's thread instead of the driver's (for measuring
  // the program's cost per switch); answers how many switched.
  int32_t (*switchHere)(int32_t count);
};

using TAsioSimulatorEntry = const TAsioSimulatorControl* (*)();
