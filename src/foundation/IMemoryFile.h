// A byte stream over one contiguous memory block, optionally attached to a file:
// opening for reading loads the file's whole content, closing after writing hands
// the content to the file.
#pragma once
#include <cstdint>

#include "IFile.h"
#include "TInOut.h"

class IMemoryFile : public TInOut {
public:
  // The block grows in units of this many bytes.
  static constexpr int64_t unitBytes = 524288;
  // The largest content a memory file holds.
  static constexpr int64_t maxBytes = int64_t(1) << 30;

  // Failure: "Out of Memory !!!" and null.
  static IMemoryFile* Create();

  // The file the content comes from and goes to (not owned; null detaches).
  virtual void Attach(IFile* file) = 0;
  // Loads the whole content of the attached open file (from its start). Answers
  // false with "Out of Memory !!!" when the block cannot be had.
  virtual bool OpenRead() = 0;
  // Reads from a copy of the given bytes.
  virtual bool OpenRead(const void* data, int64_t bytes) = 0;
  // Starts an empty block of one unit; false with "Out of Memory !!!" on failure.
  virtual bool OpenWrite() = 0;
  // After writing, hands the content to the attached file at its position. The
  // content stays readable through GetData until the next open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual bool IsWriting() const = 0;

  virtual const uint8_t* GetData() const = 0;
  virtual int64_t GetSize() const = 0;
  virtual int64_t GetCapacity() const = 0;
};
