// The soundcard port on simulated devices: settings in memory, message boxes the test
// reads, the device layer with simulated devices only and its clock as the media
// timer, an ensemble of the test's own (no plug-in; the test fills the output buffers),
// and a DirectSound library of the test's own behind a library loader.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "audio/IAudioEnsemble.h"
#include "audio/multimedia/TMultiMedia.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "foundation/TShared.h"
#include "pc/audio/TWaveDeviceLayer.h"
#include "plughost/ILibraryLoader.h"

class TTestEnsemble : public IAudioEnsemble {
public:
  TTestEnsemble();
  IVSTPlug* GetPlug() const override { return nullptr; }
  void ProcessPlayer(int32_t) override { ++blocks; }
  float GetSampleRate() const override { return sampleRate; }
  void SetSampleRate(float rate) override { sampleRate = rate; }
  TSharedReal& GetRateFactor() override { return rateFactor; }
  void TellClockSampleRate(float) override {}

  TSharedReal rateFactor{TStr("RateFactor"), 0.1f, 10.0f};
  float sampleRate = 0;
  int blocks = 0;
};

// A DirectSound ring of the test's own: frames ahead of a play position that the
// test moves at 44100 frames a second of the simulated clock.
class TFakeDirectSound {
public:
  static TFakeDirectSound& Get();
  void Reset(int32_t ringFrames, std::vector<std::string> names);
  // Plays the frames due up to the clock's time (milliseconds).
  void Step(int64_t now);

  int32_t ringFrames = 0;
  std::vector<int16_t> ring;
  std::vector<std::string> names;
  int64_t written = 0;
  int64_t played = 0;
  bool open = false;
  bool started = false;
  int32_t locks = 0;
  int32_t wraps = 0;
  int64_t startedAt = -1;
  TDsRegions regions;
};

// Serves "orbds.dll" (the fake entries) unless told that it is missing or short of
// an entry; other libraries go to the loader installed before.
class TFakeLibraryLoader : public ILibraryLoader {
public:
  void* Load(const TStr& path) override;
  void* FindEntry(void* library, const char* name) override;
  void Unload(void*) override {}
  bool missing = false;
  std::string missingEntry;
};

class SoundcardFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  TSimulatedWaveDevices& Devices() { return layer->Simulated(); }
  TSimulatedClock& Clock() { return layer->Clock(); }
  static void Store(const char* name, const char* value) { IRegistry::SetString(name, value); }
  static void StoreNumber(const char* name, uint32_t value) { IRegistry::SetDword(name, value); }
  static std::string Stored(const char* name) { return std::string(std::string_view(IRegistry::GetString(name, TStr()))); }
  // Builds the port (and keeps it) with what is stored now.
  TMultiMedia& MakePort();
  void DestroyPort();
  // Advances the clock; after each millisecond the worker has counted what came back.
  void Advance(int64_t milliseconds) { Clock().Advance(milliseconds); }
  // Every message box since the last call.
  std::vector<std::string> Messages();
  // The output buffers' channels 0 and 1 hold value in every frame.
  void FillOutputs(float left, float right);

  TScriptedPresenter presenter;
  TMemoryRegistry registry;
  std::unique_ptr<TWaveDeviceLayer> layer;
  TTestEnsemble ensemble;
  TFakeLibraryLoader loader;
  std::unique_ptr<TMultiMedia> port;

private:
  IRegistryBackend* previousBackend = nullptr;
  IWaveDevices* previousDevices = nullptr;
  IMediaTimer* previousTimer = nullptr;
  ILibraryLoader* previousLoader = nullptr;
  size_t messagesSeen = 0;
};
