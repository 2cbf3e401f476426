#include "TASIO.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "AsioSampleFormats.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "foundation/TShared.h"
#include "foundation/TTimerDialog.h"
#include "plughost/IVSTPlug.h"

namespace Msg {
TParamStr asioInitFailedBefore("The initialisation of ASIO failt the last time.\n\nDo you want to try it again?");
TParamStr noAsioDriver("No ASIO Driver found.");
TParamStr asioHardwareNotPresent("Hardware not present or available.");
TParamStr asioDriverInUse("ASIO Driver is in use by another application.");
TParamStr asioInitError("Couldn't initialize ASIO.");
TParamStr asioStartError("Couldn't start ASIO.");
TParamStr asioBufferError("Couldn't create audio buffer.");
TParamStr asioTryPreferred("Couldn't create audio buffer.\n   Try preferred Buffersize?");
TParamStr asioClockNotSupported("Clockrate not supported");
TParamStr asioClockNotSet("Couldn't set clockrate");
}  // namespace Msg

namespace {
constexpr const char* initGuardValue = "ASIOInit";
constexpr const char* driverIndexValue = "ASIO DriverIndex";
constexpr const char* extClockRateValue = "ASIO ExtClockRate";
constexpr int kindOk = 0;
constexpr int kindYesNo = 2;
constexpr int32_t tickMilliseconds = 50;

std::atomic<TASIO*> currentAsio{nullptr};
int preparation = -1;              // the first preparation's result; -1 none yet
bool extClockRateRead = false;     // "ASIO ExtClockRate" is taken once per run
TASIOPanels installedPanels;

const char* const droppedNames[] = {"ASIO Multimedia Driver", "ASIO DirectX Driver", "ASIO DirectX Full Duplex Driver"};

// The driver table: the library's names without the left-out ones. listed: the
// library answered the list.
std::vector<TStr> ListDrivers(const TAsioOrdinals& ops, bool& listed) {
  TAsioDriverNames names{};
  int32_t count = 0;
  listed = ops.listDrivers(&names, &count) == 1;
  std::vector<TStr> table;
  if (!listed) return table;
  for (int32_t i = 0; i < std::min(count, Asio::maxDrivers); ++i) {
    const std::string_view name(names[i], strnlen(names[i], Asio::driverNameBytes));
    if (!name.empty() && !TASIO::IsDroppedName(std::string(name).c_str())) table.emplace_back(name);
  }
  return table;
}

int32_t Stored(const TStr& name, int32_t defaultValue) {
  return static_cast<int32_t>(IRegistry::GetDword(name, static_cast<uint32_t>(defaultValue)));
}
void Store(const TStr& name, int32_t value) { IRegistry::SetDword(name, static_cast<uint32_t>(value)); }

void ShowPanelText(void*, const char* text, const char* caption) {
  ShowMessage(TParamStr(text ? text : ""), TParamStr(caption ? caption : ""), kindOk);
}
}  // namespace

// ---- Preparation ---------------------------------------------------------------

bool TASIO::IsDroppedName(const char* name) {
  for (const char* dropped : droppedNames)
    if (std::strcmp(name, dropped) == 0) return true;
  return false;
}

bool TASIO::Prepare() {
  if (preparation >= 0) return preparation != 0;
  const uint32_t guard = IRegistry::GetDword(initGuardValue, 0);
  if (guard == 2 || (guard == 1 && ShowError(Msg::asioInitFailedBefore, kindYesNo) != ButtonYes)) {
    preparation = 0;
    return false;
  }
  IRegistry::SetDword(initGuardValue, 1);
  size_t usable = 0;
  TASIOLibrary probe;
  if (probe.Load()) {
    bool listed = false;
    usable = ListDrivers(probe.Ops(), listed).size();
  }
  IRegistry::SetDword(initGuardValue, 0);
  preparation = usable > 0 ? 1 : 0;
  return preparation != 0;
}

void TASIO::ForgetPreparation() {
  preparation = -1;
  extClockRateRead = false;
}

void TASIO::SetPanels(const TASIOPanels& panels) { installedPanels = panels; }

// ---- Construction and driver initialisation ---------------------------------------

TASIO::TASIO(IAudioEnsemble* owner) : TAudioInOut(owner) {
  if (ensemble) ensemble->SetSampleRate(startSampleRate);
  SelectConversion();
  callbacks = {&BufferSwitch, &SampleRateChanged, &Message, nullptr};
  currentAsio.store(this, std::memory_order_release);
  Initialise();
  AddTimer(tickMilliseconds, &TimerTick, this);
}

TASIO::~TASIO() {
  RunDestructorBody([this] {
    RemoveTimer(&TimerTick, this);
    CloseDevice();
    if (driverLoaded) library.Ops().exitDriver();
    driverLoaded = false;
    SaveSettings();
    TASIO* self = this;
    currentAsio.compare_exchange_strong(self, nullptr);
  });
}

void TASIO::Initialise() {
  noDriver = true;
  showNoDriver = true;
  resetPending.store(false);
  runState.store(-1);
  pendingClock = -1;
  for (int32_t slot = 0; slot < routeSlots; ++slot) {
    routing.inputRoute[slot] = routing.outputRoute[slot] = -1;
    routing.inputActive[slot] = routing.outputActive[slot] = 0;
  }
  bool listed = false;
  if (library.Load()) drivers = ListDrivers(library.Ops(), listed);
  noDriver = !listed || drivers.empty();
  driverIndex = Stored(driverIndexValue, 0);
  if (driverIndex < 0 || driverIndex >= GetDriverCount()) driverIndex = 0;
  channelInfo.reset(new (std::nothrow) TAsioChannelInfo[Asio::maxChannels]());
  if (!channelInfo) {
    ShowOutOfMemory(EOutOfMemory::Object);
    noDriver = true;
  }
  if (!noDriver) InitialiseDriver();
}

TStr TASIO::DriverValue(const char* suffix) const { return drivers[size_t(driverIndex)] + suffix; }

void TASIO::InitialiseDriver() {
  disabled = false;
  initError = false;
  showStartFailure = true;
  info = TAsioDriverInfo{};
  info.recordSize = sizeof info;
  info.channels = channelInfo.get();
  const int32_t answer = library.Ops().initDriver(drivers[size_t(driverIndex)].Text(), 0, &info);
  driverLoaded = answer > 0;
  if (answer <= 0) {
    info.inputCount = info.outputCount = 0;
    disabled = true;
    initError = true;
    errorCode = answer;
    return;
  }
  outputReady = answer == Asio::outputReadySupported;
  const int32_t preferred = info.preferredBufferSize;
  bufferSize = Stored(DriverValue(" BufferSize"), preferred);
  if (bufferSize < smallestStoredSize) bufferSize = GetPreferredBufferSize();
  Store(DriverValue(" BufferSize"), bufferSize);
  if (Stored(DriverValue(" Preferred BufferSize"), preferred) != preferred) bufferSize = preferred;
  currentClock = info.clockIndex;
  pendingClock = Stored(DriverValue(" ClockIndex"), info.clockIndex);
  if (pendingClock == -1) pendingClock = info.clockIndex;
  Store(DriverValue(" ClockIndex"), pendingClock);
  for (int32_t slot = 0; slot < usedSlots; ++slot) {
    int32_t route = -1;
    if (slot < info.outputCount) {
      char name[32];
      std::snprintf(name, sizeof name, " OutputChannel %d", slot);
      route = Stored(DriverValue(name), slot);
      if (route >= info.outputCount) route = -1;  // a channel the driver does not have
    }
    routing.outputRoute[slot] = route;
    routing.outputActive[slot] = route >= 0 ? 1 : 0;
  }
}

void TASIO::SaveSettings() {
  Store(driverIndexValue, driverIndex);
  if (drivers.empty() || disabled) return;
  if (bufferSize != 0) Store(DriverValue(" BufferSize"), bufferSize);
  Store(DriverValue(" Preferred BufferSize"), info.preferredBufferSize);
  Store(DriverValue(" ClockIndex"), currentClock);
  if (!KnowsRate(currentClock)) Store(extClockRateValue, extClockRate);
  for (int32_t slot = 0; slot < std::min(info.outputCount, usedSlots); ++slot) {
    char name[32];
    std::snprintf(name, sizeof name, " OutputChannel %d", slot);
    Store(DriverValue(name), routing.outputRoute[slot]);
  }
}

// ---- Opening and closing ------------------------------------------------------------

void TASIO::OpenDevice() {
  if (noDriver) {
    if (showNoDriver) {
      showNoDriver = false;
      ShowError(Msg::noAsioDriver, kindOk);
    }
    return;
  }
  if (initError) {
    initError = false;
    ShowError(errorCode == Asio::hardwareNotPresent ? Msg::asioHardwareNotPresent
              : errorCode == Asio::inUse            ? Msg::asioDriverInUse
                                                    : Msg::asioInitError,
              kindOk);
  }
  if (disabled) return;
  if (!buffersCreated) {
    const int32_t created = CreateDriverBuffers();
    if (created == Asio::ok) {
      ClearHalf(1);
      buffersCreated = true;
      const auto frames = static_cast<int32_t>(outputConverters[0].Factor() * bufferSize);
      processFrames.store(frames < bufferFrames ? frames : -1);
      AdoptBlockSize(frames);
      AdoptDriverRate();
      bufferError = false;
      SaveSettings();
    } else if (created != noRecordCode) {
      bufferError = true;
      errorCode = created;
    }
  }
  if (buffersCreated && !deviceRunning) {
    if (pendingClock >= 0) {
      const int32_t clock = pendingClock;
      pendingClock = -1;
      if (clock != currentClock) ApplyClock(clock);
    }
    if (buffersCreated && !deviceRunning) {
      ClearHalf(0);
      ClearHalf(1);
      if (library.Ops().start() == Asio::ok) {
        runState.store(2, std::memory_order_seq_cst);
        deviceRunning = true;
      } else {
        if (showStartFailure) {
          showStartFailure = false;
          ShowError(Msg::asioStartError, kindOk);
        }
        library.Ops().disposeBuffers();
        buffersCreated = false;
        processFrames.store(-1);
        Stop();
      }
    }
  }
  openFailed = !buffersCreated;
  if (bufferError) ReportBufferError();
}

void TASIO::StartDevice() {
  if (buffersCreated || !openFailed) OpenDevice();
}

void TASIO::ReportBufferError() {
  bufferError = false;
  if (errorCode == Asio::notPresent)
    ShowError(Msg::asioHardwareNotPresent, kindOk);
  else if (bufferSize == GetPreferredBufferSize())
    ShowError(Msg::asioBufferError, kindOk);
  else if (ShowError(Msg::asioTryPreferred, kindYesNo) == ButtonYes)
    ApplyBufferSize(GetPreferredBufferSize());
}

void TASIO::BuildBufferRecords() {
  records.clear();
  recordSlots.clear();
  std::vector<bool> used(size_t(std::max(info.outputCount, 0)), false);
  for (int32_t slot = 0; slot < usedSlots; ++slot) {
    const int32_t route = routing.outputRoute[slot];
    if (!routing.outputActive[slot] || route < 0 || route >= info.outputCount || used[size_t(route)]) continue;
    records.push_back({0, route, {nullptr, nullptr}});
    recordSlots.push_back(slot);
    used[size_t(route)] = true;
  }
  // Drivers make buffers in pairs: an odd count gets the highest channel not in use.
  if (records.size() % 2 == 1)
    for (int32_t channel = info.outputCount - 1; channel >= 0; --channel)
      if (!used[size_t(channel)]) {
        records.push_back({0, channel, {nullptr, nullptr}});
        recordSlots.push_back(-1);
        break;
      }
}

int32_t TASIO::CreateDriverBuffers() {
  BuildBufferRecords();
  if (records.empty()) return noRecordCode;
  formats.clear();
  for (const TAsioBufferInfo& record : records) {
    const int32_t number = info.inputCount + record.channel;  // counted after the inputs
    TRecordFormat format;
    format.sampleType = number < Asio::maxChannels ? channelInfo[size_t(number)].sampleType : Asio::float32LSB;
    format.halfBytes = bufferSize * Asio::SampleBytes(format.sampleType);
    format.rightPeak = number % 2 == 1;
    formats.push_back(format);
  }
  workArea.assign(size_t(std::max(bufferSize, 0)) + 8, 0.0f);
  return library.Ops().createBuffers(records.data(), static_cast<int32_t>(records.size()), bufferSize, &callbacks,
                                     &info);
}

void TASIO::ClearHalf(int32_t half) {
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i].buffers[half] && formats[i].halfBytes > 0)
      std::memset(records[i].buffers[half], 0, size_t(formats[i].halfBytes));
}

// Until no buffer switch is inside the processing block (a stuck driver thread is
// given two seconds).
void TASIO::WaitForSwitch() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (inSwitch.load(std::memory_order_seq_cst) != 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::yield();
}

void TASIO::CloseDevice() {
  if (disabled) return;
  if (deviceRunning) {
    runState.store(-1, std::memory_order_seq_cst);
    WaitForSwitch();
    library.Ops().stop();
    deviceRunning = false;
  }
  if (buffersCreated) {
    library.Ops().disposeBuffers();
    buffersCreated = false;
    processFrames.store(-1);
  }
}

void TASIO::StopDevice() {
  if (disabled || !deviceRunning) return;
  runState.store(-1, std::memory_order_seq_cst);
  WaitForSwitch();
  library.Ops().stop();
  deviceRunning = false;
}

void TASIO::ClearBuffers() {
  int32_t state = runState.load(std::memory_order_seq_cst);
  // A stopped port stays stopped.
  while (state >= 0 && !runState.compare_exchange_weak(state, 2, std::memory_order_seq_cst)) {
  }
}

void TASIO::ApplyBlockSize(int32_t frames) {
  ApplyBufferSize(static_cast<int32_t>(frames / outputConverters[0].Factor()));
}

void TASIO::ApplyBufferSize(int32_t frames) {
  if (frames == bufferSize || disabled) return;
  bufferError = false;
  CloseDevice();
  bufferSize = std::min(frames, info.maxBufferSize);
  OpenDevice();
}

// The processing block follows the driver's buffer size: the plug-in learns it while
// suspended.
void TASIO::AdoptBlockSize(int32_t frames) {
  if (frames <= 0 || frames >= bufferFrames || frames == GetBlockSize()) return;
  IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr;
  const bool resumed = IsRunning();
  if (plug && resumed) plug->Suspend();
  blockSize.store(frames, std::memory_order_relaxed);
  deviceBlockFrames.store(frames, std::memory_order_relaxed);
  if (plug) plug->SetBlockSize(frames);
  if (plug && resumed) plug->Resume();
}

double TASIO::RateFactor() const { return ensemble ? ensemble->GetRateFactor().Get() : 1.0; }

void TASIO::SelectConversion() {
  for (TAsioRateConverter& converter : outputConverters) converter.SetFactor(RateFactor());
  if (!buffersCreated) return;
  const auto frames = static_cast<int32_t>(outputConverters[0].Factor() * bufferSize);
  processFrames.store(frames < bufferFrames ? frames : -1);
  AdoptBlockSize(frames);
}

// ---- Driver, clock, routing ------------------------------------------------------------

TStr TASIO::GetDriverName(int32_t index) {
  return index >= 0 && index < GetDriverCount() ? drivers[size_t(index)] : TStr();
}

void TASIO::SelectDriver(int32_t index) {
  if (reinitialising || index == driverIndex || index < 0 || index >= GetDriverCount()) return;
  CloseDevice();
  if (driverLoaded) library.Ops().exitDriver();
  driverLoaded = false;
  reinitialising = true;
  driverIndex = index;
  InitialiseDriver();
  if (info.clockCount > 0) pendingClock = std::min(pendingClock, info.clockCount - 1);
  OpenDevice();
  reinitialising = false;
}

bool TASIO::KnowsRate(int32_t clock) const {
  return clock < 0 || clock >= info.clockCount || clock >= Asio::maxClocks || info.clockKnowsRate[clock] != 0;
}

void TASIO::SetClock(int32_t index) {
  if (index == currentClock || reinitialising) return;
  ApplyClock(index);
}

void TASIO::ApplyClock(int32_t index) {
  if (disabled) return;
  const int32_t previous = currentClock;
  currentClock = index;
  int32_t rate = std::max(library.Ops().selectClock(&info, index), 0);
  if (rate == 0) {
    if (!extClockRateRead) {
      extClockRateRead = true;
      extClockRate = Stored(extClockRateValue, 0);
      Store(extClockRateValue, extClockRate);
      rate = extClockRate;
    }
    if (rate == 0) {
      library.Ops().selectClock(&info, previous);
      currentClock = previous;
      if (!KnowsRate(index) && index != 0) {
        float asked = 0.0f;
        if (installedPanels.askClockRate && installedPanels.askClockRate(*this, asked) && asked > 100.0f) {
          // The user told the external clock's rate: that clock it is.
          rate = static_cast<int32_t>(asked);
          extClockRate = rate;
          Store(extClockRateValue, rate);
          library.Ops().selectClock(&info, index);
          currentClock = index;
        }
      } else {
        ShowError(Msg::asioClockNotSupported, kindOk);
      }
    }
  }
  if (rate > 100) ApplyRate(rate);
  if (currentClock != index) ShowError(Msg::asioClockNotSet, kindOk);
}

// The plug-in processes at the driver's rate (a JACK server at 48000 Hz): a stopped
// port only takes the rate, which Start tells the plug-in; a running one goes through
// the rate change.
void TASIO::AdoptDriverRate() {
  if (!ensemble || info.sampleRate <= 100 || ensemble->GetSampleRate() == static_cast<float>(info.sampleRate)) return;
  if (IsRunning())
    ApplyRate(info.sampleRate);
  else
    ensemble->SetSampleRate(static_cast<float>(info.sampleRate));
}

void TASIO::ApplyRate(int32_t rate) {
  info.sampleRate = rate;
  if (ensemble) ensemble->SetSampleRate(static_cast<float>(rate));
  OnRateChange(nullptr);
}

void TASIO::SetRouting(const TRouting& record) {
  if (reinitialising) return;
  CloseDevice();
  routing = record;
  OpenDevice();
}

void TASIO::OpenControlPanel() {
  if (!driverLoaded) return;
  const TAsioPanelHost host{nullptr, &ShowPanelText};
  library.Ops().controlPanel(reinterpret_cast<intptr_t>(&host));
}

void TASIO::ShowSettings(IFrameWnd* parent) {
  if (installedPanels.showProperties) installedPanels.showProperties(*this, parent);
}

void TASIO::ShowRouting(IFrameWnd* parent) {
  if (installedPanels.showRouting) installedPanels.showRouting(*this, parent);
}

void TASIO::Mark(int32_t* table, int32_t channel, int32_t value) {
  if (channel >= 1 && channel <= usedSlots) table[channel - 1] = value;
}

// ---- The reset and the rate, on the user-interface thread --------------------------------

int32_t TASIO::TimerTick(void* context) {
  static_cast<TASIO*>(context)->OnTimerTick();
  return 1;
}

void TASIO::OnTimerTick() {
  if (const int32_t rate = pendingRate.exchange(0)) ApplyRate(rate);
  if (resetPending.load() && (resetTicks.fetch_add(1) + 1) * tickMilliseconds >= resetDelayMilliseconds) {
    resetPending.store(false);
    ResetDriver();
  }
}

void TASIO::ResetDriver() {
  const TShortSuspend reopening(*this);  // MIDI arriving meanwhile is kept
  CloseDevice();
  if (driverLoaded) library.Ops().exitDriver();
  driverLoaded = false;
  SaveSettings();
  if (!drivers.empty()) Store(DriverValue(" BufferSize"), 0);  // the driver's preferred size is taken
  pendingClock = -1;
  if (!noDriver) InitialiseDriver();
  OpenDevice();
  if (propertiesPanel) propertiesPanel->Refresh();
  if (routingPanel) routingPanel->Refresh();
}

// ---- The driver's callbacks ----------------------------------------------------------------

void TASIO::BufferSwitch(int32_t half, int32_t) {
  if (TASIO* port = currentAsio.load(std::memory_order_acquire)) port->OnSwitch(half);
}

void TASIO::SampleRateChanged(double rate) {
  TASIO* port = currentAsio.load(std::memory_order_acquire);
  if (port && rate > 0) port->pendingRate.store(static_cast<int32_t>(rate));
}

int32_t TASIO::Message(int32_t selector, int32_t value, void*, double*) {
  switch (selector) {
    case Asio::selectorSupported:
      return value == 2 || value == 3 || value == 5 || value == 6 || value == 7 || value == 8 || value == 10 ? 1 : 0;
    case Asio::engineVersion:
      return 2;
    case Asio::resetRequest:
      if (TASIO* port = currentAsio.load(std::memory_order_acquire)) {
        port->library.Ops().stop();
        port->resetTicks.store(0);
        port->resetPending.store(true);
      }
      return 1;
    case Asio::latenciesChanged:
      return 1;
    default:
      return 0;
  }
}

void TASIO::OnSwitch(int32_t half) {
  currentHalf.store(half, std::memory_order_relaxed);
  inSwitch.store(1, std::memory_order_seq_cst);
  int32_t state = runState.load(std::memory_order_seq_cst);
  const bool process = state == 0 && IsRunning() && GetBlockSize() == processFrames.load(std::memory_order_relaxed);
  if (process) {
    Process();
  } else {
    ClearHalf(half);
    if (state > 0) runState.compare_exchange_strong(state, state - 1, std::memory_order_seq_cst);
  }
  inSwitch.store(0, std::memory_order_seq_cst);
  if (outputReady) library.Ops().outputReady();
}

void TASIO::ReadDeviceBlock(int32_t frames) {
  for (float* input : inputs) std::fill(input, input + frames, 0.0f);
}

void TASIO::WriteDeviceBlock(int32_t frames) { ConvertOutputs(currentHalf.load(std::memory_order_relaxed), frames); }

void TASIO::ConvertOutputs(int32_t half, int32_t frames) {
  const float gain = 1.0f;
  const bool converting = outputConverters[0].Factor() != 1.0;
  float low[2] = {outputPeakMinLeft.load(std::memory_order_relaxed), outputPeakMinRight.load(std::memory_order_relaxed)};
  float high[2] = {outputPeakMaxLeft.load(std::memory_order_relaxed), outputPeakMaxRight.load(std::memory_order_relaxed)};
  for (size_t i = 0; i < records.size(); ++i) {
    const int32_t slot = recordSlots[i];
    const TRecordFormat& format = formats[i];
    void* target = records[i].buffers[half];
    if (slot < 0 || format.halfBytes == 0) {
      if (format.halfBytes > 0) std::memset(target, 0, size_t(format.halfBytes));
      continue;
    }
    const float* source = outputs[slot];
    int32_t written = frames;
    if (converting) {
      written = outputConverters[slot].ToDevice(source, frames, workArea.data());
      source = workArea.data();
    }
    written = std::min(written, bufferSize);
    const int side = format.rightPeak ? 1 : 0;
    AsioSamples::Write(format.sampleType, target, 0, source, written, gain, low[side], high[side]);
    if (written < bufferSize) {
      const int32_t bytes = Asio::SampleBytes(format.sampleType);
      std::memset(static_cast<uint8_t*>(target) + size_t(written) * size_t(bytes), 0,
                  size_t(bufferSize - written) * size_t(bytes));
    }
  }
  outputPeakMinLeft.store(low[0], std::memory_order_relaxed);
  outputPeakMinRight.store(low[1], std::memory_order_relaxed);
  outputPeakMaxLeft.store(high[0], std::memory_order_relaxed);
  outputPeakMaxRight.store(high[1], std::memory_order_relaxed);
}
