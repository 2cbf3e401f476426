#include "TFile.h"

#include "Messages.h"
#include "TFileRequests.h"

IFile* IFile::Create() { return CreateOrReport<TFile>(); }

TFile::TFile() : fileName(IFileName::Create()) {
  if (!fileName) ThrowOutOfMemory();
}

// Files are closed on whatever thread drops them; a failure to close cannot be
// reported from here, so the handle is closed quietly.
TFile::~TFile() {
  if (handle == invalidFileHandle) return;
  TFileRequests::Get().CancelAndWait(this);
  int error = 0;
  GetFileSystem().Close(handle, error);
}

TStr TFile::GetStreamName() const { return fileName->GetPath(); }

void TFile::Open(const IFileName& name, EFileMode mode) {
  Close();
  fileName->CopyFrom(name);
  // The request thread exists before the first request, so that queuing one
  // never has to start it (the audio thread queues requests).
  TFileRequests::Get();
  int error = 0;
  handle = GetFileSystem().Open(fileName->GetPath(), mode, error);
  if (handle == invalidFileHandle) ThrowFileError(Msg::cannotOpenFile);
}

void TFile::OpenRead(const IFileName& name) { Open(name, EFileMode::Read); }
void TFile::OpenWrite(const IFileName& name) { Open(name, EFileMode::Write); }
void TFile::OpenReadWrite(const IFileName& name) { Open(name, EFileMode::ReadWrite); }

void TFile::Close() {
  if (handle == invalidFileHandle) return;
  TFileRequests::Get().CancelAndWait(this);
  int error = 0;
  const bool closed = GetFileSystem().Close(handle, error);
  handle = invalidFileHandle;
  if (!closed) ThrowFileError(Msg::cannotCloseFile);
}

int64_t TFile::GetSize() {
  if (handle == invalidFileHandle) return 0;
  return GetFileSystem().GetSize(handle);
}

int64_t TFile::Tell() {
  if (handle == invalidFileHandle) return 0;
  return GetFileSystem().Tell(handle);
}

void TFile::Seek(int64_t position) {
  if (handle == invalidFileHandle) return;
  int error = 0;
  if (position < 0 || GetFileSystem().Seek(handle, position, error) < 0) ThrowFileError(Msg::fileAccessError);
}

int64_t TFile::DeviceRead(void* buffer, int64_t bytes) {
  if (handle == invalidFileHandle) return -1;
  auto* data = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < bytes) {
    int error = 0;
    const int64_t got = GetFileSystem().Read(handle, data + done, bytes - done, error);
    if (got < 0) ThrowFileError(Msg::fileReadError);
    if (got == 0) break;  // end of file
    done += got;
  }
  return done;
}

int64_t TFile::DeviceWrite(const void* buffer, int64_t bytes) {
  if (handle == invalidFileHandle) return -1;
  const auto* data = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < bytes) {
    int error = 0;
    const int64_t put = GetFileSystem().Write(handle, data + done, bytes - done, error);
    if (put <= 0) ThrowFileError(Msg::fileWriteError);
    done += put;
  }
  return done;
}

int32_t TFile::ReadAsync(void* buffer, int64_t bytes) {
  if (handle == invalidFileHandle || bytes < 0 || (bytes > 0 && !buffer)) return 1;
  return TFileRequests::Get().Queue(this, handle, buffer, bytes, EFileRequest::Read) ? 0 : 1;
}

int32_t TFile::WriteAsync(const void* buffer, int64_t bytes) {
  if (handle == invalidFileHandle || bytes < 0 || (bytes > 0 && !buffer)) return 1;
  return TFileRequests::Get().Queue(this, handle, const_cast<void*>(buffer), bytes, EFileRequest::Write) ? 0 : 1;
}

bool TFile::IsReadPending() const { return TFileRequests::Get().IsPending(this, EFileRequest::Read); }
bool TFile::IsWritePending() const { return TFileRequests::Get().IsPending(this, EFileRequest::Write); }
void TFile::CancelIo() { TFileRequests::Get().Cancel(this); }
