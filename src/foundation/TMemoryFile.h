// The memory file behind IMemoryFile.
#pragma once
#include "IMemoryFile.h"

class TMemoryFile : public TBase, public IMemoryFile {
public:
  TMemoryFile() = default;
  ~TMemoryFile() override;

  void Attach(IFile* newFile) override { file = newFile; }
  bool OpenRead() override;
  bool OpenRead(const void* data, int64_t bytes) override;
  bool OpenWrite() override;
  void Close() override;
  bool IsOpen() const override { return state != EState::Closed; }
  bool IsWriting() const override { return state == EState::Writing; }

  const uint8_t* GetData() const override { return block; }
  int64_t GetSize() const override { return used; }
  int64_t GetCapacity() const override { return capacity; }

  int64_t Tell() override { return position; }
  void Seek(int64_t newPosition) override;
  TStr GetStreamName() const override;

protected:
  int64_t DeviceRead(void* buffer, int64_t bytes) override;
  int64_t DeviceWrite(const void* buffer, int64_t bytes) override;

private:
  enum class EState { Closed, Reading, Writing };
  bool Allocate(int64_t bytes);
  void FreeBlock();
  bool Grow(int64_t needed);

  IFile* file = nullptr;
  uint8_t* block = nullptr;
  int64_t capacity = 0;
  int64_t used = 0;
  int64_t position = 0;
  int32_t units = 0;
  EState state = EState::Closed;
};
