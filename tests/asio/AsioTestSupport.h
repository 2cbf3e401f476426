// Helpers of the driver-access library's tests: VMASIO.dll loaded from the program
// folder as the program loads it, a log of the callbacks the drivers make, an open
// driver with its records, and a JACK client of the test's own that listens to what
// reaches the physical playback ports.
#pragma once
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "audio/asio/AsioLibrary.h"
#include "pc/asio/AsioSimulatorControl.h"

class TAsioTestLibrary {
public:
  TAsioTestLibrary();  // fails the test when the library or its entries are missing
  const TAsioOrdinals& Ops() const { return *ordinals; }
  const TAsioSimulatorControl& Simulator() const { return *simulator; }
  std::vector<std::string> Names() const;
  bool Loaded() const { return ordinals && simulator; }

private:
  const TAsioOrdinals* ordinals = nullptr;
  const TAsioSimulatorControl* simulator = nullptr;
};

// What the drivers called back, with the thread each call came from. One log for
// the process, since the callbacks have no context argument.
struct TCallbackLog {
  static constexpr int32_t maxHalves = 4096;
  std::atomic<int32_t> switches{0};
  std::array<std::atomic<int8_t>, maxHalves> halves{};
  std::atomic<int32_t> processNowZero{0};
  std::atomic<int32_t> switchesOnTestThread{0};
  std::atomic<int32_t> resets{0};
  std::atomic<int32_t> otherMessages{0};
  std::atomic<int32_t> messagesOnTestThread{0};
  std::atomic<int32_t> rateChanges{0};
  std::atomic<double> lastRate{0};
  // Run inside the buffer switch (the half's records are the test's), and inside a
  // reset request, on the driver's threads.
  std::function<void(int32_t half)> onSwitch;
  std::function<void()> onReset;

  static TCallbackLog& Get();
  static TAsioCallbacks Callbacks();
  void Clear();
  // Waits until at least count switches happened; false after the time-out.
  bool WaitForSwitches(int32_t count, int32_t milliseconds = 5000) const;
  bool WaitForResets(int32_t count, int32_t milliseconds = 5000) const;
};

// One driver opened through operation 2, closed (5, 3) when the object goes.
class TOpenDriver {
public:
  TOpenDriver(const TAsioTestLibrary& library, const std::string& name, TAsioHandle handle = 0);
  ~TOpenDriver();
  TOpenDriver(const TOpenDriver&) = delete;
  TOpenDriver& operator=(const TOpenDriver&) = delete;

  int32_t InitResult() const { return initResult; }
  TAsioDriverInfo& Info() { return info; }
  const TAsioChannelInfo& Output(int32_t channel) const { return channels[size_t(info.inputCount + channel)]; }
  const TAsioChannelInfo& Input(int32_t channel) const { return channels[size_t(channel)]; }
  // Operation 4 with one output record per channel given (and input records).
  int32_t Create(const std::vector<int32_t>& outputChannels, int32_t frames, const std::vector<int32_t>& inputChannels = {});
  std::vector<TAsioBufferInfo>& Records() { return records; }

private:
  const TAsioTestLibrary& library;
  int32_t initResult;
  std::array<TAsioChannelInfo, Asio::maxChannels> channels{};
  TAsioDriverInfo info{};
  std::vector<TAsioBufferInfo> records;
};

// A JACK client of the test's own with input ports "in_1".. that it connects to
// whatever feeds the server's physical playback ports; in each cycle it keeps the
// first sample of each input and the cycle's number (start frame / period).
class TPlaybackListener {
public:
  explicit TPlaybackListener(int32_t inputs);
  ~TPlaybackListener();
  TPlaybackListener(const TPlaybackListener&) = delete;
  TPlaybackListener& operator=(const TPlaybackListener&) = delete;
  bool Open() const { return client != nullptr; }
  jack_client_t* Client() const { return client; }
  // Connects own input n to every port connected to system:playback_(n+1).
  bool ListenToPlayback();
  // The number of the current cycle, for any thread inside a cycle.
  uint32_t CycleNumber() const;
  // Cycles seen, and those whose first sample of input 0 equalled their number.
  std::atomic<int32_t> cycles{0};
  std::atomic<int32_t> matchingCycles{0};
  std::atomic<int32_t> silentCycles{0};
  // Cycles in which some input carried sound, and the number of the last one.
  std::atomic<int32_t> loudCycles{0};
  std::atomic<uint32_t> lastLoudCycle{0};
  std::atomic<float> first[8] = {};

private:
  static int Process(jack_nframes_t frames, void* self);
  jack_client_t* client = nullptr;
  std::vector<jack_port_t*> ports;
};

// Connections of a JACK port by full name, as seen by client.
std::vector<std::string> ConnectionsOf(jack_client_t* client, const std::string& port);
