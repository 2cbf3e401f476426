#include "TASIOLibrary.h"

#include <mutex>

#include "foundation/IFileSystem.h"
#include "plughost/ILibraryLoader.h"

namespace {
std::mutex pathMutex;
TStr& ChosenPath() {
  static TStr path;
  return path;
}
}  // namespace

TStr TASIOLibrary::GetLibraryPath() {
  {
    std::lock_guard<std::mutex> guard(pathMutex);
    if (!ChosenPath().IsEmpty()) return ChosenPath();
  }
  return GetFileSystem().GetProgramFolder() + "/" + Asio::libraryName;
}

void TASIOLibrary::SetLibraryPath(const TStr& path) {
  std::lock_guard<std::mutex> guard(pathMutex);
  ChosenPath() = path;
}

bool TASIOLibrary::IsComplete(const TAsioOrdinals* table) {
  return table && table->count >= Asio::ordinalCount && table->listDrivers && table->initDriver &&
         table->exitDriver && table->createBuffers && table->disposeBuffers && table->start && table->stop &&
         table->outputReady && table->selectClock && table->controlPanel;
}

bool TASIOLibrary::Load() {
  Unload();
  ILibraryLoader& loader = GetLibraryLoader();
  library = loader.Load(GetLibraryPath());
  if (!library) return false;
  auto entry = reinterpret_cast<TAsioEntry>(loader.FindEntry(library, Asio::entryName));
  const TAsioOrdinals* table = entry ? entry() : nullptr;
  if (!IsComplete(table)) {
    Unload();
    return false;
  }
  ops = table;
  return true;
}

void TASIOLibrary::Unload() {
  ops = nullptr;
  if (library) GetLibraryLoader().Unload(library);
  library = nullptr;
}
