#include "TMemoryFile.h"

#include <cstdlib>
#include <cstring>

#include "Messages.h"

IMemoryFile* IMemoryFile::Create() { return CreateOrReport<TMemoryFile>(); }

TMemoryFile::~TMemoryFile() {
  RunDestructorBody([this] {
    Close();
    FreeBlock();
  });
}

TStr TMemoryFile::GetStreamName() const { return file ? file->GetStreamName() : TStr("memory"); }

void TMemoryFile::FreeBlock() {
  std::free(block);
  block = nullptr;
  capacity = used = position = 0;
  units = 0;
}

// A block of whole units that holds bytes; the old content is not kept.
bool TMemoryFile::Allocate(int64_t bytes) {
  FreeBlock();
  if (bytes < 0 || bytes > maxBytes) return false;
  const int64_t newUnits = bytes == 0 ? 1 : (bytes + unitBytes - 1) / unitBytes;
  block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newUnits * unitBytes)));
  if (!block) return false;
  units = static_cast<int32_t>(newUnits);
  capacity = newUnits * unitBytes;
  return true;
}

bool TMemoryFile::Grow(int64_t needed) {
  if (needed <= capacity) return true;
  if (needed > maxBytes) return false;
  const int64_t newUnits = (needed + unitBytes - 1) / unitBytes;
  auto* larger = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newUnits * unitBytes)));
  if (!larger) return false;
  if (used > 0) std::memcpy(larger, block, static_cast<size_t>(used));
  std::free(block);
  block = larger;
  units = static_cast<int32_t>(newUnits);
  capacity = newUnits * unitBytes;
  return true;
}

bool TMemoryFile::OpenRead() {
  Close();
  if (!file || !file->IsOpen()) return false;
  const int64_t size = file->GetSize();
  if (!Allocate(size)) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return false;
  }
  file->Seek(0);
  file->ReadRaw(block, size);
  used = size;
  state = EState::Reading;
  return true;
}

bool TMemoryFile::OpenRead(const void* data, int64_t bytes) {
  Close();
  if (bytes < 0 || (bytes > 0 && !data) || !Allocate(bytes)) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return false;
  }
  if (bytes > 0) std::memcpy(block, data, static_cast<size_t>(bytes));
  used = bytes;
  state = EState::Reading;
  return true;
}

bool TMemoryFile::OpenWrite() {
  Close();
  if (!Allocate(unitBytes)) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return false;
  }
  state = EState::Writing;
  return true;
}

void TMemoryFile::Close() {
  const EState was = state;
  state = EState::Closed;
  position = 0;
  if (was == EState::Writing && file && file->IsOpen()) file->WriteRaw(block, used);
}

void TMemoryFile::Seek(int64_t newPosition) {
  if (state == EState::Closed) return;
  if (newPosition < 0 || newPosition > used) ThrowFileError(Msg::fileAccessError);
  position = newPosition;
}

int64_t TMemoryFile::DeviceRead(void* buffer, int64_t bytes) {
  if (state == EState::Closed) return -1;
  const int64_t available = used - position;
  const int64_t n = bytes < available ? bytes : available;
  if (n > 0) std::memcpy(buffer, block + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int64_t TMemoryFile::DeviceWrite(const void* buffer, int64_t bytes) {
  if (state != EState::Writing) return -1;
  if (bytes > maxBytes - position || !Grow(position + bytes)) ThrowOutOfMemory();
  std::memcpy(block + position, buffer, static_cast<size_t>(bytes));
  position += bytes;
  if (position > used) used = position;
  return bytes;
}
