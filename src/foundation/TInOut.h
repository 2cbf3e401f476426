// Byte stream with typed values in a selectable byte order. Files and memory
// files derive it and supply the device operations.
#pragma once
#include <cstdint>

#include "Base.h"
#include "Geometry.h"
#include "TParamStr.h"

// The transform between the typed values and the device. This program's
// transform copies bytes unchanged; its section hooks do nothing.
class IFileCrypt : public virtual IBase {
public:
  static IFileCrypt* Create();
  virtual void BeginWrite() = 0;
  virtual void BeginRead() = 0;
  virtual void SetParameter(int32_t value) = 0;
  virtual void End() = 0;
  virtual void Transform(const uint8_t* from, uint8_t* to, int32_t bytes) = 0;
};

enum EByteOrder : int32_t { LittleEndian = 0, BigEndian = 1 };

class TInOut : public virtual IBase {
public:
  // The longest string a stream reads.
  static constexpr int32_t maxStrBytes = 10000;

  TInOut();
  ~TInOut() override;
  TInOut(const TInOut&) = delete;
  TInOut& operator=(const TInOut&) = delete;

  void SetByteOrder(int32_t order) { byteOrder = order; }
  int32_t GetByteOrder() const { return byteOrder; }
  void SetTransformActive(bool active) { transformActive = active; }
  IFileCrypt* GetTransform() const { return transform; }

  int8_t ReadInt8();
  uint8_t ReadUInt8();
  int16_t ReadInt16();
  uint16_t ReadUInt16();
  int32_t ReadInt32();
  uint32_t ReadUInt32();
  int64_t ReadInt64();
  float ReadFloat();
  double ReadDouble();
  void ReadArray16(int16_t* values, int32_t count);
  void ReadArray32(int32_t* values, int32_t count);
  void ReadArray64(double* values, int32_t count);
  TStr ReadStr();
  TPnt ReadPnt();
  TArea ReadArea();

  void WriteInt8(int8_t value);
  void WriteUInt8(uint8_t value);
  void WriteInt16(int16_t value);
  void WriteUInt16(uint16_t value);
  void WriteInt32(int32_t value);
  void WriteUInt32(uint32_t value);
  void WriteInt64(int64_t value);
  void WriteFloat(float value);
  void WriteDouble(double value);
  void WriteArray16(const int16_t* values, int32_t count);
  void WriteArray32(const int32_t* values, int32_t count);
  void WriteArray64(const double* values, int32_t count);
  void WriteStr(const TStr& value);
  void WritePnt(const TPnt& value);
  void WriteArea(const TArea& value);

  // Raw bytes are never swapped. A read that the device cannot satisfy in full
  // raises "Error while reading file $1."; on a closed stream both do nothing.
  void ReadRaw(void* buffer, int64_t bytes);
  void WriteRaw(const void* buffer, int64_t bytes);

  virtual int64_t Tell() = 0;
  virtual void Seek(int64_t position) = 0;
  // The name that messages put in for $1.
  virtual TStr GetStreamName() const = 0;

protected:
  // Device operations. They answer the bytes moved, or -1 when the stream is closed;
  // a device error raises its own message.
  virtual int64_t DeviceRead(void* buffer, int64_t bytes) = 0;
  virtual int64_t DeviceWrite(const void* buffer, int64_t bytes) = 0;

  [[noreturn]] void ThrowFileError(TParamStr& message) const;

private:
  bool Swapped() const { return byteOrder == BigEndian; }
  template <class T>
  T ReadValue();
  template <class T>
  void WriteValue(T value);
  template <class T>
  void ReadArray(T* values, int32_t count);
  template <class T>
  void WriteArray(const T* values, int32_t count);

  int32_t byteOrder = LittleEndian;
  IFileCrypt* transform;
  bool transformActive = false;
};

// File messages; $1 is the file name.
namespace Msg {
extern TParamStr cannotOpenFile;
extern TParamStr cannotCloseFile;
extern TParamStr fileAccessError;
extern TParamStr fileReadError;
extern TParamStr fileWriteError;
}  // namespace Msg
