#include "TDrumkitLibrary.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <strings.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool HasDrumkitXml(const fs::path& folder) {
  std::error_code ec;
  return fs::is_regular_file(folder / "drumkit.xml", ec);
}

}  // namespace

std::vector<std::string> TDrumkitLibrary::Roots() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string user;
  if (data && *data) {
    user = data;
  } else {
    const char* home = std::getenv("HOME");
    user = std::string(home && *home ? home : "/tmp") + "/.local/share";
  }
  return {user + "/hydrogen/data/drumkits", systemRoot};
}

bool TDrumkitLibrary::IsPlainName(const std::string& name) {
  return !name.empty() && name.size() < 128 && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

std::vector<TDrumkitEntry> TDrumkitLibrary::List() {
  std::vector<TDrumkitEntry> kits;
  std::set<std::string> seen;
  for (const std::string& root : Roots()) {
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!IsPlainName(name) || seen.count(name) || !HasDrumkitXml(it->path())) continue;
      seen.insert(name);
      kits.push_back({name, it->path().string()});
    }
  }
  std::sort(kits.begin(), kits.end(), [](const TDrumkitEntry& a, const TDrumkitEntry& b) {
    const int order = strcasecmp(a.name.c_str(), b.name.c_str());
    return order != 0 ? order < 0 : a.name < b.name;
  });
  return kits;
}

std::string TDrumkitLibrary::Find(const std::string& name) {
  if (!IsPlainName(name)) return {};
  for (const std::string& root : Roots()) {
    const fs::path folder = fs::path(root) / name;
    if (HasDrumkitXml(folder)) return folder.string();
  }
  return {};
}
