#include "TAsioBufferSet.h"

#include <cstring>
#include <new>

namespace {
constexpr size_t alignment = 64;
size_t Rounded(size_t bytes) { return (bytes + alignment - 1) / alignment * alignment; }
}  // namespace

void TAsioBufferSet::TFree::operator()(std::byte* block) const { ::operator delete[](block, std::align_val_t{alignment}); }

TAsioBufferSet::TAsioBufferSet(TAsioBufferInfo* asked, int32_t count, int32_t frameCount,
                               const std::vector<int32_t>& sampleTypes)
    : frames(frameCount), records(static_cast<size_t>(count)) {
  size_t total = 0;
  for (int32_t i = 0; i < count; ++i)
    total += 2 * Rounded(static_cast<size_t>(frames) * static_cast<size_t>(Asio::SampleBytes(sampleTypes[size_t(i)])));
  memory.reset(static_cast<std::byte*>(::operator new[](total ? total : alignment, std::align_val_t{alignment})));
  std::memset(memory.get(), 0, total);
  std::byte* next = memory.get();
  for (int32_t i = 0; i < count; ++i) {
    TRecord& record = records[size_t(i)];
    record.isInput = asked[i].isInput;
    record.channel = asked[i].channel;
    record.sampleType = sampleTypes[size_t(i)];
    const size_t bytes = Rounded(static_cast<size_t>(frames) * static_cast<size_t>(Asio::SampleBytes(record.sampleType)));
    for (int h = 0; h < 2; ++h) {
      record.half[h] = next;
      asked[i].buffers[h] = next;
      next += bytes;
    }
  }
}
