#include "TSimulatedWaveDevices.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace {
struct TDirectionState {
  bool open = false;
  IWaveNotify* notify = nullptr;
  std::deque<TWaveHeader*> queue;
  uint32_t frontBytes = 0;
  bool paused = false;
  bool started = false;
  // Output: nothing left to play; input: no header to record into.
  bool starved = true;
  int32_t opens = 0;
  TWaveCounters counters;
};

struct TPending {
  IWaveNotify* notify;
  TWaveNotification notification;
};
using TPendingList = std::vector<TPending>;

void Send(const TPendingList& pending) {
  for (const TPending& p : pending) p.notify->OnWaveEvent(p.notification);
}

uint64_t FramesAt(int64_t milliseconds) { return static_cast<uint64_t>(milliseconds) * TWaveFormat::rate / 1000; }
}  // namespace

struct TSimulatedWaveDevices::TDevice {
  std::string name;
  TOptions options;
  bool gone = false;
  TDirectionState out;
  TDirectionState in;
  uint64_t recordedFrames = 0;
  std::vector<uint32_t> queuedSizes;
  std::vector<int16_t> played;
  TSignal signal;

  TDirectionState& Of(EWaveDirection direction) { return direction == EWaveDirection::Output ? out : in; }
};

struct TSimulatedWaveDevices::TState {
  std::mutex lock;
  std::vector<std::shared_ptr<TDevice>> devices;
};

namespace {
using TDevice = TSimulatedWaveDevices::TDevice;

void Return(TDirectionState& side, EWaveDirection direction, TWaveHeader* header, TPendingList& pending) {
  header->flags.store(TWaveHeader::Prepared | TWaveHeader::Done, std::memory_order_release);
  pending.push_back({side.notify, {EWaveEvent::BlockDone, direction, header}});
}

void ReturnAll(TDirectionState& side, EWaveDirection direction, TPendingList& pending) {
  for (TWaveHeader* header : side.queue) {
    header->recordedBytes = direction == EWaveDirection::Input && header == side.queue.front() ? side.frontBytes : 0;
    Return(side, direction, header, pending);
  }
  side.queue.clear();
  side.frontBytes = 0;
}

// Plays up to frames of the queued headers; answers the frames played.
uint64_t Play(TDevice& device, uint64_t frames, TPendingList& pending) {
  TDirectionState& side = device.out;
  uint64_t played = 0;
  while (played < frames && !side.queue.empty()) {
    TWaveHeader* header = side.queue.front();
    const uint32_t left = (header->bufferBytes - side.frontBytes) / TWaveFormat::bytesPerFrame;
    const auto take = static_cast<uint32_t>(std::min<uint64_t>(left, frames - played));
    const auto* samples = reinterpret_cast<const int16_t*>(header->data + side.frontBytes);
    device.played.insert(device.played.end(), samples, samples + take * TWaveFormat::channels);
    side.frontBytes += take * TWaveFormat::bytesPerFrame;
    played += take;
    if (side.frontBytes >= header->bufferBytes) {
      side.queue.pop_front();
      side.frontBytes = 0;
      Return(side, EWaveDirection::Output, header, pending);
    }
  }
  return played;
}

uint64_t Record(TDevice& device, uint64_t frames, TPendingList& pending) {
  TDirectionState& side = device.in;
  uint64_t recorded = 0;
  while (recorded < frames && !side.queue.empty()) {
    TWaveHeader* header = side.queue.front();
    auto* samples = reinterpret_cast<int16_t*>(header->data + side.frontBytes);
    for (; recorded < frames && side.frontBytes < header->bufferBytes; ++recorded) {
      int16_t left = 0, right = 0;
      if (device.signal) device.signal(device.recordedFrames, left, right);
      ++device.recordedFrames;
      *samples++ = left;
      *samples++ = right;
      side.frontBytes += TWaveFormat::bytesPerFrame;
    }
    if (side.frontBytes >= header->bufferBytes) {
      header->recordedBytes = side.frontBytes;
      side.queue.pop_front();
      side.frontBytes = 0;
      Return(side, EWaveDirection::Input, header, pending);
    }
  }
  return recorded;
}

class TSimulatedDevice : public IWaveDevice {
public:
  TSimulatedDevice(std::shared_ptr<TSimulatedWaveDevices::TState> state, std::shared_ptr<TDevice> device,
                   EWaveDirection direction)
      : state(std::move(state)), device(std::move(device)), direction(direction) {}

  ~TSimulatedDevice() override {
    TPendingList pending;
    IWaveNotify* notify = nullptr;
    {
      std::lock_guard<std::mutex> hold(state->lock);
      TDirectionState& side = device->Of(direction);
      ReturnAll(side, direction, pending);
      notify = side.notify;
      side.open = false;
      side.notify = nullptr;
      side.started = false;
      side.paused = false;
    }
    Send(pending);
    notify->OnWaveEvent({EWaveEvent::Closed, direction, nullptr});
  }
  TSimulatedDevice(const TSimulatedDevice&) = delete;
  TSimulatedDevice& operator=(const TSimulatedDevice&) = delete;

  EWaveDirection GetDirection() const override { return direction; }

  bool Prepare(TWaveHeader& header) override {
    if (!header.data || header.bufferBytes == 0 || header.bufferBytes % TWaveFormat::bytesPerFrame != 0) return false;
    header.flags.store(TWaveHeader::Prepared | TWaveHeader::Done, std::memory_order_release);
    return true;
  }
  void Unprepare(TWaveHeader& header) override {
    if (header.IsDone()) header.flags.fetch_and(~TWaveHeader::Prepared, std::memory_order_acq_rel);
  }

  bool Queue(TWaveHeader& header) override {
    const uint32_t flags = header.flags.load(std::memory_order_acquire);
    if (!(flags & TWaveHeader::Prepared) || (flags & TWaveHeader::Queued)) return false;
    TPendingList pending;
    {
      std::lock_guard<std::mutex> hold(state->lock);
      TDirectionState& side = device->Of(direction);
      header.recordedBytes = 0;
      header.flags.store(TWaveHeader::Prepared | TWaveHeader::Queued, std::memory_order_release);
      if (direction == EWaveDirection::Output) device->queuedSizes.push_back(header.bufferBytes);
      if (device->gone) {
        if (direction == EWaveDirection::Input) {
          std::memset(header.data, 0, header.bufferBytes);
          header.recordedBytes = header.bufferBytes;
        }
        Return(side, direction, &header, pending);
      } else {
        side.queue.push_back(&header);
      }
    }
    Send(pending);
    return true;
  }

  void Pause() override {
    std::lock_guard<std::mutex> hold(state->lock);
    if (direction == EWaveDirection::Output)
      device->out.paused = true;
    else
      device->in.started = false;
  }
  void Start() override {
    std::lock_guard<std::mutex> hold(state->lock);
    if (direction == EWaveDirection::Output)
      device->out.paused = false;
    else
      device->in.started = true;
  }
  void Reset() override {
    TPendingList pending;
    {
      std::lock_guard<std::mutex> hold(state->lock);
      TDirectionState& side = device->Of(direction);
      ReturnAll(side, direction, pending);
      if (direction == EWaveDirection::Input) side.started = false;
    }
    Send(pending);
  }
  bool IsLost() override {
    std::lock_guard<std::mutex> hold(state->lock);
    return device->gone;
  }
  TWaveCounters GetCounters() override {
    std::lock_guard<std::mutex> hold(state->lock);
    return device->Of(direction).counters;
  }

private:
  std::shared_ptr<TSimulatedWaveDevices::TState> state;
  std::shared_ptr<TDevice> device;
  EWaveDirection direction;
};
}  // namespace

TSimulatedWaveDevices::TSimulatedWaveDevices(TSimulatedClock& clock) : clock(clock), state(std::make_shared<TState>()) {
  clock.SetDeviceStep([this](int64_t now) { Step(now); });
}

TSimulatedWaveDevices::~TSimulatedWaveDevices() { clock.SetDeviceStep(nullptr); }

void TSimulatedWaveDevices::Step(int64_t now) {
  const uint64_t frames = FramesAt(now) - FramesAt(now - 1);
  TPendingList pending;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    for (const auto& device : state->devices) {
      if (device->gone || device->options.manual) continue;
      TDirectionState& out = device->out;
      if (out.open && !out.paused) {
        // Running dry after playing counts once, until it plays whole milliseconds again.
        const uint64_t played = Play(*device, frames, pending);
        if (played < frames && !out.starved) ++out.counters.underruns;
        out.starved = played < frames;
      }
      TDirectionState& in = device->in;
      if (in.open && in.started) {
        const uint64_t recorded = Record(*device, frames, pending);
        if (recorded < frames && !in.starved) ++in.counters.overruns;
        in.starved = recorded < frames;
        device->recordedFrames += frames - recorded;
      }
    }
  }
  Send(pending);
}

void TSimulatedWaveDevices::Add(const std::string& name, const TOptions& options) {
  auto device = std::make_shared<TDevice>();
  device->name = name;
  device->options = options;
  device->in.starved = false;
  std::lock_guard<std::mutex> hold(state->lock);
  state->devices.push_back(device);
}

std::shared_ptr<TSimulatedWaveDevices::TDevice> TSimulatedWaveDevices::Find(const std::string& name) {
  for (const auto& device : state->devices)
    if (device->name == name && !device->gone) return device;
  return nullptr;
}

void TSimulatedWaveDevices::Remove(const std::string& name) {
  TPendingList pending;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    auto device = Find(name);
    if (!device) return;
    device->gone = true;
    for (EWaveDirection direction : {EWaveDirection::Output, EWaveDirection::Input}) {
      TDirectionState& side = device->Of(direction);
      if (!side.open) continue;
      ReturnAll(side, direction, pending);
      pending.push_back({side.notify, {EWaveEvent::Lost, direction, nullptr}});
    }
  }
  Send(pending);
}

void TSimulatedWaveDevices::SetInUse(const std::string& name, bool inUse) {
  std::lock_guard<std::mutex> hold(state->lock);
  if (auto device = Find(name)) device->options.inUse = inUse;
}

void TSimulatedWaveDevices::SetSignal(const std::string& name, TSignal signal) {
  std::lock_guard<std::mutex> hold(state->lock);
  if (auto device = Find(name)) device->signal = std::move(signal);
}

bool TSimulatedWaveDevices::IsOpen(const std::string& name, EWaveDirection direction) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device && device->Of(direction).open;
}

int32_t TSimulatedWaveDevices::OpenCount(const std::string& name, EWaveDirection direction) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device ? device->Of(direction).opens : 0;
}

bool TSimulatedWaveDevices::IsPaused(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device && device->out.paused;
}

bool TSimulatedWaveDevices::IsRecording(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device && device->in.started;
}

size_t TSimulatedWaveDevices::Queued(const std::string& name, EWaveDirection direction) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device ? device->Of(direction).queue.size() : 0;
}

std::vector<uint32_t> TSimulatedWaveDevices::QueuedSizes(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device ? device->queuedSizes : std::vector<uint32_t>();
}

void TSimulatedWaveDevices::ClearQueuedSizes(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  if (auto device = Find(name)) device->queuedSizes.clear();
}

std::vector<int16_t> TSimulatedWaveDevices::Played(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device ? device->played : std::vector<int16_t>();
}

void TSimulatedWaveDevices::ClearPlayed(const std::string& name) {
  std::lock_guard<std::mutex> hold(state->lock);
  if (auto device = Find(name)) device->played.clear();
}

TWaveCounters TSimulatedWaveDevices::Counters(const std::string& name, EWaveDirection direction) {
  std::lock_guard<std::mutex> hold(state->lock);
  auto device = Find(name);
  return device ? device->Of(direction).counters : TWaveCounters();
}

size_t TSimulatedWaveDevices::Complete(const std::string& name, EWaveDirection direction, size_t count) {
  TPendingList pending;
  size_t done = 0;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    auto device = Find(name);
    if (!device) return 0;
    TDirectionState& side = device->Of(direction);
    for (; done < count && !side.queue.empty(); ++done) {
      TWaveHeader* header = side.queue.front();
      const uint64_t frames = (header->bufferBytes - side.frontBytes) / TWaveFormat::bytesPerFrame;
      if (direction == EWaveDirection::Output)
        Play(*device, frames, pending);
      else
        Record(*device, frames, pending);
    }
  }
  Send(pending);
  return done;
}

std::vector<TWaveDeviceInfo> TSimulatedWaveDevices::List(EWaveDirection direction) {
  std::lock_guard<std::mutex> hold(state->lock);
  std::vector<TWaveDeviceInfo> list;
  for (const auto& device : state->devices) {
    if (device->gone) continue;
    if (direction == EWaveDirection::Output ? !device->options.output : !device->options.input) continue;
    list.push_back({device->name, device->options.takesPortFormat});
  }
  return list;
}

std::unique_ptr<IWaveDevice> TSimulatedWaveDevices::Open(EWaveDirection direction, const std::string& name,
                                                         int occurrence, IWaveNotify& notify,
                                                         EWaveOpenResult& result) {
  std::lock_guard<std::mutex> hold(state->lock);
  std::shared_ptr<TDevice> device;
  int seen = 0;
  for (const auto& candidate : state->devices) {
    if (candidate->gone || candidate->name != name) continue;
    if (direction == EWaveDirection::Output ? !candidate->options.output : !candidate->options.input) continue;
    if (++seen == occurrence) device = candidate;
  }
  result = EWaveOpenResult::Opened;
  if (!device)
    result = EWaveOpenResult::Missing;
  else if (device->options.failOpen)
    result = EWaveOpenResult::Failed;
  else if (!device->options.takesPortFormat)
    result = EWaveOpenResult::Unsupported;
  else if (device->options.inUse || device->Of(direction).open)
    result = EWaveOpenResult::InUse;
  else if (!device->options.fullDuplex &&
           device->Of(direction == EWaveDirection::Output ? EWaveDirection::Input : EWaveDirection::Output).open)
    result = EWaveOpenResult::InUse;
  if (result != EWaveOpenResult::Opened) return nullptr;
  TDirectionState& side = device->Of(direction);
  side.open = true;
  side.notify = &notify;
  side.paused = false;
  side.started = false;
  side.starved = direction == EWaveDirection::Output;
  ++side.opens;
  if (direction == EWaveDirection::Output) device->queuedSizes.clear();
  return std::make_unique<TSimulatedDevice>(state, device, direction);
}
