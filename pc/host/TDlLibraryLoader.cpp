#include "TDlLibraryLoader.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {
std::mutex errorMutex;
std::string lastError;

TStr WithSlashes(const TStr& path) {
  std::string text{std::string_view(path)};
  for (char& c : text)
    if (c == '\\') c = '/';
  // A bare name is a file of the current folder, never one of the system's library path.
  if (text.find('/') == std::string::npos) text = "./" + text;
  return TStr(std::string_view(text));
}
}  // namespace

namespace {
bool ReadAt(int fd, void* buffer, size_t bytes, off_t offset) {
  return pread(fd, buffer, bytes, offset) == static_cast<ssize_t>(bytes);
}

// The system's loader maps a library's segments before it looks at them closely; a
// file cut short then faults inside it. So a library is opened only when it is a
// 64-bit shared object of this machine whose headers and loaded segments lie within
// the file.
bool IsWholeSharedObject(const char* path, std::string& reason) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = "cannot open";
    return false;
  }
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const uint64_t size = ok ? static_cast<uint64_t>(info.st_size) : 0;
  Elf64_Ehdr header{};
  ok = ok && ReadAt(fd, &header, sizeof header, 0) && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
       header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == ELFDATA2LSB &&
       header.e_machine == EM_X86_64 && header.e_type == ET_DYN && header.e_phentsize == sizeof(Elf64_Phdr) &&
       header.e_phnum > 0 && header.e_phoff < size &&
       header.e_phoff + uint64_t(header.e_phnum) * sizeof(Elf64_Phdr) <= size;
  if (ok && header.e_shnum > 0)
    ok = header.e_shoff < size && header.e_shoff + uint64_t(header.e_shnum) * header.e_shentsize <= size;
  if (ok) {
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    ok = ReadAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr), static_cast<off_t>(header.e_phoff));
    for (size_t i = 0; ok && i < segments.size(); ++i) {
      const Elf64_Phdr& segment = segments[i];
      if (segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC)
        ok = segment.p_offset <= size && segment.p_filesz <= size - segment.p_offset;
    }
  }
  close(fd);
  if (!ok) reason = "not a whole 64-bit shared object";
  return ok;
}
}  // namespace

void* TDlLibraryLoader::Load(const TStr& path) {
  const TStr file = WithSlashes(path);
  std::string reason;
  if (!IsWholeSharedObject(file.Text(), reason)) {
    std::lock_guard<std::mutex> guard(errorMutex);
    lastError = reason;
    return nullptr;
  }
  // RTLD_LOCAL: the plug-in's symbols never replace the host's or another plug-in's.
  void* library = dlopen(file.Text(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    std::lock_guard<std::mutex> guard(errorMutex);
    lastError = reason ? reason : "";
  }
  return library;
}

void* TDlLibraryLoader::FindEntry(void* library, const char* name) {
  if (!library || !name) return nullptr;
  dlerror();
  return dlsym(library, name);
}

void TDlLibraryLoader::Unload(void* library) {
  if (library) dlclose(library);
}

void TDlLibraryLoader::Install() {
  static TDlLibraryLoader loader;
  SetLibraryLoader(&loader);
}

TStr TDlLibraryLoader::LastError() {
  std::lock_guard<std::mutex> guard(errorMutex);
  return TStr(std::string_view(lastError));
}
