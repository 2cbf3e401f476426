// The kit folders in the Hydrogen drumkit format that the instrument finds: each
// folder with a drumkit.xml under $XDG_DATA_HOME/hydrogen/data/drumkits (default
// ~/.local/share) and under /usr/share/hydrogen/data/drumkits. A kit is known by
// its folder's name; the user's folder comes first when both have one.
//
// Reads the file system only: any thread but the audio thread.
#pragma once
#include <string>
#include <vector>

struct TDrumkitEntry {
  std::string name;    // the folder's name
  std::string folder;  // its path
};

class TDrumkitLibrary {
public:
  static constexpr const char* defaultKit = "GMRockKit";
  static constexpr const char* systemRoot = "/usr/share/hydrogen/data/drumkits";

  static std::vector<std::string> Roots();
  // Every kit found, sorted by name without regard to case.
  static std::vector<TDrumkitEntry> List();
  // The folder of the kit of this name, or "" (also for names that are no plain
  // folder name, such as "..", "a/b" or "").
  static std::string Find(const std::string& name);
  static bool IsPlainName(const std::string& name);
};
