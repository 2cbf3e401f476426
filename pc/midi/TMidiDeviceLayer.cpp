#include "TMidiDeviceLayer.h"

#include <cstdlib>

#include "MidiDeviceNames.h"
#include "TRtMidiBackend.h"

TMidiDeviceLayer::TMidiDeviceLayer(const TOptions& options) {
  if (options.alsa) systemBackends.push_back(std::make_unique<TRtMidiBackend>(TRtMidiBackend::EApi::Alsa));
  if (options.jack) systemBackends.push_back(std::make_unique<TRtMidiBackend>(TRtMidiBackend::EApi::Jack));
  virtualDevices.AddFromDescription(options.virtualDevices);
  if (options.readEnvironment) {
    if (const char* described = std::getenv(TVirtualMidiDevices::environmentVariable))
      virtualDevices.AddFromDescription(described);
  }
}

std::vector<std::string> TMidiDeviceLayer::Build(bool inputs, TTable& table) {
  std::vector<std::string> names;
  std::vector<TEntry> entries;
  std::vector<IMidiBackend*> backends;
  for (const auto& backend : systemBackends) backends.push_back(backend.get());
  backends.push_back(&virtualDevices);
  for (IMidiBackend* backend : backends) {
    std::map<std::string, int> occurrences;
    for (const std::string& name : inputs ? backend->ListInputs() : backend->ListOutputs()) {
      names.push_back(name);
      entries.push_back({backend, name, ++occurrences[name]});
    }
  }
  const std::vector<std::string> unique = MakeUnique(names);
  table.clear();
  for (size_t i = 0; i < unique.size(); ++i) table.emplace(unique[i], entries[i]);
  return unique;
}

std::vector<std::string> TMidiDeviceLayer::ListInputs() {
  std::lock_guard<std::mutex> guard(lock);
  return Build(true, inputTable);
}

std::vector<std::string> TMidiDeviceLayer::ListOutputs() {
  std::lock_guard<std::mutex> guard(lock);
  return Build(false, outputTable);
}

bool TMidiDeviceLayer::Lookup(bool inputs, const std::string& name, TEntry& entry) {
  std::lock_guard<std::mutex> guard(lock);
  TTable& table = inputs ? inputTable : outputTable;
  auto found = table.find(name);
  if (found == table.end()) {
    Build(inputs, table);
    found = table.find(name);
    if (found == table.end()) return false;
  }
  entry = found->second;
  return true;
}

std::unique_ptr<IMidiInputDevice> TMidiDeviceLayer::OpenInput(const std::string& name, IMidiInputSink& sink,
                                                              EMidiOpenResult& result) {
  TEntry entry{};
  if (!Lookup(true, name, entry)) {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
  return entry.backend->OpenInput(entry.name, entry.occurrence, sink, result);
}

std::unique_ptr<IMidiOutputDevice> TMidiDeviceLayer::OpenOutput(const std::string& name, EMidiOpenResult& result) {
  TEntry entry{};
  if (!Lookup(false, name, entry)) {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
  return entry.backend->OpenOutput(entry.name, entry.occurrence, result);
}
