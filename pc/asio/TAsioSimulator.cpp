#include "TAsioSimulator.h"

#include "TSimulatedAsioDriver.h"

TAsioSimulator& TAsioSimulator::Get() {
  static TAsioSimulator simulator;
  return simulator;
}

const TAsioSimulatorControl* TAsioSimulator::Control() {
  static const TAsioSimulatorControl control{&SetInterval, &Step,      &Switches,  &LastHalf,
                                             &RequestReset, &ChangeRate, &SetPreferred, &Calls,
                                             &Buffers,     &LastClock, &LastPanelValue, &Clear, &SwitchHere};
  return &control;
}

void TAsioSimulator::CountCall(int32_t ordinal) {
  if (ordinal >= 1 && ordinal <= Asio::ordinalCount) callCounts[size_t(ordinal)].fetch_add(1);
}

int32_t TAsioSimulator::PreferredSize(const std::string& driver, int32_t fallback) {
  std::lock_guard<std::mutex> guard(mutex);
  const auto found = preferred.find(driver);
  return found == preferred.end() ? fallback : found->second;
}

void TAsioSimulator::SetPreferredSize(const std::string& driver, int32_t frames) {
  std::lock_guard<std::mutex> guard(mutex);
  preferred[driver] = frames;
}

void TAsioSimulator::SetCurrent(TSimulatedAsioDriver* driver) {
  std::lock_guard<std::mutex> guard(mutex);
  current = driver;
}

void TAsioSimulator::NoteSwitch(int32_t half) {
  lastHalf.store(half);
  switchCount.fetch_add(1);
}

void TAsioSimulator::ResetSwitches() {
  switchCount.store(0);
  lastHalf.store(-1);
}

template <class TAction>
auto TAsioSimulator::WithCurrent(TAction action, decltype(action(nullptr)) none) {
  std::lock_guard<std::mutex> guard(mutex);
  return current ? action(current) : none;
}

void TAsioSimulator::SetInterval(int32_t microseconds) {
  Get().interval.store(microseconds);
  Get().WithCurrent(
      [](TSimulatedAsioDriver* driver) {
        driver->WakeUp();
        return 0;
      },
      0);
}

int32_t TAsioSimulator::Step(int32_t count, int32_t timeoutMs) {
  return Get().WithCurrent([&](TSimulatedAsioDriver* driver) { return driver->Step(count, timeoutMs); }, 0);
}

int32_t TAsioSimulator::Switches() { return Get().switchCount.load(); }
int32_t TAsioSimulator::LastHalf() { return Get().lastHalf.load(); }

void TAsioSimulator::RequestReset() {
  Get().WithCurrent(
      [](TSimulatedAsioDriver* driver) {
        driver->RequestReset();
        return 0;
      },
      0);
}

void TAsioSimulator::ChangeRate(double rate) {
  Get().WithCurrent(
      [&](TSimulatedAsioDriver* driver) {
        driver->ChangeRate(rate);
        return 0;
      },
      0);
}

void TAsioSimulator::SetPreferred(const char* driver, int32_t frames) {
  if (driver) Get().SetPreferredSize(driver, frames);
}

int32_t TAsioSimulator::Calls(int32_t ordinal) {
  return ordinal >= 1 && ordinal <= Asio::ordinalCount ? Get().callCounts[size_t(ordinal)].load() : 0;
}

int32_t TAsioSimulator::Buffers(TAsioBufferInfo* records, int32_t capacity, int32_t* frames) {
  return Get().WithCurrent([&](TSimulatedAsioDriver* driver) { return driver->Buffers(records, capacity, frames); },
                           0);
}

int32_t TAsioSimulator::LastClock() { return Get().clock.load(); }
intptr_t TAsioSimulator::LastPanelValue() { return Get().panel.load(); }

void TAsioSimulator::Clear() {
  TAsioSimulator& simulator = Get();
  simulator.interval.store(AsioSimulation::naturalPace);
  for (auto& count : simulator.callCounts) count.store(0);
  simulator.ResetSwitches();
  simulator.clock.store(-1);
  simulator.panel.store(0);
  std::lock_guard<std::mutex> guard(simulator.mutex);
  simulator.preferred.clear();
}

int32_t TAsioSimulator::SwitchHere(int32_t count) {
  return Get().WithCurrent([&](TSimulatedAsioDriver* driver) { return driver->SwitchHere(count); }, 0);
}
