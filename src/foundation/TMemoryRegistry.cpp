#include "TMemoryRegistry.h"

namespace {
class TMemoryKey : public TBase, public IRegistryKey {
public:
  explicit TMemoryKey(TMemoryRegistry::TValues& keyValues) : values(keyValues) {}

  bool QueryValue(const TStr& name, uint32_t& kind, std::string& data) override {
    const auto found = values.find(std::string(name));
    if (found == values.end()) return false;
    kind = found->second.kind;
    data = found->second.data;
    return true;
  }
  bool SetValue(const TStr& name, uint32_t kind, std::string_view data) override {
    values[std::string(name)] = {kind, std::string(data)};
    return true;
  }
  bool DeleteValue(const TStr& name) override {
    values.erase(std::string(name));
    return true;
  }

private:
  TMemoryRegistry::TValues& values;
};
}  // namespace

IRegistryKey* TMemoryRegistry::OpenKey(const TStr& path, bool& created) {
  if (refuseOpen) return nullptr;
  const std::string keyPath(path);
  created = !HasKey(keyPath);
  return new TMemoryKey(keys[keyPath]);
}
