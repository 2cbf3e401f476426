#include "IRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Messages.h"

namespace {
// Written by Open and SetRegistryBackend on the user-interface thread only.
IRegistryBackend* backend = nullptr;
IRegistryKey* key = nullptr;

void CloseKey() {
  Release(key);
  key = nullptr;
}

// Every getter checks the name first; an empty one is a programming fault that is
// shown, after which the getter carries on and answers its default.
bool IsNameEmpty(const TStr& name, const char* caption) {
  if (!name.IsEmpty()) return false;
  ShowPlainMessage("Empty ValueName in IRegistry", caption);
  return true;
}

bool Query(const TStr& name, uint32_t& kind, std::string& data) {
  return key && key->QueryValue(name, kind, data);
}

uint32_t ReadDword(const TStr& name, uint32_t defaultValue) {
  uint32_t kind = RegistryNone;
  std::string data;
  // Only a 32-bit value fills the 4-byte buffer; a string is not taken for one.
  if (!Query(name, kind, data) || kind != RegistryDword || data.size() != sizeof(uint32_t)) return defaultValue;
  uint32_t value = 0;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

void Store(const TStr& name, uint32_t kind, std::string_view data) {
  if (key) key->SetValue(name, kind, data);
}
}  // namespace

IRegistryBackend* SetRegistryBackend(IRegistryBackend* newBackend) {
  CloseKey();
  IRegistryBackend* old = backend;
  backend = newBackend;
  return old;
}

void IRegistry::Open(const TStr& productKey) {
  CloseKey();
  if (!backend) return;
  bool created = false;  // the program does not distinguish a new key
  key = backend->OpenKey(TStr("Software\\Velmora\\") + productKey, created);
}

uint32_t IRegistry::GetDword(const TStr& name, uint32_t defaultValue) {
  if (IsNameEmpty(name, "Ups")) return defaultValue;
  return ReadDword(name, defaultValue);
}

TStr IRegistry::GetString(const TStr& name, const TStr& defaultValue) {
  if (IsNameEmpty(name, "Uups")) return defaultValue;
  uint32_t kind = RegistryNone;
  std::string data;
  if (!Query(name, kind, data) || kind != RegistryString) return defaultValue;
  if (data.size() > static_cast<size_t>(stringBufferBytes)) return defaultValue;
  // The text ends at the first zero, or with the data when the zero is missing.
  const std::string_view text(data.data(), std::min(data.find('\0'), data.size()));
  return TStr(text);
}

TPnt IRegistry::GetPoint(const TStr& name, const TPnt& defaultValue) {
  IsNameEmpty(name, "Uuups");
  TPnt point;
  point.x = static_cast<int32_t>(ReadDword(name + "X", static_cast<uint32_t>(defaultValue.x)));
  point.y = static_cast<int32_t>(ReadDword(name + "Y", static_cast<uint32_t>(defaultValue.y)));
  return point;
}

TArea IRegistry::GetArea(const TStr& name, const TArea& defaultValue) {
  IsNameEmpty(name, "Uuuups");
  TArea area;
  area.left = static_cast<int32_t>(ReadDword(name + "X0", static_cast<uint32_t>(defaultValue.left)));
  area.top = static_cast<int32_t>(ReadDword(name + "Y0", static_cast<uint32_t>(defaultValue.top)));
  area.right = static_cast<int32_t>(ReadDword(name + "X1", static_cast<uint32_t>(defaultValue.right)));
  area.bottom = static_cast<int32_t>(ReadDword(name + "Y1", static_cast<uint32_t>(defaultValue.bottom)));
  return area;
}

double IRegistry::GetRealText(const TStr& name, double defaultValue) {
  const TStr text = GetString(name, TStr::FormatReal(defaultValue, 4));
  float value = 0;
  if (std::sscanf(text.Text(), "%f", &value) != 1) return defaultValue;
  return value;
}

void IRegistry::SetDword(const TStr& name, uint32_t value) {
  char data[sizeof value];
  std::memcpy(data, &value, sizeof value);
  Store(name, RegistryDword, std::string_view(data, sizeof data));
}

void IRegistry::SetString(const TStr& name, const TStr& value) {
  // The characters and the terminating zero.
  Store(name, RegistryString, std::string_view(value.Text(), static_cast<size_t>(value.Length()) + 1));
}

void IRegistry::SetPoint(const TStr& name, const TPnt& value) {
  SetDword(name + "X", static_cast<uint32_t>(value.x));
  SetDword(name + "Y", static_cast<uint32_t>(value.y));
}

void IRegistry::SetArea(const TStr& name, const TArea& value) {
  SetDword(name + "X0", static_cast<uint32_t>(value.left));
  SetDword(name + "Y0", static_cast<uint32_t>(value.top));
  SetDword(name + "X1", static_cast<uint32_t>(value.right));
  SetDword(name + "Y1", static_cast<uint32_t>(value.bottom));
}

void IRegistry::SetRealText(const TStr& name, double value) { SetString(name, TStr::FormatReal(value, 4)); }

void IRegistry::DeleteValue(const TStr& name) {
  if (key) key->DeleteValue(name);
}
