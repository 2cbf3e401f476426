#include "TInOut.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "Messages.h"

namespace Msg {
TParamStr cannotOpenFile("Can not open file $1.");
TParamStr cannotCloseFile("Can not close file $1.");
TParamStr fileAccessError("Error while accessing to file $1.");
TParamStr fileReadError("Error while reading file $1.");
TParamStr fileWriteError("Error while writing file $1.");
}  // namespace Msg

namespace {
class TFileCrypt : public TBase, public IFileCrypt {
public:
  void BeginWrite() override {}
  void BeginRead() override {}
  void SetParameter(int32_t) override {}
  void End() override {}
  void Transform(const uint8_t* from, uint8_t* to, int32_t bytes) override { std::memmove(to, from, bytes); }
};

template <class T>
T SwapBytes(T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// Chunk for passing bytes through the transform without allocating.
constexpr int64_t transformChunk = 4096;
}  // namespace

IFileCrypt* IFileCrypt::Create() { return new TFileCrypt; }

TInOut::TInOut() : transform(IFileCrypt::Create()) {}
TInOut::~TInOut() { ::Release(transform); }

void TInOut::ThrowFileError(TParamStr& message) const {
  message.SetParam(1, GetStreamName());
  ThrowError(&message);
}

void TInOut::ReadRaw(void* buffer, int64_t bytes) {
  if (bytes <= 0) return;
  const int64_t got = DeviceRead(buffer, bytes);
  if (got < 0) return;  // closed
  if (transformActive && got > 0) {
    auto* data = static_cast<uint8_t*>(buffer);
    for (int64_t done = 0; done < got; done += transformChunk) {
      const int32_t n = static_cast<int32_t>(std::min(transformChunk, got - done));
      transform->Transform(data + done, data + done, n);
    }
  }
  if (got < bytes) ThrowFileError(Msg::fileReadError);
}

void TInOut::WriteRaw(const void* buffer, int64_t bytes) {
  if (bytes <= 0) return;
  if (!transformActive) {
    DeviceWrite(buffer, bytes);
    return;
  }
  const auto* data = static_cast<const uint8_t*>(buffer);
  uint8_t chunk[transformChunk];
  for (int64_t done = 0; done < bytes; done += transformChunk) {
    const int32_t n = static_cast<int32_t>(std::min(transformChunk, bytes - done));
    transform->Transform(data + done, chunk, n);
    if (DeviceWrite(chunk, n) < 0) return;
  }
}

template <class T>
T TInOut::ReadValue() {
  T value{};
  ReadRaw(&value, sizeof(T));
  return Swapped() ? SwapBytes(value) : value;
}

template <class T>
void TInOut::WriteValue(T value) {
  if (Swapped()) value = SwapBytes(value);
  WriteRaw(&value, sizeof(T));
}

template <class T>
void TInOut::ReadArray(T* values, int32_t count) {
  if (count <= 0) return;
  ReadRaw(values, static_cast<int64_t>(count) * sizeof(T));
  if (Swapped())
    for (int32_t i = 0; i < count; ++i) values[i] = SwapBytes(values[i]);
}

template <class T>
void TInOut::WriteArray(const T* values, int32_t count) {
  if (count <= 0) return;
  if (!Swapped()) {
    WriteRaw(values, static_cast<int64_t>(count) * sizeof(T));
    return;
  }
  T chunk[512];
  for (int32_t done = 0; done < count; done += 512) {
    const int32_t n = std::min(512, count - done);
    for (int32_t i = 0; i < n; ++i) chunk[i] = SwapBytes(values[done + i]);
    WriteRaw(chunk, static_cast<int64_t>(n) * sizeof(T));
  }
}

int8_t TInOut::ReadInt8() { return ReadValue<int8_t>(); }
uint8_t TInOut::ReadUInt8() { return ReadValue<uint8_t>(); }
int16_t TInOut::ReadInt16() { return ReadValue<int16_t>(); }
uint16_t TInOut::ReadUInt16() { return ReadValue<uint16_t>(); }
int32_t TInOut::ReadInt32() { return ReadValue<int32_t>(); }
uint32_t TInOut::ReadUInt32() { return ReadValue<uint32_t>(); }
int64_t TInOut::ReadInt64() { return ReadValue<int64_t>(); }
float TInOut::ReadFloat() { return std::bit_cast<float>(ReadValue<uint32_t>()); }
double TInOut::ReadDouble() { return std::bit_cast<double>(ReadValue<uint64_t>()); }
void TInOut::ReadArray16(int16_t* values, int32_t count) { ReadArray(values, count); }
void TInOut::ReadArray32(int32_t* values, int32_t count) { ReadArray(values, count); }
void TInOut::ReadArray64(double* values, int32_t count) { ReadArray(values, count); }

void TInOut::WriteInt8(int8_t value) { WriteValue(value); }
void TInOut::WriteUInt8(uint8_t value) { WriteValue(value); }
void TInOut::WriteInt16(int16_t value) { WriteValue(value); }
void TInOut::WriteUInt16(uint16_t value) { WriteValue(value); }
void TInOut::WriteInt32(int32_t value) { WriteValue(value); }
void TInOut::WriteUInt32(uint32_t value) { WriteValue(value); }
void TInOut::WriteInt64(int64_t value) { WriteValue(value); }
void TInOut::WriteFloat(float value) { WriteValue(std::bit_cast<uint32_t>(value)); }
void TInOut::WriteDouble(double value) { WriteValue(std::bit_cast<uint64_t>(value)); }
void TInOut::WriteArray16(const int16_t* values, int32_t count) { WriteArray(values, count); }
void TInOut::WriteArray32(const int32_t* values, int32_t count) { WriteArray(values, count); }
void TInOut::WriteArray64(const double* values, int32_t count) { WriteArray(values, count); }

// The length is written and read in the stream's byte order, so that big-endian
// streams agree with themselves. A length that does not fit the read buffer is
// refused before anything is read or allocated.
TStr TInOut::ReadStr() {
  const int32_t length = ReadInt32();
  if (length < 0 || length >= maxStrBytes) ThrowFileError(Msg::fileReadError);
  char buffer[maxStrBytes];
  ReadRaw(buffer, length);
  return TStr(buffer, length);
}

void TInOut::WriteStr(const TStr& value) {
  WriteInt32(value.Length());
  WriteRaw(value.Text(), value.Length());
}

TPnt TInOut::ReadPnt() {
  TPnt p;
  p.x = ReadInt32();
  p.y = ReadInt32();
  return p;
}

TArea TInOut::ReadArea() {
  TArea a;
  a.left = ReadInt32();
  a.top = ReadInt32();
  a.right = ReadInt32();
  a.bottom = ReadInt32();
  return a;
}

void TInOut::WritePnt(const TPnt& value) {
  WriteInt32(value.x);
  WriteInt32(value.y);
}

void TInOut::WriteArea(const TArea& value) {
  WriteInt32(value.left);
  WriteInt32(value.top);
  WriteInt32(value.right);
  WriteInt32(value.bottom);
}
