// The recent-file list of the File menu: up to 8 names read from the settings
// values "File1" to "File8" (stopping at the first empty one), shown before "E&xit".
// Choosing one does nothing.
#pragma once
#include <vector>

#include "TMenu.h"

class TFileMenu : public TBase {
public:
  static constexpr int32_t maxFiles = 8;

  TFileMenu();

  // Inserts the items (ids 1021 on) and, when there is one, the separator 1020.
  void Attach(TMenu& mainMenu);
  const std::vector<TStr>& GetFiles() const { return files; }
  // A path with more than one folder separator, with "..." for its middle part.
  static TStr Shorten(const TStr& path);

private:
  std::vector<TStr> files;
};
