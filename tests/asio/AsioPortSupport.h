// What the driver port's tests start from: settings in memory, message boxes the
// test reads and answers, the timer service on a clock the test moves, the program's
// VMASIO.dll with the simulated drivers the test names, and an ensemble of the
// test's own (no plug-in: the port's output buffers are the test's to fill).
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "AsioTestSupport.h"
#include "audio/IAudioEnsemble.h"
#include "audio/asio/TASIO.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "foundation/TShared.h"
#include "foundation/TTimerDialog.h"

class TPortEnsemble : public IAudioEnsemble {
public:
  TPortEnsemble() { rateFactor.Set(1.0f, nullptr); }
  IVSTPlug* GetPlug() const override { return nullptr; }
  void ProcessPlayer(int32_t) override {}
  float GetSampleRate() const override { return sampleRate; }
  void SetSampleRate(float rate) override { sampleRate = rate; }
  TSharedReal& GetRateFactor() override { return rateFactor; }
  void TellClockSampleRate(float rate) override { clockRate = rate; }

  float sampleRate = 44100.0f;
  float clockRate = 0.0f;
  TSharedReal rateFactor{TStr("RateFactor")};
};

class TManualClock : public ITimerClock {
public:
  int64_t Read() override { return ticks; }
  int64_t Frequency() override { return 1000; }
  int64_t ticks = 1000;
};

class TManualWindowTimer : public IWindowTimer {
public:
  bool StartTimer(uint32_t, uint32_t, IWindowTimerTarget&) override { return true; }
  void StopTimer(uint32_t) override {}
};

struct TPortRelease {
  void operator()(TASIO* port) const { port->Release(); }
};
using TPortPtr = std::unique_ptr<TASIO, TPortRelease>;

class AsioPortFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The drivers listed (THUDRA_SIMULATED_ASIO) and the one selected.
  void UseDrivers(const char* list, int32_t selected = 0);
  TPortPtr MakePort();
  // A port made and started on driver index selected of list.
  TPortPtr StartedPort(const char* list, int32_t selected = 0);
  // Moves the timer service's clock on by milliseconds and delivers one tick.
  void Tick(int32_t milliseconds = 50);
  // Runs switches on the driver's thread until count of them ran.
  void Switch(int32_t count = 1) { ASSERT_EQ(Sim().step(count, 5000), count); }
  const TAsioSimulatorControl& Sim() const { return library->Simulator(); }
  static void Store(const std::string& name, int32_t value) { IRegistry::SetDword(TStr(name), uint32_t(value)); }
  static int32_t Stored(const std::string& name, int32_t otherwise = -12345) {
    return int32_t(IRegistry::GetDword(TStr(name), uint32_t(otherwise)));
  }
  std::vector<std::string> Shown() const;
  // The driver buffer of record index in the half the last switch filled.
  void* LastHalf(int32_t record) const;

  TScriptedPresenter messages;
  TMemoryRegistry registry;
  TPortEnsemble ensemble;
  TManualClock clock;
  TManualWindowTimer windowTimer;
  std::unique_ptr<TAsioTestLibrary> library;

private:
  IRegistryBackend* previousBackend = nullptr;
};
