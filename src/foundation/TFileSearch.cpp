#include "TFileSearch.h"

TFileSearch::TFileSearch(const TStr& folder, const TStr& pattern)
    : folder(folder), search(GetFileSystem().Search(folder, pattern)) {}

TFileSearch::~TFileSearch() { End(); }

void TFileSearch::End() {
  ::Release(search);
  search = nullptr;
}

bool TFileSearch::Next() {
  if (!search) return false;
  if (search->Next(found)) return true;
  End();
  found = TFoundFile();
  return false;
}

TStr TFileSearch::GetPath() const {
  if (folder.IsEmpty()) return found.name;
  if (folder[folder.Length() - 1] == '/') return folder + found.name;
  return folder + "/" + found.name;
}
