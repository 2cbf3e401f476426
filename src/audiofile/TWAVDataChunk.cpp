#include "TWAVDataChunk.h"

#include <algorithm>
#include <cstdint>

#include "TAudioFile.h"

void TWAVDataChunk::Apply(TAudioFile& file) {
  const int64_t frameBytes = int64_t(file.GetChannels()) * file.GetBytesPerSample();
  const int64_t frames = frameBytes > 0 ? GetBytesInFile() / frameBytes : 0;
  file.SetLength(static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX)));
}
