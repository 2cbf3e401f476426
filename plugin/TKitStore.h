// Kit files: the kit's chunk in a file of its own under
// $XDG_DATA_HOME/Thudra/Kits (~/.local/share/Thudra/Kits without it).
#pragma once
#include <string>

#include "TKit.h"

class TKitStore {
public:
  static constexpr const char* extension = ".tkit";

  static std::string Folder();
  // Writes "<kit name>.tkit" (through a temporary file, so an old kit of that name
  // survives a failed write). Answers the file's path, or "" with `error` set.
  static std::string Save(const TKit& kit, std::string& error);
  // Reads the most recently written kit file. A damaged one is refused and `kit`
  // stays as it was. Answers the file's path, or "" with `error` set.
  static std::string LoadLatest(TKit& kit, std::string& error);
};
