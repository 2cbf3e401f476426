// Files: a byte stream on a file of the file system, with synchronous access
// through TInOut and asynchronous reads and writes through one background thread.
#pragma once
#include <cstdint>

#include "IFileName.h"
#include "TInOut.h"

class IFile : public TInOut {
public:
  // Failure: "Out of Memory !!!" and null.
  static IFile* Create();

  // Each raises "Can not open file $1." when the system refuses; an open file is
  // closed first. Read shares reading with others; Write (created or truncated)
  // and ReadWrite (opened or created) share nothing.
  virtual void OpenRead(const IFileName& name) = 0;
  virtual void OpenWrite(const IFileName& name) = 0;
  virtual void OpenReadWrite(const IFileName& name) = 0;
  // Cancels queued requests of the file and waits for one in progress; a failure
  // raises "Can not close file $1.". Closing a closed file does nothing.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual int64_t GetSize() = 0;
  virtual const IFileName& GetFileName() const = 0;

  // Queue a request for the background thread, at the file's position when the
  // thread gets to it (synchronous operations do not wait for queued requests:
  // wait until none is pending before seeking). The buffer must stay valid until the request is no longer
  // pending. Answers 0 when queued, non-zero when refused (closed file, queue full).
  // Never allocates, locks or waits, so the audio thread may call them.
  virtual int32_t ReadAsync(void* buffer, int64_t bytes) = 0;
  virtual int32_t WriteAsync(const void* buffer, int64_t bytes) = 0;
  // Whether a request of this file of that kind is queued or in progress.
  virtual bool IsReadPending() const = 0;
  virtual bool IsWritePending() const = 0;
  // Drops the file's queued requests; a request in progress completes.
  virtual void CancelIo() = 0;
};
