// The driver "JACK": a client of the running JACK server (never one started for it).
// Its outputs are the server's physical playback ports, its inputs the physical
// capture ports, its preferred size the server's period, its one clock "Internal" at
// the server's rate, its samples 32-bit float. Each process cycle of the server is
// one buffer half: the program fills it inside the cycle and the driver copies it to
// the client's ports in the same cycle.
//
// The server's own news become the program's: a period it did not ask for is a reset
// request, a new rate the rate-change callback, the server's end a reset request
// whose new initialisation then finds no server.
#pragma once
#include <jack/jack.h>

#include <atomic>

#include "TAsioDriverBase.h"

class TJackAsioDriver : public TAsioDriverBase {
public:
  static constexpr const char* driverName = "JACK";
  static constexpr const char* defaultClientName = "Thudra";
  static constexpr int32_t largestPeriod = 8192;
  static constexpr int32_t smallestPeriod = 16;

  TJackAsioDriver() = default;
  ~TJackAsioDriver() override;

  int32_t Init(TAsioHandle handle, TAsioDriverInfo& info) override;
  int32_t ControlPanel(intptr_t value) override;

protected:
  int32_t PrepareDevice(const TAsioBufferInfo* records, int32_t count, int32_t frames) override;
  void ReleaseDevice() override;
  int32_t StartDevice() override;
  void StopDevice() override;
  int32_t ClockRate(int32_t index) override;

private:
  static int Process(jack_nframes_t frames, void* self);
  static int PeriodChanged(jack_nframes_t frames, void* self);
  static int RateChanged(jack_nframes_t rate, void* self);
  static void ServerEnded(jack_status_t, const char*, void* self);
  bool AskPeriod(int32_t frames);
  void UnregisterPorts();

  jack_client_t* client = nullptr;
  std::vector<std::string> playback;  // physical port names, by output channel
  std::vector<std::string> capture;   // by input channel
  jack_port_t* ports[Asio::maxChannels] = {};  // by buffer record
  int32_t portCount = 0;
  bool active = false;
  std::atomic<bool> failed{false};
  std::atomic<uint32_t> period{0};
  std::atomic<uint32_t> rate{0};
  // The period of the buffers in use (0: none): the server's change to it is ours.
  std::atomic<uint32_t> bufferPeriod{0};
};
