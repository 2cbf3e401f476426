#include "TWaveDeviceLayer.h"

#include "TAlsaWaveBackend.h"

TWaveDeviceLayer::TWaveDeviceLayer(const TOptions& options) {
  if (options.alsa) alsa = std::make_unique<TAlsaWaveBackend>();
}

std::vector<TWaveDeviceInfo> TWaveDeviceLayer::Build(EWaveDirection direction, TTable& table) {
  std::vector<TWaveDeviceInfo> unique;
  std::map<std::string, int> uses;
  table.clear();
  for (IWaveBackend* backend : {alsa.get(), static_cast<IWaveBackend*>(&simulated)}) {
    if (!backend) continue;
    std::map<std::string, int> occurrences;
    for (TWaveDeviceInfo device : backend->List(direction)) {
      const TEntry entry{backend, device.name, ++occurrences[device.name]};
      const int use = ++uses[device.name];
      if (use > 1) device.name += " " + std::to_string(use);
      table.emplace(device.name, entry);
      unique.push_back(device);
    }
  }
  return unique;
}

std::vector<TWaveDeviceInfo> TWaveDeviceLayer::ListOutputs() {
  std::lock_guard<std::mutex> guard(lock);
  return Build(EWaveDirection::Output, outputTable);
}

std::vector<TWaveDeviceInfo> TWaveDeviceLayer::ListInputs() {
  std::lock_guard<std::mutex> guard(lock);
  return Build(EWaveDirection::Input, inputTable);
}

std::unique_ptr<IWaveDevice> TWaveDeviceLayer::Open(EWaveDirection direction, const std::string& name,
                                                    IWaveNotify& notify, EWaveOpenResult& result) {
  TEntry entry{};
  {
    std::lock_guard<std::mutex> guard(lock);
    TTable& table = direction == EWaveDirection::Output ? outputTable : inputTable;
    auto found = table.find(name);
    if (found == table.end()) {
      Build(direction, table);
      found = table.find(name);
    }
    if (found == table.end()) {
      result = EWaveOpenResult::Missing;
      return nullptr;
    }
    entry = found->second;
  }
  return entry.backend->Open(direction, entry.name, entry.occurrence, notify, result);
}

bool TWaveDeviceLayer::IsSystemSoundLibraryPresent() {
  return alsa ? TAlsaWaveBackend::IsAlsaLibraryPresent() : simulatedSoundLibrary;
}
