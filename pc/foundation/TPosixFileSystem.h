// POSIX file services. Sharing rules are advisory locks on the open file: a file
// open for writing holds an exclusive lock, one open for reading a shared lock, both
// taken without blocking, so a second open that conflicts fails at once - within
// this program and across processes.
#pragma once
#include "foundation/IFileSystem.h"

class TPosixFileSystem : public IFileSystem {
public:
  TFileHandle Open(const TStr& path, EFileMode mode, int& error) override;
  int64_t Read(TFileHandle handle, void* buffer, int64_t bytes, int& error) override;
  int64_t Write(TFileHandle handle, const void* buffer, int64_t bytes, int& error) override;
  int64_t Seek(TFileHandle handle, int64_t position, int& error) override;
  int64_t Tell(TFileHandle handle) override;
  int64_t GetSize(TFileHandle handle) override;
  bool Close(TFileHandle handle, int& error) override;

  bool Exists(const TStr& path) override;
  bool Remove(const TStr& path) override;
  TStr GetProgramFolder() override;
  TStr CreateTempFile(const TStr& folder, const TStr& prefix) override;
  bool Run(const TStr& path) override;
  IFolderSearch* Search(const TStr& folder, const TStr& pattern) override;
  TStr ErrorText(int error) override;
};
