#include "TAsioDriverBase.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace {
void CopyName(char* target, size_t size, const std::string& name) {
  std::memset(target, 0, size);
  std::memcpy(target, name.data(), std::min(size - 1, name.size()));
}
}  // namespace

void TAsioDriverBase::FillInfo(TAsioDriverInfo& info) const {
  info.minBufferSize = minBufferSize;
  info.maxBufferSize = maxBufferSize;
  info.preferredBufferSize = preferredBufferSize;
  info.granularity = granularity;
  info.inputCount = static_cast<int32_t>(inputs.size());
  info.outputCount = static_cast<int32_t>(outputs.size());
  info.inputLatency = inputLatency;
  info.outputLatency = outputLatency;
  info.sampleRate = sampleRate;
  info.clockCount = static_cast<int32_t>(std::min<size_t>(clocks.size(), Asio::maxClocks));
  info.clockIndex = clockIndex;
  for (int32_t c = 0; c < Asio::maxClocks; ++c) {
    const bool present = c < info.clockCount;
    info.clockKnowsRate[c] = present ? clocks[size_t(c)].knowsRate : 0;
    CopyName(info.clockName[c], Asio::clockNameBytes, present ? clocks[size_t(c)].name : std::string());
  }
  if (!info.channels) return;
  std::memset(info.channels, 0, sizeof(TAsioChannelInfo) * Asio::maxChannels);
  int32_t slot = 0;
  for (int direction = 1; direction >= 0; --direction) {
    const std::vector<TChannel>& list = direction ? inputs : outputs;
    for (size_t n = 0; n < list.size() && slot < Asio::maxChannels; ++n, ++slot) {
      TAsioChannelInfo& channel = info.channels[slot];
      channel.channel = static_cast<int32_t>(n);
      channel.isInput = direction;
      channel.group = 0;
      channel.sampleType = list[n].sampleType;
      CopyName(channel.name, Asio::channelNameBytes, list[n].name);
    }
  }
}

int32_t TAsioDriverBase::CheckRecords(const TAsioBufferInfo* records, int32_t count,
                                      std::vector<int32_t>& sampleTypes) const {
  if (!records || count <= 0 || count > Asio::maxChannels) return Asio::invalidParameter;
  for (int32_t i = 0; i < count; ++i) {
    const TAsioBufferInfo& record = records[i];
    const std::vector<TChannel>& list = record.isInput ? inputs : outputs;
    if (record.channel < 0 || record.channel >= static_cast<int32_t>(list.size())) return Asio::invalidParameter;
    for (int32_t j = 0; j < i; ++j)
      if (!records[j].isInput == !record.isInput && records[j].channel == record.channel) return Asio::invalidParameter;
    sampleTypes.push_back(list[size_t(record.channel)].sampleType);
  }
  return Asio::ok;
}

int32_t TAsioDriverBase::CreateBuffers(TAsioBufferInfo* records, int32_t count, int32_t frames,
                                       const TAsioCallbacks& program, TAsioDriverInfo& info) {
  if (buffers) DisposeBuffers();
  if (!program.bufferSwitch || frames < minBufferSize || frames > maxBufferSize) return Asio::invalidParameter;
  std::vector<int32_t> sampleTypes;
  if (const int32_t refused = CheckRecords(records, count, sampleTypes); refused != Asio::ok) return refused;
  if (const int32_t failed = PrepareDevice(records, count, frames); failed != Asio::ok) return failed;
  try {
    buffers = std::make_unique<TAsioBufferSet>(records, count, frames, sampleTypes);
  } catch (const std::bad_alloc&) {
    ReleaseDevice();
    return Asio::noMemory;
  }
  callbacks = program;
  nextHalf.store(0, std::memory_order_relaxed);
  if (info.channels)
    for (int32_t i = 0; i < count; ++i) {
      const int32_t slot = records[i].isInput ? records[i].channel : static_cast<int32_t>(inputs.size()) + records[i].channel;
      if (slot < Asio::maxChannels) info.channels[slot].isActive = 1;
    }
  notifier.Attach(program);
  cycleGate.Open();
  return Asio::ok;
}

int32_t TAsioDriverBase::DisposeBuffers() {
  if (!buffers) return Asio::invalidMode;
  Stop();
  cycleGate.Shut();
  notifier.Detach();
  ReleaseDevice();
  buffers.reset();
  callbacks = TAsioCallbacks{};
  return Asio::ok;
}

int32_t TAsioDriverBase::Start() {
  if (!buffers) return Asio::invalidMode;
  nextHalf.store(0, std::memory_order_relaxed);
  const int32_t started = StartDevice();
  if (started == Asio::ok) running.store(true, std::memory_order_release);
  return started;
}

int32_t TAsioDriverBase::Stop() {
  running.store(false, std::memory_order_seq_cst);
  if (OnLibraryThread()) return Asio::ok;
  while (switching.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  StopDevice();
  return Asio::ok;
}

int32_t TAsioDriverBase::SelectClock(TAsioDriverInfo& info, int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(clocks.size())) return Asio::noClock;
  const int32_t rate = ClockRate(index);
  if (rate < 0) return rate;
  clockIndex = index;
  info.clockIndex = index;
  if (rate > 0) {
    sampleRate = rate;
    info.sampleRate = rate;
  }
  return rate;
}

void RunFloatCycle(const TAsioBufferSet& buffers, int32_t half, float* const* devicePorts,
                   void (*bufferSwitch)(int32_t, int32_t)) {
  const int32_t count = buffers.Count();
  const size_t bytes = static_cast<size_t>(buffers.Frames()) * sizeof(float);
  for (int32_t i = 0; i < count; ++i)
    if (buffers.Record(i).isInput) std::memcpy(buffers.Record(i).half[half], devicePorts[i], bytes);
  bufferSwitch(half, 1);
  for (int32_t i = 0; i < count; ++i)
    if (!buffers.Record(i).isInput) std::memcpy(devicePorts[i], buffers.Record(i).half[half], bytes);
}
