#include "TSimulatedAsioDriver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "TAsioSimulator.h"

namespace {
TSimulatedProfile Typed(const char* name, int32_t type, int32_t init = Asio::outputReadySupported) {
  TSimulatedProfile profile{name};
  profile.sampleType = type;
  profile.initResult = init;
  return profile;
}
TSimulatedProfile Failing(const char* name, int32_t init, int32_t create, int32_t start) {
  TSimulatedProfile profile{name};
  profile.initResult = init;
  profile.createResult = create;
  profile.startResult = start;
  return profile;
}
}  // namespace

const std::vector<TSimulatedProfile>& SimulatedProfiles() {
  static const std::vector<TSimulatedProfile> profiles = [] {
    std::vector<TSimulatedProfile> all = {
        Typed("Simulated Float32", Asio::float32LSB),
        Typed("Simulated Int16", Asio::int16LSB, Asio::outputReadyNotSupported),
        Typed("Simulated Int24", Asio::int24LSB),
        Typed("Simulated Int32", Asio::int32LSB),
        Typed("Simulated Float64", Asio::float64LSB),
        Typed("Simulated Int32 16-bit", Asio::int32LSB16),
        Typed("Simulated Int32 18-bit", Asio::int32LSB18),
        Typed("Simulated Int32 20-bit", Asio::int32LSB20),
        Typed("Simulated Int32 24-bit", Asio::int32LSB24),
        Typed("Simulated Mixed Types", SimulatedAsio::mixedTypes),
        Failing("Simulated In Use", Asio::inUse, Asio::ok, Asio::ok),
        Failing("Simulated Not Present", Asio::hardwareNotPresent, Asio::ok, Asio::ok),
        Failing("Simulated Init Failure", Asio::initFailed, Asio::ok, Asio::ok),
        Failing("Simulated Buffers Not Present", Asio::outputReadySupported, Asio::notPresent, Asio::ok),
        Failing("Simulated Buffer Failure", Asio::outputReadySupported, Asio::invalidMode, Asio::ok),
        Failing("Simulated Start Failure", Asio::outputReadySupported, Asio::ok, Asio::hardwareMalfunction),
    };
    TSimulatedProfile wide{"Simulated 16 Outputs"};
    wide.outputCount = 16;
    all.push_back(wide);
    TSimulatedProfile reset{"Simulated Reset"};
    reset.resetsFromPanel = true;
    all.push_back(reset);
    for (const char* name : {"ASIO Multimedia Driver", "ASIO DirectX Driver", "ASIO DirectX Full Duplex Driver"}) {
      TSimulatedProfile dropped{name};
      dropped.dropped = true;
      all.push_back(dropped);
    }
    return all;
  }();
  return profiles;
}

const TSimulatedProfile* FindSimulatedProfile(const std::string& name) {
  for (const TSimulatedProfile& profile : SimulatedProfiles())
    if (name == profile.name) return &profile;
  return nullptr;
}

TSimulatedAsioDriver::TSimulatedAsioDriver(const TSimulatedProfile& chosen) : profile(chosen) {}

TSimulatedAsioDriver::~TSimulatedAsioDriver() { DisposeBuffers(); }

int32_t TSimulatedAsioDriver::Init(TAsioHandle, TAsioDriverInfo& info) {
  if (profile.initResult <= 0) return profile.initResult;
  const bool mixed = profile.sampleType == SimulatedAsio::mixedTypes;
  const size_t outputCount =
      mixed ? std::size(SimulatedAsio::allTypes) : size_t(profile.outputCount ? profile.outputCount : SimulatedAsio::outputs);
  for (size_t n = 0; n < outputCount; ++n)
    outputs.push_back({"Sim Out " + std::to_string(n + 1), mixed ? SimulatedAsio::allTypes[n] : profile.sampleType});
  for (size_t n = 0; n < SimulatedAsio::inputs; ++n)
    inputs.push_back({"Sim In " + std::to_string(n + 1), mixed ? Asio::float32LSB : profile.sampleType});
  minBufferSize = SimulatedAsio::minSize;
  maxBufferSize = SimulatedAsio::maxSize;
  preferredBufferSize = TAsioSimulator::Get().PreferredSize(profile.name, SimulatedAsio::preferredSize);
  granularity = SimulatedAsio::minSize;
  sampleRate = SimulatedAsio::rate;
  inputLatency = outputLatency = preferredBufferSize;
  clocks = {{"Internal", 1}, {"Word Clock", 1}, {"External", 0}, {"S/PDIF", 1}};
  clockIndex = 0;
  FillInfo(info);
  return profile.initResult;
}

int32_t TSimulatedAsioDriver::ClockRate(int32_t index) {
  TAsioSimulator::Get().NoteClock(index);
  switch (index) {
    case 0: return SimulatedAsio::rate;
    case 1: return SimulatedAsio::wordClockRate;
    case 2: return 0;
    default: return Asio::noClock;
  }
}

int32_t TSimulatedAsioDriver::ControlPanel(intptr_t value) {
  TAsioSimulator::Get().NotePanel(value);
  const auto* host = reinterpret_cast<const TAsioPanelHost*>(value);
  if (host && host->show) host->show(host->context, (std::string("Simulated driver ") + profile.name).c_str(), profile.name);
  if (profile.resetsFromPanel) {
    TAsioSimulator& simulator = TAsioSimulator::Get();
    const int32_t size = simulator.PreferredSize(profile.name, SimulatedAsio::preferredSize);
    simulator.SetPreferredSize(profile.name, size == SimulatedAsio::preferredSize ? 2 * size : SimulatedAsio::preferredSize);
    notifier.PostReset();
  }
  return Asio::ok;
}

int32_t TSimulatedAsioDriver::PrepareDevice(const TAsioBufferInfo*, int32_t, int32_t bufferFrames) {
  if (profile.createResult != Asio::ok) return profile.createResult;
  frames = bufferFrames;
  {
    std::lock_guard<std::mutex> guard(mutex);
    quit = false;
    stepsWanted = stepsDone = 0;
  }
  TAsioSimulator::Get().ResetSwitches();
  thread = std::thread([this] { Run(); });
  TAsioSimulator::Get().SetCurrent(this);
  return Asio::ok;
}

void TSimulatedAsioDriver::ReleaseDevice() {
  TAsioSimulator::Get().SetCurrent(nullptr);
  {
    std::lock_guard<std::mutex> guard(mutex);
    quit = true;
  }
  changed.notify_all();
  if (thread.joinable()) thread.join();
}

int32_t TSimulatedAsioDriver::StartDevice() { return profile.startResult; }

void TSimulatedAsioDriver::ChangeRate(double rate) { notifier.PostRate(rate); }

void TSimulatedAsioDriver::WakeUp() {
  { std::lock_guard<std::mutex> guard(mutex); }  // the thread is waiting or sees the new pace
  changed.notify_all();
}

int32_t TSimulatedAsioDriver::Step(int32_t count, int32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex);
  const int32_t goal = stepsDone + count;
  stepsWanted += count;
  changed.notify_all();
  changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return stepsDone >= goal || quit; });
  return count - (goal - stepsDone);
}

int32_t TSimulatedAsioDriver::Buffers(TAsioBufferInfo* records, int32_t capacity, int32_t* bufferFrames) {
  if (!buffers) return 0;
  if (bufferFrames) *bufferFrames = buffers->Frames();
  const int32_t count = std::min(capacity, buffers->Count());
  for (int32_t i = 0; i < count; ++i) {
    const TAsioBufferSet::TRecord& record = buffers->Record(i);
    records[i] = TAsioBufferInfo{record.isInput, record.channel, {record.half[0], record.half[1]}};
  }
  return buffers->Count();
}

bool TSimulatedAsioDriver::Cycle() {
  TAsioGate::TPass pass(cycleGate);
  if (!pass || !BeginSwitch()) return false;
  const int32_t half = NextHalf();
  callbacks.bufferSwitch(half, 1);
  TAsioSimulator::Get().NoteSwitch(half);
  EndSwitch();
  return true;
}

int32_t TSimulatedAsioDriver::SwitchHere(int32_t count) {
  int32_t switched = 0;
  for (int32_t n = 0; n < count; ++n) switched += Cycle() ? 1 : 0;
  return switched;
}

// The driver's audio thread: a cycle when a test steps it, or at the pace set.
void TSimulatedAsioDriver::Run() {
  MarkLibraryThread();
  using namespace std::chrono;
  auto next = steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex);
  while (!quit) {
    if (stepsWanted > 0) {
      --stepsWanted;
      lock.unlock();
      Cycle();
      lock.lock();
      ++stepsDone;
      changed.notify_all();
      continue;
    }
    const int32_t interval = TAsioSimulator::Get().Interval();
    if (interval == AsioSimulation::held) {
      changed.wait(lock);
      next = steady_clock::now();
      continue;
    }
    const int64_t pace = interval > 0 ? interval : int64_t(frames) * 1000000 / SimulatedAsio::rate;
    const auto now = steady_clock::now();
    if (now < next) {
      changed.wait_until(lock, next);
      continue;
    }
    next = std::max(next + microseconds(pace), now);
    lock.unlock();
    Cycle();
    lock.lock();
  }
}
