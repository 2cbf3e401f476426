// Settings keys held in memory, for tests and for programs that keep no settings.
#pragma once
#include <map>
#include <string>

#include "IRegistryBackend.h"

class TMemoryRegistry : public IRegistryBackend {
public:
  struct TValue {
    uint32_t kind = RegistryNone;
    std::string data;
  };
  using TValues = std::map<std::string, TValue>;

  IRegistryKey* OpenKey(const TStr& path, bool& created) override;

  // A refused key stays unopened, as one without access.
  void RefuseOpen(bool refuse) { refuseOpen = refuse; }
  // The values of a key (created empty when it does not exist).
  TValues& Values(const std::string& path) { return keys[path]; }
  bool HasKey(const std::string& path) const { return keys.count(path) != 0; }

private:
  std::map<std::string, TValues> keys;
  bool refuseOpen = false;
};
