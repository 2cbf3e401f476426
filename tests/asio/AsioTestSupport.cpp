#include "AsioTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "pc/host/TDlLibraryLoader.h"

namespace {
std::thread::id testThread = std::this_thread::get_id();

template <class TCondition>
bool WaitUntil(TCondition condition, int32_t milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
}  // namespace

TAsioTestLibrary::TAsioTestLibrary() {
  TDlLibraryLoader loader;
  void* library = loader.Load(TStr(THUDRA_PROGRAM_DIR "/VMASIO.dll"));
  EXPECT_NE(library, nullptr) << std::string_view(TDlLibraryLoader::LastError());
  if (!library) return;
  // The library stays loaded for the process's life; another Load answers it again.
  auto entry = reinterpret_cast<TAsioEntry>(loader.FindEntry(library, Asio::entryName));
  auto control = reinterpret_cast<TAsioSimulatorEntry>(loader.FindEntry(library, AsioSimulation::entryName));
  EXPECT_NE(entry, nullptr);
  EXPECT_NE(control, nullptr);
  if (!entry || !control) return;
  ordinals = entry();
  simulator = control();
  simulator->clear();
}

std::vector<std::string> TAsioTestLibrary::Names() const {
  TAsioDriverNames names;
  int32_t count = -1;
  EXPECT_EQ(ordinals->listDrivers(&names, &count), 1);
  std::vector<std::string> list;
  for (int32_t i = 0; i < count; ++i) list.emplace_back(names[i], strnlen(names[i], Asio::driverNameBytes));
  return list;
}

TCallbackLog& TCallbackLog::Get() {
  static TCallbackLog log;
  return log;
}

TAsioCallbacks TCallbackLog::Callbacks() {
  TAsioCallbacks callbacks{};
  callbacks.bufferSwitch = [](int32_t half, int32_t processNow) {
    TCallbackLog& log = Get();
    if (std::this_thread::get_id() == testThread) ++log.switchesOnTestThread;
    if (!processNow) ++log.processNowZero;
    if (log.onSwitch) log.onSwitch(half);
    const int32_t n = log.switches.load();
    if (n < maxHalves) log.halves[size_t(n)].store(static_cast<int8_t>(half));
    log.switches.store(n + 1);
  };
  callbacks.sampleRateChanged = [](double rate) {
    Get().lastRate.store(rate);
    ++Get().rateChanges;
  };
  callbacks.message = [](int32_t selector, int32_t, void*, double*) -> int32_t {
    TCallbackLog& log = Get();
    if (std::this_thread::get_id() == testThread) ++log.messagesOnTestThread;
    if (selector != Asio::resetRequest) {
      ++log.otherMessages;
      return 0;
    }
    if (log.onReset) log.onReset();
    ++log.resets;
    return 1;
  };
  return callbacks;
}

void TCallbackLog::Clear() {
  switches = 0;
  for (auto& half : halves) half = -1;
  processNowZero = switchesOnTestThread = resets = otherMessages = messagesOnTestThread = rateChanges = 0;
  lastRate = 0;
  onSwitch = nullptr;
  onReset = nullptr;
}

bool TCallbackLog::WaitForSwitches(int32_t count, int32_t milliseconds) const {
  return WaitUntil([&] { return switches.load() >= count; }, milliseconds);
}

bool TCallbackLog::WaitForResets(int32_t count, int32_t milliseconds) const {
  return WaitUntil([&] { return resets.load() >= count; }, milliseconds);
}

TOpenDriver::TOpenDriver(const TAsioTestLibrary& opened, const std::string& name, TAsioHandle handle) : library(opened) {
  info.recordSize = sizeof info;
  info.channels = channels.data();
  initResult = library.Ops().initDriver(name.c_str(), handle, &info);
}

TOpenDriver::~TOpenDriver() {
  library.Ops().disposeBuffers();
  library.Ops().exitDriver();
}

int32_t TOpenDriver::Create(const std::vector<int32_t>& outputChannels, int32_t frames,
                            const std::vector<int32_t>& inputChannels) {
  records.clear();
  for (int32_t channel : inputChannels) records.push_back({1, channel, {nullptr, nullptr}});
  for (int32_t channel : outputChannels) records.push_back({0, channel, {nullptr, nullptr}});
  static const TAsioCallbacks callbacks = TCallbackLog::Callbacks();
  return library.Ops().createBuffers(records.data(), static_cast<int32_t>(records.size()), frames, &callbacks, &info);
}

TPlaybackListener::TPlaybackListener(int32_t inputs) {
  jack_status_t status{};
  client = jack_client_open("listener", JackNoStartServer, &status);
  if (!client) return;
  for (int32_t n = 0; n < inputs; ++n)
    ports.push_back(jack_port_register(client, ("in_" + std::to_string(n + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                       JackPortIsInput, 0));
  jack_set_process_callback(client, &Process, this);
  if (jack_activate(client) != 0) {
    jack_client_close(client);
    client = nullptr;
  }
}

TPlaybackListener::~TPlaybackListener() {
  if (client) jack_client_close(client);
}

bool TPlaybackListener::ListenToPlayback() {
  bool any = false;
  for (size_t n = 0; n < ports.size(); ++n)
    for (const std::string& source : ConnectionsOf(client, "system:playback_" + std::to_string(n + 1)))
    {
      const int connected = jack_connect(client, source.c_str(), jack_port_name(ports[n]));
      any |= connected == 0 || connected == EEXIST;
    }
  return any;
}

uint32_t TPlaybackListener::CycleNumber() const {
  return static_cast<uint32_t>(jack_last_frame_time(client) / jack_get_buffer_size(client));
}

int TPlaybackListener::Process(jack_nframes_t frames, void* self) {
  auto& listener = *static_cast<TPlaybackListener*>(self);
  const uint32_t cycle = listener.CycleNumber();
  bool silent = true;
  for (size_t n = 0; n < listener.ports.size() && n < 8; ++n) {
    const auto* samples = static_cast<const float*>(jack_port_get_buffer(listener.ports[n], frames));
    listener.first[n].store(samples[0]);
    for (jack_nframes_t i = 0; i < frames; ++i) silent &= samples[i] > -1e-5f && samples[i] < 1e-5f;
  }
  if (!listener.ports.empty() && listener.first[0].load() == static_cast<float>(cycle % (1u << 24)))
    ++listener.matchingCycles;
  if (silent) {
    ++listener.silentCycles;
  } else {
    ++listener.loudCycles;
    listener.lastLoudCycle.store(cycle);
  }
  ++listener.cycles;
  return 0;
}

std::vector<std::string> ConnectionsOf(jack_client_t* client, const std::string& port) {
  std::vector<std::string> names;
  jack_port_t* found = jack_port_by_name(client, port.c_str());
  if (!found) return names;
  const char** connected = jack_port_get_all_connections(client, found);
  if (!connected) return names;
  for (const char** name = connected; *name; ++name) names.emplace_back(*name);
  jack_free(connected);
  return names;
}
