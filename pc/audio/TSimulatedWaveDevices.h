// Simulated wave devices on a simulated clock, for tests: devices with and without
// the port's format, busy devices, devices that take one direction at a time (no full
// duplex), devices that fail to open or go away while open. An output plays its queued
// headers at 44100 frames a second of the clock's time and keeps what it played; an
// input records a signal that the test gives. In manual mode headers come back only
// when the test says so, so that a test sets the port's counters exactly.
//
// Threading: the test's thread advances the clock; notifications come on it. Queue
// takes a short lock (simulated devices are for tests only); the port's main thread
// and the test's may be different threads.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IWaveBackend.h"
#include "TSimulatedClock.h"

class TSimulatedWaveDevices : public IWaveBackend {
public:
  struct TOptions {
    bool output = true;
    bool input = true;
    bool takesPortFormat = true;
    bool inUse = false;
    // Opening one direction while the other is open fails as "in use".
    bool fullDuplex = true;
    bool failOpen = false;
    bool manual = false;
  };
  // A recording's left and right sample at frame n since the input started.
  using TSignal = std::function<void(uint64_t frame, int16_t& left, int16_t& right)>;

  explicit TSimulatedWaveDevices(TSimulatedClock& clock);
  ~TSimulatedWaveDevices() override;
  TSimulatedWaveDevices(const TSimulatedWaveDevices&) = delete;
  TSimulatedWaveDevices& operator=(const TSimulatedWaveDevices&) = delete;

  void Add(const std::string& name) { Add(name, TOptions()); }
  void Add(const std::string& name, const TOptions& options);
  // The device goes away: open directions give their headers back and report it lost.
  void Remove(const std::string& name);
  void SetInUse(const std::string& name, bool inUse);
  void SetSignal(const std::string& name, TSignal signal);

  bool IsOpen(const std::string& name, EWaveDirection direction);
  int32_t OpenCount(const std::string& name, EWaveDirection direction);
  bool IsPaused(const std::string& name);
  bool IsRecording(const std::string& name);
  // Headers queued and not yet back.
  size_t Queued(const std::string& name, EWaveDirection direction);
  // The byte sizes of the headers queued to the output, in order, since it opened.
  std::vector<uint32_t> QueuedSizes(const std::string& name);
  void ClearQueuedSizes(const std::string& name);
  // Every sample played (left, right interleaved) since the device was added.
  std::vector<int16_t> Played(const std::string& name);
  void ClearPlayed(const std::string& name);
  TWaveCounters Counters(const std::string& name, EWaveDirection direction);
  // Manual mode: the first count queued headers come back (played, or recorded full).
  size_t Complete(const std::string& name, EWaveDirection direction, size_t count);

  // IWaveBackend
  std::vector<TWaveDeviceInfo> List(EWaveDirection direction) override;
  std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, int occurrence,
                                    IWaveNotify& notify, EWaveOpenResult& result) override;

  struct TDevice;
  struct TState;

private:
  void Step(int64_t now);
  std::shared_ptr<TDevice> Find(const std::string& name);

  TSimulatedClock& clock;
  std::shared_ptr<TState> state;
};
