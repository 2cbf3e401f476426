#include "pc/foundation/TSettingsStore.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "foundation/IRegistry.h"
#include "pc/foundation/TSettingsFile.h"

TSettingsStore::TSettingsStore(std::string home) : configHome(std::move(home)) {}

std::string TSettingsStore::UserConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return std::string(found->pw_dir) + "/.config";
  return {};
}

namespace {
bool IsUsablePart(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (const char c : part)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}
}  // namespace

std::string TSettingsStore::FileForKey(const std::string& home, std::string_view keyPath) {
  if (home.empty()) return {};
  std::vector<std::string_view> parts;
  while (true) {
    const size_t end = keyPath.find_first_of("\\/");
    parts.push_back(keyPath.substr(0, end));
    if (end == std::string_view::npos) break;
    keyPath.remove_prefix(end + 1);
  }
  if (parts.size() > 1 && parts.front().size() == 8 && strncasecmp(parts.front().data(), "Software", 8) == 0)
    parts.erase(parts.begin());
  std::string file = home;
  while (file.size() > 1 && file.back() == '/') file.pop_back();
  for (const std::string_view part : parts) {
    if (!IsUsablePart(part)) return {};
    file += '/';
    file += part;
  }
  return file + ".conf";
}

IRegistryKey* TSettingsStore::OpenKey(const TStr& path, bool& created) {
  created = false;
  const std::string file = FileForKey(configHome.empty() ? UserConfigHome() : configHome, path);
  if (file.empty()) return nullptr;
  auto* key = new TSettingsFile(file, std::string(path));
  if (!key->Create(created)) {
    key->Release();
    return nullptr;
  }
  return key;
}

TSettingsStore& TSettingsStore::InstallForUser() {
  static TSettingsStore store;
  SetRegistryBackend(&store);
  return store;
}
