// The storage beneath the settings store. The platform supplies one that keeps each
// key in a settings file; tests use the in-memory one (TMemoryRegistry).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Base.h"
#include "TStr.h"

// Value kinds, numbered as the registry numbers its types.
enum ERegistryKind : uint32_t {
  RegistryNone = 0,
  RegistryString = 1,  // the characters and a terminating zero
  RegistryDword = 4,   // four bytes in the machine's byte order
};

// One opened key. Released by the store when it is replaced.
class IRegistryKey : public virtual IBase {
public:
  // Answers false when there is no such value; otherwise fills kind and data.
  virtual bool QueryValue(const TStr& name, uint32_t& kind, std::string& data) = 0;
  // Replaces the value (whatever kind it had) in one step; false when it failed.
  virtual bool SetValue(const TStr& name, uint32_t kind, std::string_view data) = 0;
  // A missing value is no error.
  virtual bool DeleteValue(const TStr& name) = 0;
};

class IRegistryBackend {
public:
  virtual ~IRegistryBackend() = default;
  // Creates or opens the key at path ("Software\Velmora\Thudra"); null when it cannot
  // be opened with full access. created tells whether the key is new.
  virtual IRegistryKey* OpenKey(const TStr& path, bool& created) = 0;
};

// Installs the backend that IRegistry::Open uses from now on and closes the open key
// (null leaves the store without a backend: every Open fails). Answers the old one.
IRegistryBackend* SetRegistryBackend(IRegistryBackend* backend);
