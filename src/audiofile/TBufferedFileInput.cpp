#include "TBufferedFileInput.h"

#include <algorithm>
#include <cstring>

TBufferedFileInput::TBufferedFileInput(IFile& source) : file(source), size(source.GetSize()) {}

void TBufferedFileInput::Fill() {
  bufferStart = position;
  bufferFilled = std::clamp<int64_t>(size - position, 0, bufferBytes);
  if (bufferFilled == 0) return;
  file.Seek(bufferStart);
  file.ReadRaw(buffer, bufferFilled);
}

int64_t TBufferedFileInput::DeviceRead(void* target, int64_t bytes) {
  auto* out = static_cast<uint8_t*>(target);
  int64_t done = 0;
  while (done < bytes && position < size) {
    const bool inBuffer = position >= bufferStart && position < bufferStart + bufferFilled;
    if (!inBuffer) {
      const int64_t wanted = std::min(bytes - done, size - position);
      if (wanted >= bufferBytes) {
        // Long stretches go straight to the caller.
        file.Seek(position);
        file.ReadRaw(out + done, wanted);
        position += wanted;
        done += wanted;
        continue;
      }
      Fill();
    }
    const int64_t available = bufferStart + bufferFilled - position;
    const int64_t n = std::min(bytes - done, available);
    std::memcpy(out + done, buffer + (position - bufferStart), static_cast<size_t>(n));
    position += n;
    done += n;
  }
  return done;
}
