#include "MidiDeviceNames.h"

#include <map>

const char* const ownClientName = "Thudra";

namespace {
bool IsDigits(const std::string& text, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}
}  // namespace

std::string WithoutClientAndPortNumbers(const std::string& name) {
  const size_t space = name.rfind(' ');
  if (space == std::string::npos) return name;
  const size_t colon = name.find(':', space);
  if (colon == std::string::npos || !IsDigits(name, space + 1, colon) || !IsDigits(name, colon + 1, name.size()))
    return name;
  return name.substr(0, space);
}

bool IsOwnPort(const std::string& name) {
  const std::string client = name.substr(0, name.find(':'));
  const std::string own = ownClientName;
  if (client == own) return true;
  // JACK renames a second client of the same name "Thudra-01".
  return client.size() > own.size() + 1 && client.compare(0, own.size(), own) == 0 && client[own.size()] == '-' &&
         IsDigits(client, own.size() + 1, client.size());
}

std::vector<std::string> MakeUnique(const std::vector<std::string>& names) {
  std::map<std::string, int> seen;
  std::vector<std::string> unique;
  for (const std::string& name : names) {
    const int count = ++seen[name];
    unique.push_back(count == 1 ? name : name + " " + std::to_string(count));
  }
  return unique;
}
