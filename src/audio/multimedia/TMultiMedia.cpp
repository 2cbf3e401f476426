#include "TMultiMedia.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "foundation/TTimerDialog.h"
#include "plughost/IVSTPlug.h"
#include "audio/IAudioEnsemble.h"
#include "foundation/TShared.h"

namespace Msg {
TParamStr outportInUse("Audio outport is in use by another application.");
TParamStr inportInUse("Audio inport is in use by another application.");
TParamStr noFullDuplex("Soundcard doesn't support full duplex mode.");
}  // namespace Msg

namespace {
constexpr const char* inPortValue = "MmeInPort";
constexpr const char* outPortValue = "MmeOutPort";
constexpr const char* inDelayValue = "MmeInDelay";
constexpr const char* outDelayValue = "MmeOutDelay";
constexpr const char* inputFirstValue = "MmeInputFirst";
constexpr const char* mmePrefix = "MME: ";
constexpr const char* directSoundPrefix = "DirectSound: ";
constexpr const char* noneName = "None";
constexpr uint64_t countUnit = uint64_t(1) << 40;
constexpr int32_t pollMilliseconds = 10;
constexpr int32_t headerWaitMilliseconds = 2000;
constexpr int32_t workerWaitMilliseconds = 2000;
constexpr int32_t closeSleepMilliseconds = 500;
}  // namespace

// ---- The worker thread ----------------------------------------------------------------

class TMultiMedia::TWorker : public TThread {
public:
  explicit TWorker(TMultiMedia& port) : port(port) {}
  ~TWorker() override { Join(); }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

protected:
  int32_t Run() override {
    for (;;) {
      TWaveNotification notification;
      port.events.Wait(notification);
      const bool end = notification.event == EWaveEvent::Closed && notification.direction == EWaveDirection::Output &&
                       port.workerStop.load(std::memory_order_acquire);
      port.Count(notification);
      if (end) return 0;
    }
  }

private:
  TMultiMedia& port;
};

void TMultiMedia::Count(const TWaveNotification& notification) {
  if (notification.event == EWaveEvent::BlockDone) {
    if (notification.direction == EWaveDirection::Output)
      completed.fetch_add(1, std::memory_order_acq_rel);
    else
      inputCount.fetch_add(1, std::memory_order_acq_rel);
  } else if (notification.event == EWaveEvent::Lost) {
    deviceLost.store(true, std::memory_order_release);
  }
  counted.fetch_add(1, std::memory_order_release);
}

void TMultiMedia::WaitUntilCounted() {
  if (!worker || !worker->IsRunning()) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (counted.load(std::memory_order_acquire) < events.GetPushed() && std::chrono::steady_clock::now() < until)
    std::this_thread::yield();
}

bool TMultiMedia::EnsureWorker() {
  if (worker && worker->IsRunning()) return true;
  worker.reset();
  workerStop.store(false, std::memory_order_release);
  worker = std::make_unique<TWorker>(*this);
  if (!worker->CreateThread()) return false;
  // The worker publishes itself when it runs.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!worker->IsRunning() && worker->GetThreadId() == std::thread::id() &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::yield();
  return true;
}

// Asks the worker to end and waits for it a while; one that does not end in time is
// left to the destructor's last join.
void TMultiMedia::EndWorker() {
  if (!worker) return;
  workerStop.store(true, std::memory_order_release);
  events.Push({EWaveEvent::Closed, EWaveDirection::Output, nullptr});
  if (worker->Wait(workerWaitMilliseconds)) worker.reset();
}

// ---- Construction and destruction -------------------------------------------------------

TMultiMedia::TMultiMedia(IAudioEnsemble* owner) : TAudioInOut(owner) {
  TStr storedInput, storedOutput;
  ReadSettings(storedInput, storedOutput);
  directSound.Load();
  BuildLists();
  inputIndex = FindEntry(inputs, storedInput);
  outputIndex = FindEntry(outputs, storedOutput);
  SelectConversion();
  EnsureWorker();
  if (GetTimerService().GetWindowTimer()) {
    AddTimer(1000, &TMultiMedia::ReportTimer, this);
    reportTimer = true;
  }
}

TMultiMedia::~TMultiMedia() {
  RunDestructorBody([this] {
    if (reportTimer) RemoveTimer(&TMultiMedia::ReportTimer, this);
    StopDevices(true);
    EndWorker();
    worker.reset();
    IRegistry::SetString(inPortValue, GetInputName(inputIndex));
    IRegistry::SetString(outPortValue, GetOutputName(outputIndex));
    IRegistry::SetDword(inDelayValue, static_cast<uint32_t>(GetInputDelay()));
    IRegistry::SetDword(outDelayValue, static_cast<uint32_t>(GetOutputDelay()));
  });
}

// Delays are kept within what the rings hold: 0 to 280 blocks.
int32_t TMultiMedia::DelayBlocks(int64_t milliseconds) {
  return static_cast<int32_t>(std::clamp<int64_t>(milliseconds / tickMilliseconds, 0, maxDelayBlocks));
}

void TMultiMedia::ReadSettings(TStr& storedInput, TStr& storedOutput) {
  storedInput = IRegistry::GetString(inPortValue, TStr());
  storedOutput = IRegistry::GetString(outPortValue, TStr());
  // The stored integer is a signed value in an unsigned field.
  inputDelay = DelayBlocks(static_cast<int32_t>(IRegistry::GetDword(inDelayValue, defaultDelayMilliseconds)));
  outputDelay.store(DelayBlocks(static_cast<int32_t>(IRegistry::GetDword(outDelayValue, defaultDelayMilliseconds))));
}

void TMultiMedia::BuildLists() {
  inputs.assign(1, {TStr(noneName), std::string(), -1});
  outputs.assign(1, {TStr(noneName), std::string(), -1});
  IWaveDevices& devices = GetWaveDevices();
  for (const TWaveDeviceInfo& device : devices.ListInputs())
    if (device.takesPortFormat) inputs.push_back({TStr(mmePrefix) + TStr(device.name.c_str()), device.name, -1});
  for (const TWaveDeviceInfo& device : devices.ListOutputs())
    if (device.takesPortFormat) outputs.push_back({TStr(mmePrefix) + TStr(device.name.c_str()), device.name, -1});
  multimediaEntries = static_cast<int32_t>(outputs.size());
  if (!directSound.IsLoaded()) return;
  const int32_t count = directSound.getNumDevices();
  for (int32_t i = 0; i < count; ++i) {
    const char* name = directSound.getDeviceName(i);
    if (name && *name) outputs.push_back({TStr(directSoundPrefix) + TStr(name), std::string(), i});
  }
}

// A stored name matches an entry equal to it or to "MME: " and it; one not found
// selects the first device (or None when there is none).
int32_t TMultiMedia::FindEntry(const std::vector<TEntry>& list, const TStr& stored) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].name == stored || list[i].name == TStr(mmePrefix) + stored) return static_cast<int32_t>(i);
  return list.size() > 1 ? 1 : 0;
}

bool TMultiMedia::Prepare() {
  for (const TWaveDeviceInfo& device : GetWaveDevices().ListOutputs())
    if (device.takesPortFormat) return true;
  TDirectSoundLibrary library;
  if (!library.Load()) return false;
  const int32_t count = library.getNumDevices();
  for (int32_t i = 0; i < count; ++i) {
    const char* name = library.getDeviceName(i);
    if (name && *name) return true;
  }
  return false;
}

TStr TMultiMedia::GetInputName(int32_t index) {
  return index >= 0 && index < GetInputEntryCount() ? inputs[size_t(index)].name : TStr();
}

TStr TMultiMedia::GetOutputName(int32_t index) {
  return index >= 0 && index < GetOutputEntryCount() ? outputs[size_t(index)].name : TStr();
}

void TMultiMedia::ShowSettings(IFrameWnd*) {
  // The soundcard panel comes with the dialogs; until then the settings file holds
  // the choices (see the README).
}

// ---- The panel's operations -------------------------------------------------------------

void TMultiMedia::SetInputWanted(int32_t wanted) {
  inputWanted = wanted;
  if (inputIndex > 0) {
    Pause();
    Resume();
  }
}

void TMultiMedia::SetInputDelay(int32_t milliseconds) {
  const int32_t blocks = DelayBlocks(milliseconds);
  if (blocks == inputDelay) return;
  Pause();
  inputDelay = blocks;
  Resume();
}

void TMultiMedia::SetOutputDelay(int32_t milliseconds) {
  const int32_t blocks = DelayBlocks(milliseconds);
  const int32_t old = outputDelay.exchange(blocks, std::memory_order_acq_rel);
  skip.fetch_add(old - blocks, std::memory_order_acq_rel);
}

void TMultiMedia::ApplySelection(int32_t& index, int32_t wanted) {
  if (wanted == index) return;
  Pause();
  previousInput = inputIndex;
  previousOutput = outputIndex;
  index = wanted;
  Resume();
  Pause();
  Resume();
}

void TMultiMedia::SelectInput(int32_t index) {
  if (index >= 0 && index < GetInputEntryCount()) ApplySelection(inputIndex, index);
}

void TMultiMedia::SelectOutput(int32_t index) {
  if (index >= 0 && index < GetOutputEntryCount()) ApplySelection(outputIndex, index);
}

uint32_t TMultiMedia::GetUnderrunCount() {
  uint32_t count = directSoundUnderruns.load(std::memory_order_relaxed);
  if (outputDevice) count += outputDevice->GetCounters().underruns;
  if (inputDevice) count += inputDevice->GetCounters().overruns;
  return count + closedUnderruns;
}

// ---- Opening the devices ----------------------------------------------------------------

void TMultiMedia::OpenDevice() {
  if (ensemble) ensemble->SetSampleRate(float(TWaveFormat::rate));
  readFirst = readCount = 0;
  EnsureWorker();
  AllocateRings();
  // One processing block is rate factor x 128 frames, so a small device block is one
  // block and a large one two.
  blockSize.store(smallProcessingFrames, std::memory_order_relaxed);
  deviceBlockFrames.store(smallProcessingFrames, std::memory_order_relaxed);
  StartDevice();
}

void TMultiMedia::StartDevice() {
  if (devicesStarted) return;
  OpenDevices();
  StartDevices();
}

void TMultiMedia::StopDevice() { StopDevices(false); }

void TMultiMedia::CloseDevice() {
  StopDevices(true);
  EndWorker();
  GetMediaTimer().Sleep(closeSleepMilliseconds);
}

void TMultiMedia::AllocateRings() {
  if (headerMemory) return;
  headerMemory.reset(new (std::nothrow) THeaderBlock[4 * ringHeaders]());
  if (!headerMemory) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return;
  }
  TRing* rings[] = {&inputSmall, &inputLarge, &outputSmall, &outputLarge};
  for (int32_t r = 0; r < 4; ++r) {
    rings[r]->blocks = headerMemory.get() + r * ringHeaders;
    for (int32_t i = 0; i < ringHeaders; ++i) rings[r]->Header(i).data = rings[r]->blocks[i].data;
  }
}

void TMultiMedia::FreeRings() {
  headerMemory.reset();
  for (TRing* ring : {&inputSmall, &inputLarge, &outputSmall, &outputLarge}) *ring = TRing();
}

void TMultiMedia::PrepareRing(TRing& ring, IWaveDevice& device, uint32_t bytes) {
  ring.bytes = bytes;
  ring.next = 0;
  for (int32_t i = 0; i < ringHeaders; ++i) {
    TWaveHeader& header = ring.Header(i);
    header.bufferBytes = bytes;
    header.flags.store(0, std::memory_order_relaxed);
    device.Prepare(header);
  }
}

bool TMultiMedia::OpenDirection(EWaveDirection direction) {
  const bool output = direction == EWaveDirection::Output;
  const int32_t index = output ? outputIndex : inputIndex;
  if (index <= 0) return true;
  if (!headerMemory) return false;
  if (output && index >= multimediaEntries) {
    const TEntry& entry = outputs[size_t(index)];
    // No window handle is needed here: the library plays without one.
    if (!directSound.IsLoaded() || !directSound.open(entry.directSoundIndex, nullptr)) return false;
    outputOpen = directSoundOpen = true;
    ClearBuffers();
    return true;
  }
  const TEntry& entry = output ? outputs[size_t(index)] : inputs[size_t(index)];
  EWaveOpenResult result = EWaveOpenResult::Failed;
  std::unique_ptr<IWaveDevice> device = GetWaveDevices().Open(direction, entry.device, events, result);
  if (!device) return false;
  PrepareRing(output ? outputSmall : inputSmall, *device, smallFrames * TWaveFormat::bytesPerFrame);
  PrepareRing(output ? outputLarge : inputLarge, *device, largeFrames * TWaveFormat::bytesPerFrame);
  if (output) {
    outputDevice = std::move(device);
    outputOpen = true;
    directSoundOpen = false;
    ClearBuffers();
  } else {
    inputDevice = std::move(device);
    inputOpen = true;
  }
  return true;
}

void TMultiMedia::CloseDirection(EWaveDirection direction) {
  if (direction == EWaveDirection::Output) {
    if (directSoundOpen) {
      directSound.stop();
      directSound.close();
    }
    if (outputDevice) closedUnderruns += outputDevice->GetCounters().underruns;
    outputDevice.reset();
    outputOpen = directSoundOpen = false;
  } else {
    if (inputDevice) {
      inputDevice->Reset();
      closedUnderruns += inputDevice->GetCounters().overruns;
    }
    inputDevice.reset();
    inputOpen = recording = false;
  }
}

// Opens the first direction and then the second; answers the failure's message.
bool TMultiMedia::OpenBoth(TParamStr*& failure) {
  const bool inputFirst = !IRegistry::GetString(inputFirstValue, TStr()).IsEmpty();
  const EWaveDirection first = inputFirst ? EWaveDirection::Input : EWaveDirection::Output;
  const EWaveDirection second = inputFirst ? EWaveDirection::Output : EWaveDirection::Input;
  auto inUse = [](EWaveDirection direction) {
    return direction == EWaveDirection::Output ? &Msg::outportInUse : &Msg::inportInUse;
  };
  if (!OpenDirection(first)) {
    failure = inUse(first);
    return false;
  }
  if (OpenDirection(second)) return true;
  CloseDirection(first);
  if (!OpenDirection(second)) {
    failure = inUse(second);
    return false;
  }
  CloseDirection(second);
  failure = &Msg::noFullDuplex;
  return false;
}

// Opens until both directions are open: a failure goes back to the previous entries
// (with its message) and, when those were the ones that failed, to None (without one).
void TMultiMedia::OpenDevices() {
  workerStop.store(false, std::memory_order_release);
  conversion.Select(conversion.GetFactor());
  written.store(0);
  completed.store(0);
  inputCount.store(0);
  skip.store(0);
  for (;;) {
    TParamStr* failure = nullptr;
    if (OpenBoth(failure)) return;
    if (inputIndex == previousInput && outputIndex == previousOutput) {
      inputIndex = outputIndex = previousInput = previousOutput = 0;
    } else {
      ShowError(*failure, 0);
      inputIndex = previousInput;
      outputIndex = previousOutput;
    }
  }
}

void TMultiMedia::ClearBuffers() {
  auto clear = [](TRing& ring) {
    if (!ring.blocks) return;
    for (int32_t i = 0; i < ringHeaders; ++i) std::memset(ring.blocks[i].data, 0, 1024);
  };
  if (outputOpen && !directSoundOpen) {
    clear(outputSmall);
    clear(outputLarge);
  }
  if (inputOpen) {
    clear(inputSmall);
    clear(inputLarge);
  }
}

// ---- Starting ---------------------------------------------------------------------------

void TMultiMedia::StartDevices() {
  // What the devices closed before gave back is counted before the counters start again.
  WaitUntilCounted();
  const int32_t delay = outputDelay.load(std::memory_order_relaxed);
  written.store(delay, std::memory_order_release);
  inputCount.store(delay + inputDelay, std::memory_order_release);
  completed.store(0, std::memory_order_release);
  inputStatistics.store(0);
  outputStatistics.store(0);
  directSoundInWindow = false;
  readFirst = readCount = 0;
  inputSmall.next = outputSmall.next = 0;
  inputLarge.next = inputOpen ? inputDelay : 0;
  outputLarge.next = outputOpen && !directSoundOpen ? delay : 0;
  conversion.SetInput(inputOpen ? this : nullptr);
  if (inputOpen) {
    // The first input-delay large buffers are read first, silent.
    for (int32_t i = 0; i < inputDelay; ++i) AppendRead(inputLarge.Header(i), inputLarge.bytes);
  }
  if (outputOpen && !directSoundOpen) {
    outputDevice->Pause();
    for (int32_t i = 0; i < delay; ++i) outputDevice->Queue(outputLarge.Header(i));
    outputDevice->Start();
  } else if (outputOpen) {
    directSoundWritten = 0;
    directSoundPosition = -1;
    directSoundStill = 0;
    for (int32_t i = 0; i < delay; ++i) {
      TDsRegions* regions = directSound.lock(largeFrames);
      if (regions) directSoundWritten += regions->firstFrames + regions->secondFrames;
      if (regions && regions->first) std::memset(reinterpret_cast<void*>(regions->first), 0, size_t(regions->firstFrames) * 4);
      if (regions && regions->second)
        std::memset(reinterpret_cast<void*>(regions->second), 0, size_t(regions->secondFrames) * 4);
      directSound.unlock();
    }
    directSound.start();
  }
  if (inputOpen && !recording) {
    inputDevice->Start();
    recording = true;
  }
  const TMediaTimerCaps caps = GetMediaTimer().GetCaps();
  timerResolution = std::min(std::max(1, caps.minPeriod), caps.maxPeriod);
  GetMediaTimer().BeginPeriod(timerResolution);
  timer = GetMediaTimer().Start(tickMilliseconds, 0, *this);
  raisePriority.store(true, std::memory_order_release);
  devicesStarted = true;
  outputProcesses.store(outputOpen, std::memory_order_release);
}

// ---- Stopping ---------------------------------------------------------------------------

bool TMultiMedia::AllHeadersBack() {
  for (TRing* ring : {&inputSmall, &inputLarge, &outputSmall, &outputLarge}) {
    if (!ring->blocks) continue;
    for (int32_t i = 0; i < ringHeaders; ++i)
      if (ring->Header(i).IsPrepared() && !ring->Header(i).IsDone()) return false;
  }
  return true;
}

// The queued blocks play out (and the input's come back filled); a device that keeps
// them too long is reset, which gives them back at once.
void TMultiMedia::WaitForHeaders() {
  for (int32_t waited = 0; !AllHeadersBack() && waited < headerWaitMilliseconds; waited += pollMilliseconds)
    GetMediaTimer().Sleep(pollMilliseconds);
  if (AllHeadersBack()) return;
  if (outputDevice) outputDevice->Reset();
  if (inputDevice) inputDevice->Reset();
}

void TMultiMedia::StopDevices(bool freeHeaders) {
  outputProcesses.store(false, std::memory_order_release);
  GetMediaTimer().RestoreNormalPriority();
  if (timer) {
    GetMediaTimer().Stop(timer);
    GetMediaTimer().EndPeriod(timerResolution);
    timer = 0;
  }
  WaitForHeaders();
  for (TRing* ring : {&inputSmall, &inputLarge}) {
    if (inputDevice && ring->blocks)
      for (int32_t i = 0; i < ringHeaders; ++i) inputDevice->Unprepare(ring->Header(i));
  }
  for (TRing* ring : {&outputSmall, &outputLarge}) {
    if (outputDevice && ring->blocks)
      for (int32_t i = 0; i < ringHeaders; ++i) outputDevice->Unprepare(ring->Header(i));
  }
  CloseDirection(EWaveDirection::Input);
  CloseDirection(EWaveDirection::Output);
  if (freeHeaders) FreeRings();
  devicesStarted = false;
}

// ---- The ticks ----------------------------------------------------------------------------

void TMultiMedia::OnMediaTick() {
  if (!outputOpen || !IsRunning()) return;
  if (directSoundOpen)
    DirectSoundTick();
  else
    MultimediaTick();
}

void TMultiMedia::RaiseOnFirstTick() {
  if (raisePriority.exchange(false, std::memory_order_acq_rel)) GetMediaTimer().RaiseCallbackPriority();
}

void TMultiMedia::MultimediaTick() {
  // A positive skip counter shrinks the queue: the tick only counts it down.
  if (skip.load(std::memory_order_acquire) > 0) {
    skip.fetch_sub(1, std::memory_order_acq_rel);
    return;
  }
  const int32_t delay = outputDelay.load(std::memory_order_relaxed);
  // A negative one grows it: silent blocks, at once, beyond the limit.
  while (skip.load(std::memory_order_acquire) < 0) {
    const int32_t queued = written.load(std::memory_order_relaxed) - completed.load(std::memory_order_acquire);
    QueueBlock(queued > delay, true);
    skip.fetch_add(1, std::memory_order_acq_rel);
  }
  const int32_t queued = written.load(std::memory_order_relaxed) - completed.load(std::memory_order_acquire);
  if (queued > delay + tickLimit) return;
  QueueBlock(queued > delay, false);
}

void TMultiMedia::QueueBlock(bool small, bool silent) {
  TRing& out = small ? outputSmall : outputLarge;
  TRing& in = small ? inputSmall : inputLarge;
  TWaveHeader& output = out.Header(out.next);
  // A block still at the device (only when the device holds more than a ring) waits.
  if (!output.IsDone()) return;
  TWaveHeader* input = inputOpen ? &in.Header(in.next) : nullptr;
  if (input && !input->IsDone()) input = nullptr;
  RaiseOnFirstTick();
  const int32_t queued = written.load(std::memory_order_relaxed) - completed.load(std::memory_order_acquire);
  written.fetch_add(1, std::memory_order_acq_rel);
  out.next = (out.next + 1) % ringHeaders;
  if (inputOpen) in.next = (in.next + 1) % ringHeaders;
  if (input) AppendRead(*input, in.bytes);
  if (silent)
    std::memset(output.data, 0, out.bytes);
  else
    ProcessDeviceBlock(reinterpret_cast<int16_t*>(output.data), small ? smallFrames : largeFrames);
  if (input) inputDevice->Queue(*input);
  outputDevice->Queue(output);
  if (inputOpen) AddSample(inputStatistics, inputCount.load(std::memory_order_acquire) - written.load(std::memory_order_relaxed));
  AddSample(outputStatistics, queued);
}

// A second of ticks without the play position moving: the device went away.
void TMultiMedia::WatchDirectSound(int32_t aheadFrames) {
  constexpr int32_t stillTicks = 1000 / tickMilliseconds;
  const int64_t position = directSoundWritten - aheadFrames;
  directSoundStill = position == directSoundPosition ? directSoundStill + 1 : 0;
  directSoundPosition = position;
  if (directSoundStill == stillTicks) deviceLost.store(true, std::memory_order_release);
}

void TMultiMedia::DirectSoundTick() {
  const int32_t delay = outputDelay.load(std::memory_order_relaxed);
  const int32_t aheadFrames = directSound.getNumSamplesAhead();
  WatchDirectSound(aheadFrames);
  const int32_t ahead = aheadFrames / largeFrames;
  const bool inWindow = ahead - delay >= -tickLimit && ahead - delay <= tickLimit;
  // Leaving the window once it was reached means the ring ran dry.
  if (directSoundInWindow && !inWindow) directSoundUnderruns.fetch_add(1, std::memory_order_relaxed);
  directSoundInWindow = inWindow;
  if (!inWindow) return;
  RaiseOnFirstTick();
  const bool small = ahead > delay;
  const int32_t frames = small ? smallFrames : largeFrames;
  TDsRegions* regions = directSound.lock(frames);
  if (!regions) return;
  written.fetch_add(1, std::memory_order_acq_rel);
  TRing& in = small ? inputSmall : inputLarge;
  TWaveHeader* input = inputOpen ? &in.Header(in.next) : nullptr;
  if (input && !input->IsDone()) input = nullptr;
  if (inputOpen) in.next = (in.next + 1) % ringHeaders;
  if (input) AppendRead(*input, in.bytes);
  // The block is made whole and then laid into the ring, across its wrap.
  alignas(16) int16_t block[largeFrames * TWaveFormat::channels];
  const int64_t room = regions->firstFrames + regions->secondFrames;
  if (room >= frames)
    ProcessDeviceBlock(block, frames);
  else
    std::memset(block, 0, sizeof block);
  const auto firstFrames = static_cast<size_t>(std::min<int64_t>(regions->firstFrames, frames));
  if (regions->first) std::memcpy(reinterpret_cast<void*>(regions->first), block, firstFrames * 4);
  if (regions->second) {
    const auto secondFrames = static_cast<size_t>(std::min<int64_t>(regions->secondFrames, frames - int64_t(firstFrames)));
    std::memcpy(reinterpret_cast<void*>(regions->second), block + firstFrames * 2, secondFrames * 4);
  }
  directSound.unlock();
  directSoundWritten += room;
  if (input) inputDevice->Queue(*input);
  if (inputOpen) AddSample(inputStatistics, inputCount.load(std::memory_order_acquire) - written.load(std::memory_order_relaxed));
  AddSample(outputStatistics, ahead);
}

// A device block is one processing block (small) or two (large); any other size
// processes nothing.
void TMultiMedia::ProcessDeviceBlock(int16_t* output, int32_t deviceFrames) {
  const int32_t processing = static_cast<int32_t>(conversion.GetFactor() * float(deviceFrames));
  if (processing == smallProcessingFrames) {
    conversion.SetOutput(output);
    Process();
  } else if (processing == largeProcessingFrames) {
    conversion.SetOutput(output);
    Process();
    conversion.SetOutput(output + smallFrames * TWaveFormat::channels);
    Process();
  }
  PublishPeaks();
}

// ---- Conversion -------------------------------------------------------------------------

void TMultiMedia::SelectConversion() {
  const float factor = ensemble ? ensemble->GetRateFactor().Get() : 1.0f;
  conversion.Select(factor);
  smallProcessingFrames = static_cast<int32_t>(conversion.GetFactor() * smallFrames);
  largeProcessingFrames = static_cast<int32_t>(conversion.GetFactor() * largeFrames);
  blockSize.store(smallProcessingFrames, std::memory_order_relaxed);
  deviceBlockFrames.store(smallProcessingFrames, std::memory_order_relaxed);
  // The port is paused here: the plug-in may hear of its new block size.
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->SetBlockSize(smallProcessingFrames);
}

void TMultiMedia::ReadDeviceBlock(int32_t frames) {
  if (conversion.GetFactor() != 1.0f) {
    TAudioInOut::ReadDeviceBlock(frames);
    return;
  }
  float** in = GetInputBuffers();
  conversion.ReadBlock(in[0], in[1], frames);
  // The other channels hold what the frame record's row holds for them, as frame by
  // frame.
  const float* row = inputFrame.scratch[0];
  for (int32_t c = 2; c < channels; ++c) std::fill(in[c], in[c] + frames, row[c]);
  if (frames > 0) {
    inputFrame.scratch[0][0] = in[0][frames - 1];
    inputFrame.scratch[0][1] = in[1][frames - 1];
    frameIndex.store(frames - 1, std::memory_order_relaxed);
  }
}

void TMultiMedia::WriteDeviceBlock(int32_t frames) {
  if (conversion.GetFactor() != 1.0f) {
    TAudioInOut::WriteDeviceBlock(frames);
    return;
  }
  outputFrame.scratch[0][0] = 1.0f;
  float** out = GetOutputBuffers();
  conversion.WriteBlock(out[0], out[1], 1.0f, frames);
  if (frames > 0) frameIndex.store(frames - 1, std::memory_order_relaxed);
}

void TMultiMedia::ReadFrame(TFrameRecord* frame) {
  if (frame) conversion.ReadFrame(*frame);
}

void TMultiMedia::WriteFrame(TFrameRecord* frame) {
  if (frame) conversion.WriteFrame(*frame);
}

void TMultiMedia::AppendRead(const TWaveHeader& header, uint32_t bytes) {
  if (readCount == ringHeaders) return;
  const auto* start = reinterpret_cast<const int16_t*>(header.data);
  readRing[(readFirst + readCount) % ringHeaders] = {start, start + bytes / 2};
  ++readCount;
}

bool TMultiMedia::NextBuffer(const int16_t*& read, const int16_t*& end) {
  if (readCount == 0) return false;
  read = readRing[readFirst].start;
  end = readRing[readFirst].end;
  readFirst = (readFirst + 1) % ringHeaders;
  --readCount;
  return true;
}

namespace {
void Lower(std::atomic<float>& value, float candidate) {
  float seen = value.load(std::memory_order_relaxed);
  while (candidate < seen && !value.compare_exchange_weak(seen, candidate, std::memory_order_relaxed)) {
  }
}
void Raise(std::atomic<float>& value, float candidate) {
  float seen = value.load(std::memory_order_relaxed);
  while (candidate > seen && !value.compare_exchange_weak(seen, candidate, std::memory_order_relaxed)) {
  }
}
}  // namespace

void TMultiMedia::PublishPeaks() {
  const TWaveConversion::TPeaks peaks = conversion.TakePeaks();
  Lower(inputPeakMinLeft, peaks.inMinLeft);
  Raise(inputPeakMaxLeft, peaks.inMaxLeft);
  Lower(inputPeakMinRight, peaks.inMinRight);
  Raise(inputPeakMaxRight, peaks.inMaxRight);
  Lower(outputPeakMinLeft, peaks.outMinLeft);
  Raise(outputPeakMaxLeft, peaks.outMaxLeft);
  Lower(outputPeakMinRight, peaks.outMinRight);
  Raise(outputPeakMaxRight, peaks.outMaxRight);
}

float TMultiMedia::ReadInputPeak(std::atomic<float>& min, std::atomic<float>& max) { return PeakOf(min, max) / 0.98f; }

float TMultiMedia::ReadOutputPeak(std::atomic<float>& min, std::atomic<float>& max) {
  return PeakOf(min, max) / 32767.0f;
}

// ---- Statistics and reports -------------------------------------------------------------

void TMultiMedia::AddSample(std::atomic<uint64_t>& statistics, int32_t value) {
  statistics.fetch_add(countUnit + static_cast<uint64_t>(std::max(value, 0)), std::memory_order_relaxed);
}

int32_t TMultiMedia::TakeMeasured(std::atomic<uint64_t>& statistics) {
  const uint64_t taken = statistics.exchange(0, std::memory_order_relaxed);
  const uint64_t count = taken / countUnit;
  const uint64_t sum = taken % countUnit;
  return count == 0 ? 0 : static_cast<int32_t>(sum * tickMilliseconds / count);
}

int32_t TMultiMedia::ReportTimer(void* self) {
  static_cast<TMultiMedia*>(self)->ReportOnce();
  return 1;
}

// At most once a second, on the user-interface thread: what the user should know
// while there is no panel to show it.
void TMultiMedia::ReportOnce() {
  const uint32_t underruns = GetUnderrunCount();
  // THUDRA_AUDIO_STATUS asks for the port's state every second.
  static const bool status = std::getenv("THUDRA_AUDIO_STATUS") != nullptr;
  if (status && devicesStarted) {
    TStr line("Audio: output delay ");
    line += TStr::FromInt(GetMeasuredOutputDelay()) + " ms (set " + TStr::FromInt(GetOutputDelay()) +
            " ms), input delay " + TStr::FromInt(GetMeasuredInputDelay()) + " ms (set " +
            TStr::FromInt(GetInputDelay()) + " ms), " + TStr::FromInt(int32_t(underruns)) + " underruns";
    ShowStatus(line);
  }
  if (underruns != reportedUnderruns) {
    ShowStatus(TStr("Audio: ") + TStr::FromInt(int32_t(underruns)) +
               " underruns so far (raise the delays if clicks are heard).");
    reportedUnderruns = underruns;
  }
  if (IsDeviceLost() && !reportedLost) {
    ShowStatus(TStr("Audio: the sound device went away; the audio port goes on without it."));
    reportedLost = true;
  }
}
