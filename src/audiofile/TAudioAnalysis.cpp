#include "TAudioAnalysis.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "AudioFileMessages.h"
#include "foundation/Messages.h"

namespace {
constexpr double stepSeconds = 0.005;
constexpr double windowSeconds = 0.03;
constexpr float noSegmentFrames = 5.0f;

// Channel 0 of the source as contiguous floats, followed by `padding` zeros, so that
// the correlation may read past the end.
std::vector<float> ChannelZero(IAudioBuf& source, int64_t frames, int64_t padding) {
  std::vector<float> samples(static_cast<size_t>(frames + padding), 0.0f);
  for (int64_t i = 0; i < frames; ++i) samples[size_t(i)] = source.GetSample(int32_t(i), 0);
  return samples;
}

// sums[j] = sum over k < step of a[k] * b[j + k], for j < count; each sum is added up
// in the order of k.
void Correlate(const float* a, const float* b, int64_t step, float* sums, int64_t count) {
  std::fill(sums, sums + count, 0.0f);
  for (int64_t k = 0; k < step; ++k) {
    const float factor = a[k];
    const float* row = b + k;
    for (int64_t j = 0; j < count; ++j) sums[j] += factor * row[j];
  }
}
}  // namespace

IAudioAnalysis* IAudioAnalysis::Create() { return CreateOrReport<TAudioAnalysis>(); }

const int32_t* TAudioAnalysis::GetTable() const {
  if (GetHeldFrames() == 0 || !GetData()) return nullptr;
  return static_cast<const int32_t*>(GetData()[0]);
}

int32_t* TAudioAnalysis::Table() { return const_cast<int32_t*>(GetTable()); }

void TAudioAnalysis::Analyse(IAudioBuf& source) {
  if (!source.IsFloat()) return;
  const int64_t frames = std::max(source.GetLength(), 0);
  const double rate = source.GetSampleRate();
  const int64_t step = std::max<int64_t>(1, static_cast<int64_t>(rate * stepSeconds));
  const int64_t window = std::max<int64_t>(0, static_cast<int64_t>(rate * windowSeconds));

  const int64_t entries = frames / step + 2;
  if (entries > INT32_MAX) ThrowOutOfMemory();
  SetFormat(true, false, 32, 1, static_cast<int32_t>(step), static_cast<int32_t>(entries), 0);
  int32_t* table = Table();
  if (!table) return;

  std::vector<float> x;
  std::vector<float> sums;
  try {
    x = ChannelZero(source, frames, window + step);
    sums.resize(static_cast<size_t>(std::max<int64_t>(window, 1)));
  } catch (const std::bad_alloc&) {
    ThrowOutOfMemory();
  }
  int64_t previous = 0;  // the boundary the next one is compared with
  int64_t written = 0;   // the last boundary entered into the table
  int64_t entry = 0;
  for (int64_t position = step; position < frames;) {
    float best = 0.0f;
    int64_t bestOffset = position;
    const int64_t count = previous + window - position;
    if (count > 0) {
      Correlate(&x[size_t(previous)], &x[size_t(position)], step, sums.data(), count);
      for (int64_t j = 0; j < count; ++j)
        if (sums[size_t(j)] > best) {
          best = sums[size_t(j)];
          bestOffset = position + j;
        }
    }
    previous = bestOffset;
    while (entry < previous / step) table[entry++] = static_cast<int32_t>(written);
    written = previous;
    position = previous + step;
  }
  while (entry * step < frames) table[entry++] = static_cast<int32_t>(written);
  table[entry] = static_cast<int32_t>(frames);
}

int32_t TAudioAnalysis::IndexFor(int32_t position) const {
  const int32_t count = GetEntryCount();
  const int32_t* table = GetTable();
  if (!table || count <= 0) return -1;
  if (position < 1) return 0;
  const int32_t last = count - 1;
  const int32_t step = std::max(GetStep(), 1);
  if (position < table[last]) return std::min(position / step, last);
  return last;
}

void TAudioAnalysis::MapPosition(int32_t& position) const {
  const int32_t index = IndexFor(position);
  if (index < 0 || position < 1) {
    position = 0;
    return;
  }
  position = GetTable()[index];
}

void TAudioAnalysis::GetSegment(int32_t& position, float& frames) const {
  const int32_t index = IndexFor(position);
  MapPosition(position);
  frames = noSegmentFrames;
  if (index < 0) return;
  const int32_t* table = GetTable();
  const int32_t boundary = table[index];
  for (int32_t j = index + 1; j < GetEntryCount(); ++j) {
    if (table[j] == boundary) continue;
    const int64_t distance = int64_t(table[j]) - boundary;
    if (distance > 0) frames = static_cast<float>(distance);
    return;
  }
}

void TAudioAnalysis::Read(TInOut& in, int64_t maxBytes) {
  TAudioBuf::Read(in, maxBytes);
  if (GetChannels() != 1 || GetBits() != 32 || IsInterleaved() || GetStep() < 1) {
    SetFormat(true, false, 32, 1, 0, 0, 0);
    ThrowFileMessage(Msg::fileCorrupt, in.GetStreamName());
  }
}
