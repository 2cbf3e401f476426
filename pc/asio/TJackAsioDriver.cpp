#include "TJackAsioDriver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {
void Silent(const char*) {}

// The JACK library reports a missing server on the error stream; the program does
// not. (The library stays loaded for the life of the process, so the functions stay.)
void SilenceJack() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&Silent);
    jack_set_info_function(&Silent);
  });
}

std::vector<std::string> PhysicalPorts(jack_client_t* client, unsigned long direction) {
  std::vector<std::string> names;
  const char** found = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | direction);
  if (!found) return names;
  for (const char** name = found; *name; ++name) names.emplace_back(*name);
  jack_free(found);
  return names;
}

int32_t PortLatency(jack_client_t* client, const std::string& name, jack_latency_callback_mode_t mode) {
  jack_port_t* port = jack_port_by_name(client, name.c_str());
  if (!port) return 0;
  jack_latency_range_t range{};
  jack_port_get_latency_range(port, mode, &range);
  return static_cast<int32_t>(range.max);
}
}  // namespace

TJackAsioDriver::~TJackAsioDriver() {
  DisposeBuffers();
  if (client) jack_client_close(client);  // JACK's threads end here: nothing calls in after it
}

int32_t TJackAsioDriver::Init(TAsioHandle handle, TAsioDriverInfo& info) {
  SilenceJack();
  const char* name = handle ? reinterpret_cast<const char*>(handle) : defaultClientName;
  jack_status_t status{};
  client = jack_client_open(name, JackNoStartServer, &status);
  // A server that is there but answered too late (a loaded machine) is asked once more.
  if (!client && (status & JackServerError)) client = jack_client_open(name, JackNoStartServer, &status);
  if (!client) return Asio::hardwareNotPresent;
  if (jack_set_process_callback(client, &Process, this) != 0 ||
      jack_set_buffer_size_callback(client, &PeriodChanged, this) != 0 ||
      jack_set_sample_rate_callback(client, &RateChanged, this) != 0)
    return Asio::initFailed;
  jack_on_info_shutdown(client, &ServerEnded, this);

  period.store(jack_get_buffer_size(client));
  rate.store(jack_get_sample_rate(client));
  playback = PhysicalPorts(client, JackPortIsInput);
  capture = PhysicalPorts(client, JackPortIsOutput);
  if (playback.size() > size_t(Asio::maxChannels)) playback.resize(Asio::maxChannels);
  if (capture.size() > Asio::maxChannels - playback.size()) capture.resize(Asio::maxChannels - playback.size());
  for (const std::string& port : playback) outputs.push_back({port, Asio::float32LSB});
  for (const std::string& port : capture) inputs.push_back({port, Asio::float32LSB});

  minBufferSize = smallestPeriod;
  maxBufferSize = largestPeriod;
  preferredBufferSize = std::min<int32_t>(static_cast<int32_t>(period.load()), largestPeriod);
  granularity = -1;
  sampleRate = static_cast<int32_t>(rate.load());
  outputLatency = playback.empty() ? 0 : PortLatency(client, playback.front(), JackPlaybackLatency);
  inputLatency = capture.empty() ? 0 : PortLatency(client, capture.front(), JackCaptureLatency);
  clocks = {{"Internal", 1}};
  clockIndex = 0;
  FillInfo(info);
  return Asio::outputReadyNotSupported;
}

bool TJackAsioDriver::AskPeriod(int32_t frames) {
  bufferPeriod.store(static_cast<uint32_t>(frames));
  if (jack_set_buffer_size(client, static_cast<jack_nframes_t>(frames)) != 0) return false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (jack_get_buffer_size(client) != static_cast<jack_nframes_t>(frames)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  period.store(static_cast<uint32_t>(frames));
  return true;
}

int32_t TJackAsioDriver::PrepareDevice(const TAsioBufferInfo* records, int32_t count, int32_t frames) {
  if (failed.load()) return Asio::notPresent;
  bufferPeriod.store(static_cast<uint32_t>(frames));
  if (jack_get_buffer_size(client) != static_cast<jack_nframes_t>(frames) && !AskPeriod(frames)) {
    bufferPeriod.store(0);
    return Asio::invalidMode;
  }
  for (portCount = 0; portCount < count; ++portCount) {
    const TAsioBufferInfo& record = records[portCount];
    char name[32];
    std::snprintf(name, sizeof name, "%s_%d", record.isInput ? "in" : "out", record.channel + 1);
    ports[portCount] = jack_port_register(client, name, JACK_DEFAULT_AUDIO_TYPE,
                                          record.isInput ? JackPortIsInput : JackPortIsOutput, 0);
    if (!ports[portCount]) {
      UnregisterPorts();
      bufferPeriod.store(0);
      return Asio::hardwareMalfunction;
    }
  }
  return Asio::ok;
}

void TJackAsioDriver::UnregisterPorts() {
  if (!failed.load())
    for (int32_t i = 0; i < portCount; ++i) jack_port_unregister(client, ports[i]);
  portCount = 0;
}

void TJackAsioDriver::ReleaseDevice() {
  UnregisterPorts();
  bufferPeriod.store(0);
}

int32_t TJackAsioDriver::StartDevice() {
  if (failed.load()) return Asio::notPresent;
  if (!active) {
    if (jack_activate(client) != 0) return Asio::hardwareMalfunction;
    active = true;
  }
  for (int32_t i = 0; i < portCount; ++i) {
    const TAsioBufferSet::TRecord& record = buffers->Record(i);
    const char* own = jack_port_name(ports[i]);
    if (record.isInput)
      jack_connect(client, capture[size_t(record.channel)].c_str(), own);
    else
      jack_connect(client, own, playback[size_t(record.channel)].c_str());
  }
  return Asio::ok;
}

void TJackAsioDriver::StopDevice() {
  if (!active) return;
  active = false;
  if (!failed.load()) jack_deactivate(client);
}

int32_t TJackAsioDriver::ClockRate(int32_t index) {
  return index == 0 ? static_cast<int32_t>(rate.load()) : Asio::noClock;
}

int32_t TJackAsioDriver::ControlPanel(intptr_t value) {
  const auto* host = reinterpret_cast<const TAsioPanelHost*>(value);
  if (!host || !host->show) return Asio::invalidParameter;
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  const uint32_t frames = period.load();
  const uint32_t hertz = rate.load();
  char text[256];
  std::snprintf(text, sizeof text, "JACK server: %s\nSample rate: %u Hz\nPeriod: %u frames (%.1f ms)",
                server && *server ? server : "default", hertz, frames, hertz ? 1000.0 * frames / hertz : 0.0);
  host->show(host->context, text, "JACK");
  return Asio::ok;
}

int TJackAsioDriver::Process(jack_nframes_t frames, void* self) {
  TLibraryCallback callback;
  auto& driver = *static_cast<TJackAsioDriver*>(self);
  TAsioGate::TPass pass(driver.cycleGate);
  if (!pass) return 0;
  const TAsioBufferSet& set = *driver.buffers;
  float* io[Asio::maxChannels];
  for (int32_t i = 0; i < set.Count(); ++i) io[i] = static_cast<float*>(jack_port_get_buffer(driver.ports[i], frames));
  if (static_cast<int32_t>(frames) == set.Frames() && driver.BeginSwitch()) {
    RunFloatCycle(set, driver.NextHalf(), io, driver.callbacks.bufferSwitch);
    driver.EndSwitch();
    return 0;
  }
  for (int32_t i = 0; i < set.Count(); ++i)
    if (!set.Record(i).isInput) std::memset(io[i], 0, frames * sizeof(float));
  return 0;
}

int TJackAsioDriver::PeriodChanged(jack_nframes_t frames, void* self) {
  TLibraryCallback callback;
  auto& driver = *static_cast<TJackAsioDriver*>(self);
  driver.period.store(frames);
  const uint32_t own = driver.bufferPeriod.load();
  if (own != 0 && frames != own) driver.notifier.PostReset();
  return 0;
}

int TJackAsioDriver::RateChanged(jack_nframes_t newRate, void* self) {
  TLibraryCallback callback;
  auto& driver = *static_cast<TJackAsioDriver*>(self);
  if (driver.rate.exchange(newRate) != newRate) driver.notifier.PostRate(static_cast<double>(newRate));
  return 0;
}

void TJackAsioDriver::ServerEnded(jack_status_t, const char*, void* self) {
  TLibraryCallback callback;
  auto& driver = *static_cast<TJackAsioDriver*>(self);
  driver.failed.store(true);
  driver.MarkStopped();
  driver.notifier.PostReset();
}
