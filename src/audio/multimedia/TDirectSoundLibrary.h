// The DirectSound helper library orbds.dll, loaded from the program's folder when
// the system's sound library can be loaded, and used only when all nine entries are
// there.
//
// Threading: Load and the destructor on the main thread; the entries as the library
// says (DirectSoundEntries.h).
#pragma once
#include "audio/DirectSoundEntries.h"
#include "foundation/TParamStr.h"

class TDirectSoundLibrary {
public:
  static constexpr const char* fileName = "orbds.dll";

  TDirectSoundLibrary() = default;
  ~TDirectSoundLibrary();
  TDirectSoundLibrary(const TDirectSoundLibrary&) = delete;
  TDirectSoundLibrary& operator=(const TDirectSoundLibrary&) = delete;

  // Loads it; a missing library shows the library message (once per process).
  bool Load();
  bool IsLoaded() const { return library != nullptr; }

  TDsGetNumDevices getNumDevices = nullptr;
  TDsGetDeviceName getDeviceName = nullptr;
  TDsOpen open = nullptr;
  TDsClose close = nullptr;
  TDsStart start = nullptr;
  TDsStop stop = nullptr;
  TDsLock lock = nullptr;
  TDsUnLock unlock = nullptr;
  TDsGetNumSamplesAhead getNumSamplesAhead = nullptr;

private:
  void Unload();

  void* library = nullptr;
};

namespace Msg {
extern TParamStr orbdsMissing;
}  // namespace Msg
