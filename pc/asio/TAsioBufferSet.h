// The buffer pairs that operation 4 creates: two halves for each record asked, of the
// buffer size in the channel's sample type, zeroed. Owned by the driver from
// operation 4 to operation 5; the audio thread reads the table without a lock while
// the driver's gate is open.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/asio/AsioLibrary.h"

class TAsioBufferSet {
public:
  struct TRecord {
    int32_t isInput = 0;
    int32_t channel = 0;
    int32_t sampleType = 0;
    void* half[2] = {};
  };

  // sampleTypes[i] is the sample type of records[i]; fills the records' halves.
  TAsioBufferSet(TAsioBufferInfo* records, int32_t count, int32_t frames, const std::vector<int32_t>& sampleTypes);

  int32_t Count() const { return static_cast<int32_t>(records.size()); }
  int32_t Frames() const { return frames; }
  const TRecord& Record(int32_t index) const { return records[static_cast<size_t>(index)]; }
  int32_t HalfBytes(int32_t index) const { return frames * Asio::SampleBytes(Record(index).sampleType); }

private:
  struct TFree {
    void operator()(std::byte* memory) const;
  };
  int32_t frames;
  std::vector<TRecord> records;
  std::unique_ptr<std::byte, TFree> memory;
};
