#include <atomic>
#include <cerrno>

#include "IFileSystem.h"

namespace {
// Until the platform installs its services, nothing can be opened or found.
class TNoFileSystem : public IFileSystem {
public:
  TFileHandle Open(const TStr&, EFileMode, int& error) override {
    error = ENOSYS;
    return invalidFileHandle;
  }
  int64_t Read(TFileHandle, void*, int64_t, int& error) override { return Fail(error); }
  int64_t Write(TFileHandle, const void*, int64_t, int& error) override { return Fail(error); }
  int64_t Seek(TFileHandle, int64_t, int& error) override { return Fail(error); }
  int64_t Tell(TFileHandle) override { return 0; }
  int64_t GetSize(TFileHandle) override { return 0; }
  bool Close(TFileHandle, int&) override { return true; }
  bool Exists(const TStr&) override { return false; }
  bool Remove(const TStr&) override { return false; }
  TStr GetProgramFolder() override { return TStr("."); }
  TStr CreateTempFile(const TStr&, const TStr&) override { return TStr(); }
  bool Run(const TStr&) override { return false; }
  IFolderSearch* Search(const TStr&, const TStr&) override { return nullptr; }
  TStr ErrorText(int) override { return TStr("No file system"); }

private:
  static int64_t Fail(int& error) {
    error = ENOSYS;
    return -1;
  }
};

TNoFileSystem noFileSystem;
std::atomic<IFileSystem*> installed{nullptr};
}  // namespace

IFileSystem* SetFileSystem(IFileSystem* fileSystem) { return installed.exchange(fileSystem); }

IFileSystem& GetFileSystem() {
  IFileSystem* current = installed.load();
  return current ? *current : noFileSystem;
}
