#include "TPosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace {
int Fd(TFileHandle handle) { return static_cast<int>(handle); }

// Splits "*.wav;*.aif" into its patterns; "*.*" matches every name, as the
// dialogs' "All Files" filter means.
std::vector<std::string> Patterns(const TStr& pattern) {
  std::vector<std::string> result;
  const std::string_view all(pattern);
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view one = all.substr(start, end - start);
    if (!one.empty()) result.emplace_back(one == "*.*" ? std::string_view("*") : one);
    start = end + 1;
  }
  if (result.empty()) result.emplace_back("*");
  return result;
}

class TPosixFolderSearch : public TBase, public IFolderSearch {
public:
  TPosixFolderSearch(DIR* dir, std::string folder, std::vector<std::string> patterns)
      : dir(dir), folder(std::move(folder)), patterns(std::move(patterns)) {}
  ~TPosixFolderSearch() override { closedir(dir); }

  bool Next(TFoundFile& found) override {
    while (dirent* entry = readdir(dir)) {
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (!Matches(name)) continue;
      struct stat info {};
      const std::string path = folder + "/" + name;
      if (stat(path.c_str(), &info) != 0) continue;
      found.name = TStr(name);
      found.isFolder = S_ISDIR(info.st_mode);
      found.size = found.isFolder ? 0 : static_cast<int64_t>(info.st_size);
      return true;
    }
    return false;
  }

private:
  bool Matches(const char* name) const {
    for (const std::string& pattern : patterns)
      if (fnmatch(pattern.c_str(), name, FNM_CASEFOLD) == 0) return true;
    return false;
  }

  DIR* dir;
  std::string folder;
  std::vector<std::string> patterns;
};
}  // namespace

TFileHandle TPosixFileSystem::Open(const TStr& path, EFileMode mode, int& error) {
  int flags = O_CLOEXEC;
  int lock = LOCK_EX;
  switch (mode) {
    case EFileMode::Read:
      flags |= O_RDONLY;
      lock = LOCK_SH;
      break;
    case EFileMode::Write: flags |= O_WRONLY | O_CREAT; break;
    case EFileMode::ReadWrite: flags |= O_RDWR | O_CREAT; break;
  }
  const int fd = ::open(path.Text(), flags, 0666);
  if (fd < 0) {
    error = errno;
    return invalidFileHandle;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return invalidFileHandle;
  }
  // The lock comes before truncating, so a file that someone else uses is left intact.
  if (flock(fd, lock | LOCK_NB) != 0 || (mode == EFileMode::Write && ftruncate(fd, 0) != 0)) {
    error = errno;
    ::close(fd);
    return invalidFileHandle;
  }
  if (mode == EFileMode::Read) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

int64_t TPosixFileSystem::Read(TFileHandle handle, void* buffer, int64_t bytes, int& error) {
  while (true) {
    const ssize_t got = ::read(Fd(handle), buffer, static_cast<size_t>(bytes));
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = errno;
      return -1;
    }
  }
}

int64_t TPosixFileSystem::Write(TFileHandle handle, const void* buffer, int64_t bytes, int& error) {
  while (true) {
    const ssize_t put = ::write(Fd(handle), buffer, static_cast<size_t>(bytes));
    if (put >= 0) return put;
    if (errno != EINTR) {
      error = errno;
      return -1;
    }
  }
}

int64_t TPosixFileSystem::Seek(TFileHandle handle, int64_t position, int& error) {
  const off_t at = lseek(Fd(handle), static_cast<off_t>(position), SEEK_SET);
  if (at < 0) error = errno;
  return at;
}

int64_t TPosixFileSystem::Tell(TFileHandle handle) {
  const off_t at = lseek(Fd(handle), 0, SEEK_CUR);
  return at < 0 ? 0 : at;
}

int64_t TPosixFileSystem::GetSize(TFileHandle handle) {
  struct stat info {};
  return fstat(Fd(handle), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

bool TPosixFileSystem::Close(TFileHandle handle, int& error) {
  // The descriptor is gone even when close reports an error; never close it twice.
  if (::close(Fd(handle)) == 0 || errno == EINTR) return true;
  error = errno;
  return false;
}

bool TPosixFileSystem::Exists(const TStr& path) {
  struct stat info {};
  return !path.IsEmpty() && stat(path.Text(), &info) == 0;
}

bool TPosixFileSystem::Remove(const TStr& path) { return ::unlink(path.Text()) == 0; }

TStr TPosixFileSystem::GetProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return TStr(".");
  std::string path(buffer.data(), static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return TStr(".");
  if (slash == 0) return TStr("/");
  return TStr(path.substr(0, slash));
}

TStr TPosixFileSystem::CreateTempFile(const TStr& folder, const TStr& prefix) {
  std::string base(folder.IsEmpty() ? "." : folder.Text());
  std::string name(prefix.Text());
  if (name.find('/') != std::string::npos) return TStr();
  std::string path = base + "/" + name + "XXXXXX";
  std::vector<char> pattern(path.begin(), path.end());
  pattern.push_back(0);
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return TStr();
  ::close(fd);
  return TStr(pattern.data());
}

bool TPosixFileSystem::Run(const TStr& path) {
  if (path.IsEmpty()) return false;
  pid_t child = 0;
  char* argv[] = {const_cast<char*>(path.Text()), nullptr};
  if (posix_spawn(&child, path.Text(), nullptr, nullptr, argv, environ) != 0) return false;
  // Nobody waits for the program; reap it when it ends so that it leaves no zombie.
  try {
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  } catch (...) {
  }
  return true;
}

IFolderSearch* TPosixFileSystem::Search(const TStr& folder, const TStr& pattern) {
  const std::string where(folder.IsEmpty() ? "." : folder.Text());
  DIR* dir = opendir(where.c_str());
  if (!dir) return nullptr;
  return new TPosixFolderSearch(dir, where, Patterns(pattern));
}

TStr TPosixFileSystem::ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r answers the text, which may or may not be in buffer.
  const char* text = strerror_r(error, buffer, sizeof(buffer));
  return TStr(text);
}
