// The library's exported entries: AsioOrdinals (the ten operations) and
// AsioSimulator (the simulated drivers' controls). One driver is loaded at a time.
#include <atomic>
#include <cstring>
#include <mutex>

#include "AsioSimulatorControl.h"
#include "TAsioDriverList.h"
#include "TAsioSimulator.h"

namespace {
std::mutex mutex;  // the main-thread operations, one at a time
std::unique_ptr<TAsioDriverBase> driver;
// The loaded driver for operations 7 and 8 on the driver's own threads; those run
// inside its gates, which are shut before the driver goes.
std::atomic<TAsioDriverBase*> loaded{nullptr};

void Count(int32_t ordinal) { TAsioSimulator::Get().CountCall(ordinal); }

void Unload() {
  loaded.store(nullptr);
  driver.reset();
}

int32_t ListDrivers(TAsioDriverNames* names, int32_t* count) {
  Count(1);
  if (!names || !count) return 0;
  const std::vector<std::string> list = AsioDriverList::Names();
  std::memset(names, 0, sizeof(TAsioDriverNames));
  for (size_t i = 0; i < list.size(); ++i)
    std::memcpy((*names)[i], list[i].data(), std::min<size_t>(list[i].size(), Asio::driverNameBytes - 1));
  *count = static_cast<int32_t>(list.size());
  return 1;
}

int32_t InitDriver(const char* name, TAsioHandle handle, TAsioDriverInfo* info) {
  Count(2);
  if (OnLibraryThread() || !name || !info || info->recordSize != static_cast<int32_t>(sizeof(TAsioDriverInfo)))
    return Asio::initFailed;
  std::lock_guard<std::mutex> guard(mutex);
  Unload();
  std::unique_ptr<TAsioDriverBase> made = AsioDriverList::Make(name);
  if (!made) return Asio::initFailed;
  const int32_t answer = made->Init(handle, *info);
  if (answer <= 0) return answer;
  driver = std::move(made);
  loaded.store(driver.get());
  return answer;
}

int32_t ExitDriver() {
  Count(3);
  if (OnLibraryThread()) return Asio::invalidMode;
  std::lock_guard<std::mutex> guard(mutex);
  Unload();
  return Asio::ok;
}

int32_t CreateBuffers(TAsioBufferInfo* records, int32_t count, int32_t frames, const TAsioCallbacks* callbacks,
                      TAsioDriverInfo* info) {
  Count(4);
  if (OnLibraryThread()) return Asio::invalidMode;
  if (!callbacks || !info) return Asio::invalidParameter;
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->CreateBuffers(records, count, frames, *callbacks, *info) : Asio::notPresent;
}

int32_t DisposeBuffers() {
  Count(5);
  if (OnLibraryThread()) return Asio::invalidMode;
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->DisposeBuffers() : Asio::notPresent;
}

int32_t Start() {
  Count(6);
  if (OnLibraryThread()) return Asio::invalidMode;
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->Start() : Asio::notPresent;
}

int32_t Stop() {
  Count(7);
  if (OnLibraryThread()) {
    TAsioDriverBase* current = loaded.load();
    return current ? current->Stop() : Asio::notPresent;
  }
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->Stop() : Asio::notPresent;
}

int32_t OutputReady() {
  Count(8);
  TAsioDriverBase* current = loaded.load();
  return current ? current->OutputReady() : Asio::notPresent;
}

int32_t SelectClock(TAsioDriverInfo* info, int32_t index) {
  Count(9);
  if (OnLibraryThread() || !info) return Asio::noClock;
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->SelectClock(*info, index) : Asio::noClock;
}

int32_t ControlPanel(intptr_t value) {
  Count(10);
  if (OnLibraryThread()) return Asio::invalidMode;
  std::lock_guard<std::mutex> guard(mutex);
  return driver ? driver->ControlPanel(value) : Asio::notPresent;
}

const TAsioOrdinals ordinals{Asio::ordinalCount, &ListDrivers,   &InitDriver, &ExitDriver,
                             &CreateBuffers,     &DisposeBuffers, &Start,      &Stop,
                             &OutputReady,       &SelectClock,    &ControlPanel};
}  // namespace

extern "C" __attribute__((visibility("default"))) const TAsioOrdinals* AsioOrdinals() { return &ordinals; }

extern "C" __attribute__((visibility("default"))) const TAsioSimulatorControl* AsioSimulator() {
  return TAsioSimulator::Control();
}
