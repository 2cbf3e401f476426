// The state behind the simulated drivers' controls (AsioSimulatorControl.h): the
// pace, the preferred sizes set by tests, the counts of calls and switches, and the
// simulated driver whose buffers exist. It outlives the drivers.
#pragma once
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "AsioSimulatorControl.h"

class TSimulatedAsioDriver;

class TAsioSimulator {
public:
  static TAsioSimulator& Get();
  static const TAsioSimulatorControl* Control();

  void CountCall(int32_t ordinal);
  int32_t Interval() const { return interval.load(std::memory_order_relaxed); }
  int32_t PreferredSize(const std::string& driver, int32_t fallback);
  void SetPreferredSize(const std::string& driver, int32_t frames);
  // The driver with buffers (null: none); the controls act on it.
  void SetCurrent(TSimulatedAsioDriver* driver);
  void NoteSwitch(int32_t half);
  void NoteClock(int32_t index) { clock.store(index); }
  void NotePanel(intptr_t value) { panel.store(value); }
  void ResetSwitches();

private:
  template <class TAction>
  auto WithCurrent(TAction action, decltype(action(nullptr)) none);

  static void SetInterval(int32_t microseconds);
  static int32_t Step(int32_t count, int32_t timeoutMs);
  static int32_t Switches();
  static int32_t LastHalf();
  static void RequestReset();
  static void ChangeRate(double rate);
  static void SetPreferred(const char* driver, int32_t frames);
  static int32_t Calls(int32_t ordinal);
  static int32_t Buffers(TAsioBufferInfo* records, int32_t capacity, int32_t* frames);
  static int32_t LastClock();
  static intptr_t LastPanelValue();
  static void Clear();
  static int32_t SwitchHere(int32_t count);

  std::atomic<int32_t> interval{AsioSimulation::naturalPace};
  std::array<std::atomic<int32_t>, Asio::ordinalCount + 1> callCounts{};
  std::atomic<int32_t> switchCount{0};
  std::atomic<int32_t> lastHalf{-1};
  std::atomic<int32_t> clock{-1};
  std::atomic<intptr_t> panel{0};
  std::mutex mutex;  // guards current and preferred
  TSimulatedAsioDriver* current = nullptr;
  std::map<std::string, int32_t> preferred;
};
