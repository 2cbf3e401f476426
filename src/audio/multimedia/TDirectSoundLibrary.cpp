#include "TDirectSoundLibrary.h"

#include <atomic>

#include "audio/IWaveDevices.h"
#include "foundation/IFileSystem.h"
#include "foundation/Messages.h"
#include "plughost/ILibraryLoader.h"

namespace Msg {
TParamStr orbdsMissing(
    "orbds.dll is missing. Please install this version again. The program's package holds it; "
    "put it back beside the program (or reinstall the package), or ask the one who gave you the program for help.");
}  // namespace Msg

namespace {
std::atomic<bool> missingShown{false};

template <typename T>
bool Find(void* library, T& entry, const char* name) {
  entry = reinterpret_cast<T>(GetLibraryLoader().FindEntry(library, name));
  return entry != nullptr;
}
}  // namespace

TDirectSoundLibrary::~TDirectSoundLibrary() { Unload(); }

bool TDirectSoundLibrary::Load() {
  if (library) return true;
  if (!GetWaveDevices().IsSystemSoundLibraryPresent()) return false;
  library = GetLibraryLoader().Load(GetFileSystem().GetProgramFolder() + "/" + fileName);
  if (!library) {
    if (!missingShown.exchange(true)) ShowError(Msg::orbdsMissing, 0);
    return false;
  }
  bool all = Find(library, getNumDevices, "DsGetNumDevices");
  all = Find(library, getDeviceName, "DsGetDeviceName") && all;
  all = Find(library, open, "DsOpen") && all;
  all = Find(library, close, "DsClose") && all;
  all = Find(library, start, "DsStart") && all;
  all = Find(library, stop, "DsStop") && all;
  all = Find(library, lock, "DsLock") && all;
  all = Find(library, unlock, "DsUnLock") && all;
  all = Find(library, getNumSamplesAhead, "DsGetNumSamplesAhead") && all;
  if (!all) Unload();
  return all;
}

void TDirectSoundLibrary::Unload() {
  if (library) GetLibraryLoader().Unload(library);
  library = nullptr;
  getNumDevices = nullptr;
  getDeviceName = nullptr;
  open = nullptr;
  close = nullptr;
  start = nullptr;
  stop = nullptr;
  lock = nullptr;
  unlock = nullptr;
  getNumSamplesAhead = nullptr;
}
