// VMASIO.dll as the driver port uses it: loaded through the program's library loader
// (by default from the program's folder), its entry found and its table checked. A
// library that is missing, lacks the entry or answers a table shorter than ten
// operations or with a gap gives no operations, and so no drivers.
//
// Threads: the main thread.
#pragma once
#include "AsioLibrary.h"
#include "foundation/TStr.h"

class TASIOLibrary {
public:
  TASIOLibrary() = default;
  ~TASIOLibrary() { Unload(); }
  TASIOLibrary(const TASIOLibrary&) = delete;
  TASIOLibrary& operator=(const TASIOLibrary&) = delete;

  // VMASIO.dll in the program's folder, unless a path was set.
  static TStr GetLibraryPath();
  // Tests choose another library (an empty path: the program's own again).
  static void SetLibraryPath(const TStr& path);
  static bool IsComplete(const TAsioOrdinals* table);

  // Loads the library of GetLibraryPath(); answers whether its operations are there.
  bool Load();
  void Unload();
  bool IsLoaded() const { return ops != nullptr; }
  // Only when loaded.
  const TAsioOrdinals& Ops() const { return *ops; }

private:
  void* library = nullptr;
  const TAsioOrdinals* ops = nullptr;
};
