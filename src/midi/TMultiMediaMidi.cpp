#include "TMultiMediaMidi.h"

#include <chrono>
#include <string>
#include <thread>

#include "foundation/IRegistry.h"
#include "foundation/Messages.h"

namespace Msg {
TParamStr cannotOpenMidiPort("Could not open the MIDI port $1.\nIt is probably in use by another program.");
}  // namespace Msg

namespace {

using TClock = std::chrono::steady_clock;

TStr ValueName(const char* prefix, int32_t number) { return TStr(prefix) + TStr(std::to_string(number).c_str()); }

// The short message as MIDI through sends it: status rebuilt from kind and channel,
// both data bytes within 7 bits.
uint32_t ThroughMessage(uint32_t message) {
  const uint32_t status = 0x80u | static_cast<uint32_t>(ShortMessageKind(message)) << 4 |
                          static_cast<uint32_t>(ShortMessageChannel(message));
  return PackShortMessage(status, static_cast<uint32_t>(ShortMessageData1(message)),
                          static_cast<uint32_t>(ShortMessageData2(message)));
}

}  // namespace

// ---- An input device ------------------------------------------------------------------

TMultiMediaMidi::TMidiInDevice::TMidiInDevice(TMultiMediaMidi& owner, int32_t id, const TStr& deviceName)
    : port(owner), deviceId(id), name(deviceName) {}

void TMultiMediaMidi::TMidiInDevice::PrepareOpen() {
  for (TSysexBuffer& buffer : buffers) {
    buffer.bytesRecorded = 0;
    buffer.queued.store(true, std::memory_order_release);
  }
  parser = TMidiStreamParser();
  filling = nullptr;
  nextBuffer = 0;
  dropping = false;
}

void TMultiMediaMidi::TMidiInDevice::OnMidiBytes(const uint8_t* bytes, size_t count, bool wait) {
  mayWait = wait;
  parser.Feed(bytes, count, *this);
}

void TMultiMediaMidi::TMidiInDevice::OnShortMessage(uint32_t message) {
  port.Post({shortMessageArrived, message, 0, this, nullptr}, mayWait);
}

// Buffers are filled in turn and come back in the order they were returned, so the
// next one in turn is the one that is free first.
TMultiMediaMidi::TSysexBuffer* TMultiMediaMidi::TMidiInDevice::TakeBuffer() {
  TSysexBuffer& buffer = buffers[nextBuffer];
  if (!buffer.queued.load(std::memory_order_acquire)) return nullptr;
  buffer.queued.store(false, std::memory_order_relaxed);
  buffer.bytesRecorded = 0;
  nextBuffer = (nextBuffer + 1) % sysexBuffersPerInput;
  return &buffer;
}

void TMultiMediaMidi::TMidiInDevice::OnSysexByte(uint8_t byte) {
  if (!filling) {
    if (dropping) return;
    filling = TakeBuffer();
    if (!filling) {
      // No buffer with the device: the rest of the message is lost, as it would be
      // with a driver that has no buffer queued.
      dropping = true;
      port.lostInput.fetch_add(1, std::memory_order_relaxed);
      return;
    }
  }
  filling->data[filling->bytesRecorded++] = byte;
  if (filling->bytesRecorded == sysexBufferBytes) ReturnBuffer();
}

void TMultiMediaMidi::TMidiInDevice::OnSysexEnd() {
  if (filling) ReturnBuffer();
  dropping = false;
}

void TMultiMediaMidi::TMidiInDevice::ReturnBuffer() {
  TSysexBuffer* buffer = filling;
  filling = nullptr;
  if (!port.Post({bufferReturned, 0, 0, this, buffer}, mayWait)) buffer->queued.store(true, std::memory_order_release);
}

// ---- Output sets ------------------------------------------------------------------------

TMultiMediaMidi::TOutputReader::TOutputReader(TMultiMediaMidi& port) {
  for (;;) {
    const int32_t index = port.currentOutputs.load(std::memory_order_seq_cst);
    set = &port.outputSets[index];
    set->readers.fetch_add(1, std::memory_order_seq_cst);
    if (port.currentOutputs.load(std::memory_order_seq_cst) == index) return;
    set->readers.fetch_sub(1, std::memory_order_seq_cst);
  }
}

TMultiMediaMidi::TOutputReader::~TOutputReader() { set->readers.fetch_sub(1, std::memory_order_seq_cst); }

// Under uiLock: makes the open outputs of installedOut the set in use; afterwards no
// reader holds an output that is not in it.
void TMultiMediaMidi::PublishOutputs() {
  const int32_t old = currentOutputs.load(std::memory_order_seq_cst);
  TOutputSet& next = outputSets[1 - old];
  while (next.readers.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  next.outputs.clear();
  for (TMidiOutDevice* device : installedOut)
    if (device->handle) next.outputs.push_back(device->handle.get());
  currentOutputs.store(1 - old, std::memory_order_seq_cst);
  while (outputSets[old].readers.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

// ---- Construction ---------------------------------------------------------------------

TMultiMediaMidi::TMultiMediaMidi(IMidiHost* host, IMidiDevices* deviceLayer)
    : TMidiInOut(host), devices(deviceLayer ? *deviceLayer : GetMidiDevices()) {
  int32_t id = 0;
  for (const std::string& name : devices.ListInputs())
    availableIn.push_back(std::make_unique<TMidiInDevice>(*this, id++, TStr(name.c_str())));
  id = 0;
  for (const std::string& name : devices.ListOutputs())
    availableOut.push_back(std::unique_ptr<TMidiOutDevice>(new TMidiOutDevice{id++, TStr(name.c_str()), nullptr}));
}

TMultiMediaMidi::~TMultiMediaMidi() {
  RunDestructorBody([this] {
    Stop();
    if (IsCreated()) Join();
    SavePortList();
  });
}

// ---- Start and stop ---------------------------------------------------------------------

void TMultiMediaMidi::Start() {
  if (IsCreated()) return;
  stopRequested.store(0, std::memory_order_relaxed);
  closing.store(false, std::memory_order_relaxed);
  if (!CreateThread()) return;
  const auto until = TClock::now() + std::chrono::seconds(2);
  while (!IsRunning() && TClock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  OpenStoredPorts();
  RaisePriority();
}

void TMultiMediaMidi::OpenStoredPorts() {
  for (int32_t n = 1;; ++n) {
    const TStr stored = IRegistry::GetString(ValueName(inputValuePrefix, n), TStr());
    if (stored.IsEmpty()) break;
    for (const auto& device : availableIn) {
      if (!(device->name == stored) || InstallIn(device->deviceId)) continue;
      Msg::cannotOpenMidiPort.SetParam(1, device->name);
      ShowError(Msg::cannotOpenMidiPort);
    }
  }
  for (int32_t n = 1;; ++n) {
    const TStr stored = IRegistry::GetString(ValueName(outputValuePrefix, n), TStr());
    if (stored.IsEmpty()) break;
    for (const auto& device : availableOut) {
      if (!(device->name == stored) || InstallOut(device->deviceId)) continue;
      Msg::cannotOpenMidiPort.SetParam(1, device->name);
      ShowError(Msg::cannotOpenMidiPort);
    }
  }
}

// The highest priority that the process is allowed to give its threads.
void TMultiMediaMidi::RaisePriority() {
  for (EThreadPriority priority :
       {EThreadPriority::TimeCritical, EThreadPriority::Highest, EThreadPriority::AboveNormal})
    if (SetPriority(priority)) return;
}

void TMultiMediaMidi::Stop() {
  // Device threads waiting for room in the queue give up, so that closing their
  // devices does not wait for them.
  closing.store(true, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(uiLock);
    for (TMidiInDevice* device : installedIn) device->handle.reset();
    std::vector<std::unique_ptr<IMidiOutputDevice>> closing;
    for (TMidiOutDevice* device : installedOut) closing.push_back(std::move(device->handle));
    PublishOutputs();
    // Both lists stay as they are: saving writes them.
  }
  if (!IsCreated()) return;
  stopRequested.store(1, std::memory_order_seq_cst);
  PostFromUserInterface({stopRequest, 0, 0, nullptr, nullptr});
  Wait(stopWaitMilliseconds);
}

// ---- The port thread ----------------------------------------------------------------------

int32_t TMultiMediaMidi::Run() {
  for (;;) {
    const uint32_t seen = queue.Seen();
    TPortMessage message;
    while (queue.Pop(message)) {
      HandlePortMessage(message);
      if (stopRequested.load(std::memory_order_acquire)) return 0;
    }
    if (stopRequested.load(std::memory_order_acquire)) return 0;
    queue.WaitAfter(seen);
  }
}

void TMultiMediaMidi::HandlePortMessage(const TPortMessage& message) {
  switch (message.kind) {
    case shortMessageArrived:
      if (GetThrough()) ForwardShort(ThroughMessage(message.message));
      Deliver(ShortMessageKind(message.message), ShortMessageChannel(message.message),
              ShortMessageData1(message.message), ShortMessageData2(message.message));
      break;
    case bufferReturned: {
      auto* buffer = static_cast<TSysexBuffer*>(message.buffer);
      if (GetThrough()) ForwardLong(buffer->data, static_cast<size_t>(buffer->bytesRecorded));
      PutSysex(buffer->data, buffer->bytesRecorded);
      EndSysex();
      buffer->queued.store(true, std::memory_order_release);
      break;
    }
    case sendRequest: SendNow(message.port, message.message); break;
    case barrier: barriersPassed.store(message.message, std::memory_order_release); break;
    default: break;  // the stop request: the loop ends on stopRequested
  }
}

void TMultiMediaMidi::ForwardShort(uint32_t message) {
  TOutputReader reader(*this);
  for (IMidiOutputDevice* output : reader.Outputs()) output->SendShort(message);
}

void TMultiMediaMidi::ForwardLong(const uint8_t* bytes, size_t count) {
  TOutputReader reader(*this);
  for (IMidiOutputDevice* output : reader.Outputs()) output->SendLong(bytes, count);
}

// A device thread that may wait does so while the port thread catches up, so that a
// burst loses nothing; the others lose what does not fit.
bool TMultiMediaMidi::Post(const TPortMessage& message, bool mayWait) {
  if (queue.Push(message)) return true;
  if (mayWait) {
    const auto until = TClock::now() + std::chrono::seconds(1);
    while (IsRunning() && !closing.load(std::memory_order_relaxed) && TClock::now() < until) {
      std::this_thread::yield();
      if (queue.Push(message)) return true;
    }
  }
  lostInput.fetch_add(1, std::memory_order_relaxed);
  return false;
}

void TMultiMediaMidi::PostFromUserInterface(const TPortMessage& message) {
  const auto until = TClock::now() + std::chrono::milliseconds(stopWaitMilliseconds);
  while (!queue.Push(message) && IsRunning() && TClock::now() < until) std::this_thread::yield();
}

void TMultiMediaMidi::PassBarrier() {
  if (!IsRunning()) return;
  const uint32_t number = barriersPosted.fetch_add(1, std::memory_order_relaxed) + 1;
  PostFromUserInterface({barrier, number, 0, nullptr, nullptr});
  const auto until = TClock::now() + std::chrono::milliseconds(stopWaitMilliseconds);
  while (static_cast<int32_t>(barriersPassed.load(std::memory_order_acquire) - number) < 0 && IsRunning() &&
         TClock::now() < until)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

// ---- Sending ------------------------------------------------------------------------------

// Devices are sent to from the port thread only, so that no output is ever used by
// two threads at once: a sender hands the message over, and only while the thread is
// not running does it send itself.
void TMultiMediaMidi::SendShort(int32_t port, uint32_t message) {
  const int32_t kind = ShortMessageKind(message);
  if (kind >= MidiPolyPressure && (GetFilterBits() & OutputBit(kind))) return;
  if (IsRunning()) {
    if (!queue.Push({sendRequest, message, port, nullptr, nullptr})) SetMidiOutputFailed();
    return;
  }
  // The sender never waits: while the lists change, the message is refused.
  std::unique_lock<std::mutex> lock(uiLock, std::try_to_lock);
  if (!lock.owns_lock()) {
    SetMidiOutputFailed();
    return;
  }
  SendNow(port, message);
}

void TMultiMediaMidi::SendNow(int32_t port, uint32_t message) {
  TOutputReader reader(*this);
  const std::vector<IMidiOutputDevice*>& outputs = reader.Outputs();
  if (port == 0) {
    for (IMidiOutputDevice* output : outputs)
      if (!output->SendShort(message)) SetMidiOutputFailed();
  } else if (port > 0 && static_cast<size_t>(port) <= outputs.size()) {
    if (!outputs[static_cast<size_t>(port) - 1]->SendShort(message)) SetMidiOutputFailed();
  }
}

// ---- Lists --------------------------------------------------------------------------------

int32_t TMultiMediaMidi::GetInCount() { return static_cast<int32_t>(availableIn.size()); }

void TMultiMediaMidi::GetInName(int32_t index, TStr& name) {
  if (index >= 0 && index < GetInCount()) name = availableIn[static_cast<size_t>(index)]->name;
}

int32_t TMultiMediaMidi::GetInstalledInCount() {
  std::lock_guard<std::mutex> lock(uiLock);
  return static_cast<int32_t>(installedIn.size());
}

void TMultiMediaMidi::GetInstalledInName(int32_t index, TStr& name) {
  std::lock_guard<std::mutex> lock(uiLock);
  if (index >= 0 && static_cast<size_t>(index) < installedIn.size()) name = installedIn[static_cast<size_t>(index)]->name;
}

int32_t TMultiMediaMidi::GetOutCount() { return static_cast<int32_t>(availableOut.size()); }

void TMultiMediaMidi::GetOutName(int32_t index, TStr& name) {
  if (index >= 0 && index < GetOutCount()) name = availableOut[static_cast<size_t>(index)]->name;
}

int32_t TMultiMediaMidi::GetInstalledOutCount() {
  std::lock_guard<std::mutex> lock(uiLock);
  return static_cast<int32_t>(installedOut.size());
}

void TMultiMediaMidi::GetInstalledOutName(int32_t index, TStr& name) {
  std::lock_guard<std::mutex> lock(uiLock);
  if (index >= 0 && static_cast<size_t>(index) < installedOut.size())
    name = installedOut[static_cast<size_t>(index)]->name;
}

int32_t TMultiMediaMidi::FindIn(const TStr& name) {
  for (const auto& device : availableIn)
    if (device->name == name) return device->deviceId;
  return -1;
}

int32_t TMultiMediaMidi::FindOut(const TStr& name) {
  for (const auto& device : availableOut)
    if (device->name == name) return device->deviceId;
  return -1;
}

// ---- Installing and removing ------------------------------------------------------------------

// An input that stayed in the list when the port stopped is opened again in place.
int32_t TMultiMediaMidi::InstallIn(int32_t deviceId) {
  if (deviceId < 0 || deviceId >= GetInCount()) return 0;
  std::lock_guard<std::mutex> lock(uiLock);
  TMidiInDevice& device = *availableIn[static_cast<size_t>(deviceId)];
  for (TMidiInDevice* installed : installedIn)
    if (installed == &device) return device.handle || OpenInput(device) ? 1 : 0;
  if (!OpenInput(device)) return 0;
  installedIn.push_back(&device);
  return 1;
}

bool TMultiMediaMidi::OpenInput(TMidiInDevice& device) {
  device.PrepareOpen();
  EMidiOpenResult result = EMidiOpenResult::Failed;
  device.handle = devices.OpenInput(std::string(std::string_view(device.name)), device, result);
  return device.handle != nullptr;
}

void TMultiMediaMidi::RemoveIn(int32_t deviceId) {
  std::lock_guard<std::mutex> lock(uiLock);
  for (auto at = installedIn.begin(); at != installedIn.end(); ++at) {
    if ((*at)->deviceId != deviceId) continue;
    CloseInput(**at);
    installedIn.erase(at);
    return;
  }
}

// After the device is closed its thread delivers nothing more; the barrier lets the
// port thread finish what the device delivered before, buffers included.
void TMultiMediaMidi::CloseInput(TMidiInDevice& device) {
  device.handle.reset();
  PassBarrier();
}

int32_t TMultiMediaMidi::InstallOut(int32_t deviceId) {
  if (deviceId < 0 || deviceId >= GetOutCount()) return 0;
  std::lock_guard<std::mutex> lock(uiLock);
  TMidiOutDevice& device = *availableOut[static_cast<size_t>(deviceId)];
  bool listed = false;
  for (TMidiOutDevice* installed : installedOut) listed = listed || installed == &device;
  if (listed && device.handle) return 1;
  EMidiOpenResult result = EMidiOpenResult::Failed;
  device.handle = devices.OpenOutput(std::string(std::string_view(device.name)), result);
  if (!device.handle) return 0;
  if (!listed) installedOut.push_back(&device);
  PublishOutputs();
  return 1;
}

void TMultiMediaMidi::RemoveOut(int32_t deviceId) {
  std::lock_guard<std::mutex> lock(uiLock);
  for (auto at = installedOut.begin(); at != installedOut.end(); ++at) {
    if ((*at)->deviceId != deviceId) continue;
    TMidiOutDevice& device = **at;
    installedOut.erase(at);
    PublishOutputs();  // from here on no sender holds the device
    device.handle.reset();
    return;
  }
}

// ---- Saving -----------------------------------------------------------------------------------

void TMultiMediaMidi::SavePortList() {
  std::lock_guard<std::mutex> lock(uiLock);
  for (int32_t n = 1; n <= clearedPortValues; ++n) IRegistry::DeleteValue(ValueName(inputValuePrefix, n));
  int32_t n = 0;
  for (TMidiInDevice* device : installedIn) IRegistry::SetString(ValueName(inputValuePrefix, ++n), device->name);
  for (int32_t m = 1; m <= clearedPortValues; ++m) IRegistry::DeleteValue(ValueName(outputValuePrefix, m));
  n = 0;
  for (TMidiOutDevice* device : installedOut) IRegistry::SetString(ValueName(outputValuePrefix, ++n), device->name);
}
