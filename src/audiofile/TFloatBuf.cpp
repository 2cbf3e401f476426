#include "TFloatBuf.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/Messages.h"

IHeap* TFloatBuf::SharedHeap() {
  static IHeap* heap = IHeap::Create(0);
  return heap;
}

TFloatBuf::TFloatBuf(int32_t newChannels, int32_t newChannelCapacity, int32_t rate, int32_t newFrames)
    : frames(std::max(newFrames, 0)),
      channels(std::clamp(newChannels, 0, std::max(newChannelCapacity, 0))),
      sampleRate(rate),
      channelCapacity(std::max(newChannelCapacity, 0)),
      ownsMemory(true) {
  channel = new (std::nothrow) float*[std::max(channelCapacity, 1)]();
  if (!channel) {
    channelCapacity = channels = frames = 0;
    ShowOutOfMemory(EOutOfMemory::Object);
    return;
  }
  SharedHeap();
  AllocateArrays();
}

TFloatBuf::TFloatBuf(int32_t newChannels, int32_t newChannelCapacity, int32_t rate, int32_t newFrames,
                     int32_t newExternalCapacity, float** channelArray)
    : frames(std::clamp(newFrames, 0, std::max(newExternalCapacity, 0))),
      channels(std::clamp(newChannels, 0, std::max(newChannelCapacity, 0))),
      sampleRate(rate),
      channelCapacity(std::max(newChannelCapacity, 0)),
      externalCapacity(std::max(newExternalCapacity, 0)),
      channel(channelArray) {
  if (!channel) channelCapacity = channels = frames = 0;
}

TFloatBuf::~TFloatBuf() {
  RestoreChannels();
  if (!ownsMemory) return;
  FreeArrays();
  delete[] channel;
}

float* TFloatBuf::AllocateArray(int32_t count) {
  IHeap* heap = SharedHeap();
  if (count <= 0 || !heap) return nullptr;
  auto* array = static_cast<float*>(heap->Alloc(size_t(count) * sizeof(float)));
  if (!array) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return nullptr;
  }
  std::memset(array, 0, size_t(count) * sizeof(float));
  return array;
}

void TFloatBuf::AllocateArrays() {
  capacity = frames;
  for (int32_t c = 0; c < channels; ++c) {
    if (IsSubstituted(c)) {
      // The channel's own array comes back with RestoreChannels; it must fit too.
      if (!saved[c]) saved[c] = AllocateArray(frames);
    } else if (!channel[c]) {
      channel[c] = AllocateArray(frames);
    }
  }
  for (int32_t c = 0; c < channels; ++c)
    if (channel[c] && !IsSubstituted(c)) std::memset(channel[c], 0, size_t(frames) * sizeof(float));
}

void TFloatBuf::FreeArrays() {
  IHeap* heap = SharedHeap();
  for (int32_t c = 0; c < channelCapacity; ++c) {
    float*& own = IsSubstituted(c) ? saved[c] : channel[c];
    if (heap) heap->Free(own);
    own = nullptr;
  }
  frames = capacity = 0;
}

void TFloatBuf::SetFrames(int32_t n) {
  n = std::max(n, 0);
  if (n <= capacity) {
    frames = n;
    return;
  }
  if (!ownsMemory) {
    if (n <= externalCapacity) frames = n;
    return;
  }
  const int32_t inUse = channels;
  FreeArrays();
  channels = inUse;
  frames = n;
  AllocateArrays();
}

void TFloatBuf::SetChannels(int32_t n) {
  n = std::clamp(n, 0, channelCapacity);
  if (ownsMemory)
    for (int32_t c = channels; c < n; ++c)
      if (!channel[c] && !IsSubstituted(c)) channel[c] = AllocateArray(capacity);
  channels = n;
}

void TFloatBuf::Resize(int32_t newFrames, int32_t newChannels) {
  SetChannels(newChannels);
  SetFrames(newFrames);
}

void TFloatBuf::Clear(int32_t c, int32_t count, int32_t start) {
  float* array = GetChannel(c);
  if (!array) return;
  if (count == -1) count = frames;
  const int64_t from = std::max<int64_t>(start, 0);
  const int64_t to = std::min<int64_t>(int64_t(start) + count, frames);
  if (to > from) std::memset(array + from, 0, size_t(to - from) * sizeof(float));
}

void TFloatBuf::Substitute(int32_t c, float* array) {
  if (c < 0 || c >= maxSubstituted || c >= channelCapacity) return;
  if (!substituted[c]) {
    saved[c] = channel[c];
    substituted[c] = true;
  }
  channel[c] = array;
}

void TFloatBuf::RestoreChannels() {
  for (int32_t c = 0; c < maxSubstituted && c < channelCapacity; ++c) {
    if (!substituted[c]) continue;
    channel[c] = saved[c];
    saved[c] = nullptr;
    substituted[c] = false;
  }
}

void TFloatBuf::CopyFrom(IAudioBuf& source, int32_t count, int32_t sourceStart, int32_t destinationStart) {
  if (count == -1) count = frames;
  if (count <= 0 || source.GetSampleRate() != sampleRate || source.GetChannels() != channels) return;
  const int64_t first = std::max<int64_t>(0, -int64_t(destinationStart));
  const int64_t last = std::min<int64_t>(count, int64_t(frames) - destinationStart);
  for (int32_t c = 0; c < channels; ++c) {
    float* array = channel[c];
    if (!array) continue;
    for (int64_t i = first; i < last; ++i)
      array[destinationStart + i] = source.GetSample(static_cast<int32_t>(sourceStart + i), c);
  }
}
