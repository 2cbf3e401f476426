// The library loader of this platform: dlopen of an ELF shared object.
#pragma once
#include "plughost/ILibraryLoader.h"

class TDlLibraryLoader : public ILibraryLoader {
public:
  void* Load(const TStr& path) override;
  void* FindEntry(void* library, const char* name) override;
  void Unload(void* library) override;

  // Installs the process-wide loader (once; again does nothing).
  static void Install();
  // The reason of the last failed Load, for diagnostics.
  static TStr LastError();
};
