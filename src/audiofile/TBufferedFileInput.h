// Reading a file's header through a small buffer, so that the many small values of a
// chunk tree cost one device read for each stretch of the file instead of one each.
// Read only; positions beyond the file's end deliver nothing.
#pragma once
#include <cstdint>

#include "foundation/IFile.h"

class TBufferedFileInput : public TBase, public TInOut {
public:
  static constexpr int64_t bufferBytes = 4096;

  // The file must stay open while the input is used; its size is taken now.
  explicit TBufferedFileInput(IFile& file);

  int64_t GetSize() const { return size; }
  int64_t Tell() override { return position; }
  void Seek(int64_t newPosition) override { position = newPosition < 0 ? 0 : newPosition; }
  TStr GetStreamName() const override { return file.GetStreamName(); }

protected:
  int64_t DeviceRead(void* buffer, int64_t bytes) override;
  int64_t DeviceWrite(const void*, int64_t) override { return -1; }

private:
  void Fill();

  IFile& file;
  int64_t size;
  int64_t position = 0;
  int64_t bufferStart = 0;
  int64_t bufferFilled = 0;
  uint8_t buffer[bufferBytes];
};
