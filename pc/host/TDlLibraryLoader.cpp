#include "TDlLibraryLoader.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

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

void* TDlLibraryLoader::Load(const TStr& path) {
  // RTLD_LOCAL: the plug-in's symbols never replace the host's or another plug-in's.
  void* library = dlopen(WithSlashes(path).Text(), RTLD_NOW | RTLD_LOCAL);
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
