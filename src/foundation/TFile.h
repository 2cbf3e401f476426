// The file behind IFile.
#pragma once
#include "IFile.h"
#include "IFileSystem.h"

class TFile : public TBase, public IFile {
public:
  TFile();
  ~TFile() override;

  void OpenRead(const IFileName& name) override;
  void OpenWrite(const IFileName& name) override;
  void OpenReadWrite(const IFileName& name) override;
  void Close() override;
  bool IsOpen() const override { return handle != invalidFileHandle; }
  int64_t GetSize() override;
  const IFileName& GetFileName() const override { return *fileName; }

  int64_t Tell() override;
  void Seek(int64_t position) override;
  TStr GetStreamName() const override;

  int32_t ReadAsync(void* buffer, int64_t bytes) override;
  int32_t WriteAsync(const void* buffer, int64_t bytes) override;
  bool IsReadPending() const override;
  bool IsWritePending() const override;
  void CancelIo() override;

protected:
  int64_t DeviceRead(void* buffer, int64_t bytes) override;
  int64_t DeviceWrite(const void* buffer, int64_t bytes) override;

private:
  void Open(const IFileName& name, EFileMode mode);

  TFileHandle handle = invalidFileHandle;
  EPtr<IFileName> fileName;
};
