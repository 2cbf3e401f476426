#include "TKitStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string FileBaseName(const char* kitName) {
  std::string name;
  for (const char* p = kitName; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                       c == '-' || c == '_' || c == '.';
    name += plain ? static_cast<char>(c) : '_';
  }
  while (!name.empty() && (name.front() == '.' || name.front() == ' ')) name.erase(name.begin());
  return name.empty() ? std::string("Kit") : name;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string TKitStore::Folder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data) {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local/share";
  }
  return base + "/Thudra/Kits";
}

std::string TKitStore::Save(const TKit& kit, std::string& error) {
  const fs::path folder = Folder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    error = "Cannot create the folder " + folder.string();
    return {};
  }
  const fs::path target = folder / (FileBaseName(kit.name) + extension);
  const fs::path temporary = target.string() + ".partial";
  const std::vector<uint8_t> chunk = kit.ToChunk();
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool written = fd >= 0 && WriteAll(fd, chunk.data(), chunk.size()) && ::fsync(fd) == 0;
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    error = "Cannot write the kit file " + target.string();
    return {};
  }
  return target.string();
}

std::string TKitStore::LoadLatest(TKit& kit, std::string& error) {
  const fs::path folder = Folder();
  std::error_code ec;
  fs::path latest;
  fs::file_time_type latestTime{};
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (p.extension() != extension || !it->is_regular_file(ec)) continue;
    const fs::file_time_type t = it->last_write_time(ec);
    if (ec) continue;
    if (latest.empty() || t > latestTime || (t == latestTime && p > latest)) {
      latest = p;
      latestTime = t;
    }
  }
  if (latest.empty()) {
    error = "No kit has been saved in " + folder.string();
    return {};
  }
  std::vector<uint8_t> data(TKit::chunkSize + 1);
  size_t size = 0;
  if (FILE* f = std::fopen(latest.c_str(), "rbe")) {
    size = std::fread(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
  if (!TKit::FromChunk(data.data(), size, kit)) {
    error = "The kit file " + latest.string() + " is damaged";
    return {};
  }
  return latest.string();
}
