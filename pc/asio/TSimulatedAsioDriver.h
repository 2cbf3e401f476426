// Simulated drivers for tests: each profile answers the library's operations as a
// particular sound card would (failures of initialisation, buffers or start, each
// sample type, known and unknown clock rates, a driver that asks for a reset, the
// names the program leaves out). A thread of the driver's own calls the buffer
// switches at a pace the tests set through AsioSimulatorControl.h.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TAsioDriverBase.h"

struct TSimulatedProfile {
  const char* name;
  int32_t initResult = Asio::outputReadySupported;
  int32_t createResult = Asio::ok;
  int32_t startResult = Asio::ok;
  int32_t sampleType = Asio::float32LSB;  // mixedTypes: every type, one per output
  bool resetsFromPanel = false;            // operation 10 changes the size and asks for a reset
  bool dropped = false;                    // one of the names the program leaves out
  int32_t outputCount = 0;                 // 0: SimulatedAsio::outputs
};

namespace SimulatedAsio {
constexpr int32_t mixedTypes = -1;
constexpr int32_t outputs = 8;
constexpr int32_t inputs = 2;
constexpr int32_t preferredSize = 256;
constexpr int32_t minSize = 32;
constexpr int32_t maxSize = 2048;
constexpr int32_t rate = 44100;
// Clocks: 0 "Internal" at rate, 1 "Word Clock" at 48000, 2 "External" (its rate is
// not known: 0), 3 "S/PDIF" (known, but no signal: Asio::noClock).
constexpr int32_t wordClockRate = 48000;
// The codes of the mixed-types driver, one per output channel.
constexpr int32_t allTypes[] = {Asio::int16LSB,   Asio::int24LSB,   Asio::int32LSB,   Asio::float32LSB,
                                Asio::float64LSB, Asio::int32LSB16, Asio::int32LSB18, Asio::int32LSB20,
                                Asio::int32LSB24, Asio::int16MSB,   Asio::int24MSB,   Asio::int32MSB,
                                Asio::float32MSB, Asio::float64MSB, Asio::int32MSB16, Asio::int32MSB18,
                                Asio::int32MSB20, Asio::int32MSB24};
}  // namespace SimulatedAsio

const std::vector<TSimulatedProfile>& SimulatedProfiles();
const TSimulatedProfile* FindSimulatedProfile(const std::string& name);

class TSimulatedAsioDriver : public TAsioDriverBase {
public:
  explicit TSimulatedAsioDriver(const TSimulatedProfile& profile);
  ~TSimulatedAsioDriver() override;

  int32_t Init(TAsioHandle handle, TAsioDriverInfo& info) override;
  int32_t ControlPanel(intptr_t value) override;

  // The controls (any thread).
  int32_t Step(int32_t count, int32_t timeoutMs);
  int32_t SwitchHere(int32_t count);
  void WakeUp();
  void RequestReset() { notifier.PostReset(); }
  void ChangeRate(double rate);
  int32_t Buffers(TAsioBufferInfo* records, int32_t capacity, int32_t* frames);

protected:
  int32_t PrepareDevice(const TAsioBufferInfo* records, int32_t count, int32_t frames) override;
  void ReleaseDevice() override;
  int32_t StartDevice() override;
  void StopDevice() override {}
  int32_t ClockRate(int32_t index) override;

private:
  void Run();
  bool Cycle();

  const TSimulatedProfile& profile;
  std::mutex mutex;
  std::condition_variable changed;
  int32_t stepsWanted = 0;
  int32_t stepsDone = 0;
  bool quit = false;
  int32_t frames = 0;
  std::thread thread;
};
