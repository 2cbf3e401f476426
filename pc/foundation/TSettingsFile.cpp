#include "pc/foundation/TSettingsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// ---- Text form -------------------------------------------------------------
constexpr std::string_view dwordWord = "dword";
constexpr std::string_view stringWord = "string";

// Length of the valid UTF-8 sequence that starts at text[at] (a byte >= 0x80), or 0.
size_t Utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

void AppendHex(std::string& out, unsigned char byte) {
  static const char digits[] = "0123456789ABCDEF";
  out += "\\x";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Printable ASCII and valid UTF-8 stay as they are; everything else is escaped, so
// that any byte survives the file. Names also escape what separates the fields.
std::string Escape(std::string_view text, bool isName) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8Length(text, i);
      if (length) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        AppendHex(out, c);
        ++i;
      }
      continue;
    }
    ++i;
    if (isName && (c == ' ' || c == '=' || c == '#' || c == '"')) AppendHex(out, c);
    else if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7F) AppendHex(out, c);
    else out += static_cast<char>(c);
  }
  return out;
}

// Reads escaped text from text[at] up to a byte in stops (or the end); at moves to
// that byte. False when the text holds a byte or an escape that Escape never writes.
bool Unescape(std::string_view text, size_t& at, std::string_view stops, std::string& out) {
  while (at < text.size()) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (stops.find(static_cast<char>(c)) != std::string_view::npos) return true;
    if (c >= 0x80) {
      const size_t length = Utf8Length(text, at);
      if (!length) return false;
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    if (c < 0x20 || c == 0x7F || c == '"') return false;
    if (c != '\\') {
      out += static_cast<char>(c);
      ++at;
      continue;
    }
    if (at + 1 >= text.size()) return false;
    const char kind = text[at + 1];
    at += 2;
    switch (kind) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (at + 2 > text.size()) return false;
        const int high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        at += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

void SkipBlanks(std::string_view text, size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

bool TakeWord(std::string_view text, size_t& at, std::string_view word) {
  if (text.substr(at, word.size()) != word) return false;
  at += word.size();
  return true;
}

bool ParseDword(std::string_view text, size_t& at, std::string& data) {
  if (!TakeWord(text, at, "0x") || at + 8 > text.size()) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    const int digit = HexDigit(text[at + i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  at += 8;
  data.assign(reinterpret_cast<const char*>(&value), sizeof value);
  return true;
}

bool ParseString(std::string_view text, size_t& at, std::string& data) {
  if (!TakeWord(text, at, "\"")) return false;
  if (!Unescape(text, at, "\"", data) || at >= text.size()) return false;  // no closing quote
  ++at;
  data += '\0';
  return true;
}

// name = dword 0xHHHHHHHH  |  name = string "text"
bool ParseLine(std::string_view line, TSettingsFile::TEntry& entry) {
  size_t at = 0;
  SkipBlanks(line, at);
  if (!Unescape(line, at, " \t=", entry.name)) return false;
  SkipBlanks(line, at);
  if (!TakeWord(line, at, "=")) return false;
  SkipBlanks(line, at);
  bool parsed;
  if (TakeWord(line, at, dwordWord)) {
    entry.kind = RegistryDword;
    const size_t before = at;
    SkipBlanks(line, at);
    parsed = at > before && ParseDword(line, at, entry.data);
  } else if (TakeWord(line, at, stringWord)) {
    entry.kind = RegistryString;
    const size_t before = at;
    SkipBlanks(line, at);
    parsed = at > before && ParseString(line, at, entry.data);
  } else {
    return false;
  }
  SkipBlanks(line, at);
  return parsed && at == line.size();
}

bool IsComment(std::string_view line) {
  size_t at = 0;
  SkipBlanks(line, at);
  return at == line.size() || line[at] == '#';
}

TSettingsFile::TEntry* Find(TSettingsFile::TEntries& entries, std::string_view name) {
  for (TSettingsFile::TEntry& entry : entries)
    if (entry.name == name) return &entry;
  return nullptr;
}

// ---- Files -----------------------------------------------------------------
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Creates every missing folder of path (private to the user, as configuration is).
bool MakeFolders(const std::string& path) {
  struct stat info {};
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::stat(part.c_str(), &info) != 0 && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

// ---- TSettingsFile ---------------------------------------------------------
TSettingsFile::TSettingsFile(std::string filePath, std::string keyName)
    : path(std::move(filePath)),
      keyPath(std::move(keyName)),
      folder(FolderOf(path)),
      lockPath(path + ".lock"),
      tempPath(path + ".tmp") {}

int TSettingsFile::Parse(std::string_view text, TEntries& entries) {
  int unreadable = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsComment(line)) continue;
    TEntry entry;
    if (!ParseLine(line, entry)) {
      ++unreadable;
      continue;
    }
    if (TEntry* old = Find(entries, entry.name)) *old = std::move(entry);
    else entries.push_back(std::move(entry));
  }
  return unreadable;
}

std::string TSettingsFile::Format(const TEntries& entries, std::string_view keyName) {
  std::string text = "# Settings of " + Escape(keyName, false) +
                     ", one value a line:\n"
                     "#   Name = dword 0x0000002A   (a 32-bit value, eight hex digits)\n"
                     "#   Name = string \"text\"      (escapes: \\\\ \\\" \\n \\r \\t \\xHH)\n";
  char hex[16];
  for (const TEntry& entry : entries) {
    if (entry.kind == RegistryDword && entry.data.size() == sizeof(uint32_t)) {
      uint32_t value;
      std::memcpy(&value, entry.data.data(), sizeof value);
      std::snprintf(hex, sizeof hex, "0x%08X", value);
      text += Escape(entry.name, true) + " = dword " + hex + "\n";
    } else if (entry.kind == RegistryString) {
      std::string_view data = entry.data;
      if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
      text += Escape(entry.name, true) + " = string \"" + Escape(data, false) + "\"\n";
    }
  }
  return text;
}

TSettingsFile::ERead TSettingsFile::ReadEntries(TEntries& entries) const {
  entries.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ERead::Missing : ERead::Failed;
  std::string text;
  char buffer[65536];
  bool failed = false;
  while (text.size() < maxFileBytes) {
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, maxFileBytes - text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  if (failed) return ERead::Failed;
  Parse(text, entries);
  return ERead::Read;
}

int TSettingsFile::OpenLocked() const {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    ::close(fd);
    return -1;
  }
  return fd;
}

bool TSettingsFile::Replace(const std::string& text) const {
  const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

bool TSettingsFile::Update(const std::function<void(TEntries&)>& change) {
  const int lock = OpenLocked();
  if (lock < 0) return false;
  TEntries entries;
  // A file that exists but cannot be read is left alone rather than replaced by
  // one that holds only this change.
  bool ok = ReadEntries(entries) != ERead::Failed;
  if (ok) {
    change(entries);
    ok = Replace(Format(entries, keyPath));
  }
  ::close(lock);  // releases the lock
  return ok;
}

bool TSettingsFile::Create(bool& created) {
  created = false;
  if (!MakeFolders(folder)) return false;
  const int lock = OpenLocked();
  if (lock < 0) return false;
  bool ok;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    created = errno == ENOENT;
    ok = created && Replace(Format({}, keyPath));
  } else {
    // The folder must take the temporary file that every change writes; this also
    // removes one left behind by a program that was killed while writing.
    const int probe = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ok = S_ISREG(info.st_mode) && probe >= 0;
    if (probe >= 0) {
      ::close(probe);
      ::unlink(tempPath.c_str());
    }
  }
  ::close(lock);
  return ok;
}

bool TSettingsFile::QueryValue(const TStr& name, uint32_t& kind, std::string& data) {
  TEntries entries;
  if (ReadEntries(entries) != ERead::Read) return false;
  const TEntry* entry = Find(entries, name);
  if (!entry) return false;
  kind = entry->kind;
  data = entry->data;
  return true;
}

bool TSettingsFile::SetValue(const TStr& name, uint32_t kind, std::string_view data) {
  if (kind == RegistryDword && data.size() != sizeof(uint32_t)) return false;
  if (kind != RegistryDword && kind != RegistryString) return false;
  return Update([&](TEntries& entries) {
    TEntry entry{std::string(name), kind, std::string(data)};
    if (kind == RegistryString && (entry.data.empty() || entry.data.back() != '\0')) entry.data += '\0';
    if (TEntry* old = Find(entries, entry.name)) *old = std::move(entry);
    else entries.push_back(std::move(entry));
  });
}

bool TSettingsFile::DeleteValue(const TStr& name) {
  return Update([&](TEntries& entries) {
    const std::string_view key(name);
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const TEntry& e) { return e.name == key; }),
                  entries.end());
  });
}
