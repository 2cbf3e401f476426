// Lists the entries of a folder that match a pattern ("*.wav", "*.wav;*.aif",
// "*.*" for all). The search is closed when the enumeration ends or the object
// goes away.
#pragma once
#include "IFileSystem.h"

class TFileSearch {
public:
  TFileSearch(const TStr& folder, const TStr& pattern);
  ~TFileSearch();
  TFileSearch(const TFileSearch&) = delete;
  TFileSearch& operator=(const TFileSearch&) = delete;

  // Moves to the next entry; false at the end (or when the folder cannot be read).
  bool Next();
  const TStr& GetName() const { return found.name; }
  bool IsFolder() const { return found.isFolder; }
  int64_t GetSize() const { return found.size; }
  // Folder, "/", name.
  TStr GetPath() const;

private:
  void End();

  TStr folder;
  IFolderSearch* search;
  TFoundFile found;
};
