#include "TAsioDriverList.h"

#include <algorithm>
#include <cstdlib>

#include "TJackAsioDriver.h"
#include "TSimulatedAsioDriver.h"

namespace {
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void AddName(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

void AddItem(std::vector<std::string>& names, const std::string& item) {
  if (item == TJackAsioDriver::driverName || FindSimulatedProfile(item)) {
    AddName(names, item);
  } else if (item == "all" || item == "dropped") {
    for (const TSimulatedProfile& profile : SimulatedProfiles())
      if (profile.dropped == (item == "dropped")) AddName(names, profile.name);
  }
}
}  // namespace

std::vector<std::string> AsioDriverList::Names() {
  const char* chosen = std::getenv(variable);
  if (!chosen || !*chosen) return {TJackAsioDriver::driverName};
  std::vector<std::string> names;
  const std::string items = chosen;
  for (size_t start = 0; start <= items.size();) {
    const size_t comma = std::min(items.find(',', start), items.size());
    AddItem(names, Trimmed(items.substr(start, comma - start)));
    start = comma + 1;
  }
  if (names.size() > size_t(Asio::maxDrivers)) names.resize(Asio::maxDrivers);
  return names;
}

std::unique_ptr<TAsioDriverBase> AsioDriverList::Make(const std::string& name) {
  const std::vector<std::string> names = Names();
  if (std::find(names.begin(), names.end(), name) == names.end()) return nullptr;
  if (name == TJackAsioDriver::driverName) return std::make_unique<TJackAsioDriver>();
  return std::make_unique<TSimulatedAsioDriver>(*FindSimulatedProfile(name));
}
