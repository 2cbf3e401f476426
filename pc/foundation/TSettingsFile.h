// One settings key kept as a human-readable text file, one value a line:
//   AudioPort = dword 0x00000003
//   LastFolder = string "/home/me/kits"
// Every change is made under a lock file, on the file as it is on disk at that
// moment, and replaces the file atomically (temporary file, fsync, rename), so that
// a kill at any instant leaves the old or the new file and two programs sharing the
// file lose none of each other's changes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/IRegistryBackend.h"

class TSettingsFile : public TBase, public IRegistryKey {
public:
  struct TEntry {
    std::string name;
    uint32_t kind = RegistryNone;
    std::string data;  // a string's data ends with its terminating zero
  };
  using TEntries = std::vector<TEntry>;

  // Files beyond this size are read only up to it.
  static constexpr size_t maxFileBytes = 16 * 1024 * 1024;

  // filePath: the settings file; keyPath: the key's name, for the file's header.
  TSettingsFile(std::string filePath, std::string keyPath);

  // Creates the folder and the file when missing. False when the folder does not
  // take files (the key then stays unopened).
  bool Create(bool& created);

  bool QueryValue(const TStr& name, uint32_t& kind, std::string& data) override;
  bool SetValue(const TStr& name, uint32_t kind, std::string_view data) override;
  bool DeleteValue(const TStr& name) override;

  const std::string& GetPath() const { return path; }

  // The text form. Parse skips every line it cannot read and answers their number;
  // a name that occurs twice keeps its last value.
  static int Parse(std::string_view text, TEntries& entries);
  static std::string Format(const TEntries& entries, std::string_view keyPath);

private:
  enum class ERead { Missing, Read, Failed };
  ERead ReadEntries(TEntries& entries) const;
  // Locks, reads the file again, applies change and replaces the file.
  bool Update(const std::function<void(TEntries&)>& change);
  bool Replace(const std::string& text) const;
  int OpenLocked() const;

  std::string path;
  std::string keyPath;
  std::string folder;
  std::string lockPath;
  std::string tempPath;
};
