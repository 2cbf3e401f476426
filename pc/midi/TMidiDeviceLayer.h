// The device layer of the multimedia MIDI port: the ALSA sequencer's ports, JACK's
// MIDI ports and the virtual devices in one list each, every name unique (a repeated
// name gets " 2", " 3" ... in list order).
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IMidiBackend.h"
#include "TVirtualMidiDevices.h"
#include "midi/IMidiDevices.h"

class TMidiDeviceLayer : public IMidiDevices {
public:
  struct TOptions {
    bool alsa = true;
    bool jack = true;
    // Virtual devices described as in THUDRA_VIRTUAL_MIDI (see TVirtualMidiDevices.h).
    std::string virtualDevices;
    // Whether THUDRA_VIRTUAL_MIDI adds its devices too.
    bool readEnvironment = false;
  };

  explicit TMidiDeviceLayer(const TOptions& options);

  // The virtual devices, for tests to add, feed, inspect and make fail.
  TVirtualMidiDevices& Virtual() { return virtualDevices; }

  std::vector<std::string> ListInputs() override;
  std::vector<std::string> ListOutputs() override;
  std::unique_ptr<IMidiInputDevice> OpenInput(const std::string& name, IMidiInputSink& sink,
                                              EMidiOpenResult& result) override;
  std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string& name, EMidiOpenResult& result) override;

private:
  struct TEntry {
    IMidiBackend* backend;
    std::string name;
    int occurrence;
  };
  using TTable = std::map<std::string, TEntry>;
  std::vector<std::string> Build(bool inputs, TTable& table);
  bool Lookup(bool inputs, const std::string& name, TEntry& entry);

  std::vector<std::unique_ptr<IMidiBackend>> systemBackends;
  TVirtualMidiDevices virtualDevices;
  std::mutex lock;
  TTable inputTable;
  TTable outputTable;
};
