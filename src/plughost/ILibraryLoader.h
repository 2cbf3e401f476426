// The system's library loader as the plug-in wrapper sees it. The platform side
// installs one (dlopen); tests may install their own. Without one nothing loads.
#pragma once
#include "foundation/TStr.h"

class ILibraryLoader {
public:
  virtual ~ILibraryLoader() = default;
  // Null when the library cannot be loaded.
  virtual void* Load(const TStr& path) = 0;
  // Null when the library exports no such entry.
  virtual void* FindEntry(void* library, const char* name) = 0;
  virtual void Unload(void* library) = 0;
};

// Installs the loader used from now on (null: none). Answers the old one.
ILibraryLoader* SetLibraryLoader(ILibraryLoader* loader);
ILibraryLoader& GetLibraryLoader();
