// The device layer of the soundcard port: ALSA's PCMs and the simulated devices in
// one list per direction, every name unique (a repeated name gets " 2", " 3" ... in
// list order). Threading as IWaveDevices.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IWaveBackend.h"
#include "TSimulatedClock.h"
#include "TSimulatedWaveDevices.h"

class TWaveDeviceLayer : public IWaveDevices {
public:
  struct TOptions {
    bool alsa = true;
  };

  explicit TWaveDeviceLayer(const TOptions& options);

  // The simulated devices and their clock, for tests to add devices, advance time
  // and inspect what was played.
  TSimulatedWaveDevices& Simulated() { return simulated; }
  TSimulatedClock& Clock() { return clock; }
  // Without ALSA, whether the system sound library counts as present.
  void SetSimulatedSoundLibrary(bool present) { simulatedSoundLibrary = present; }

  std::vector<TWaveDeviceInfo> ListOutputs() override;
  std::vector<TWaveDeviceInfo> ListInputs() override;
  std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, IWaveNotify& notify,
                                    EWaveOpenResult& result) override;
  bool IsSystemSoundLibraryPresent() override;

private:
  struct TEntry {
    IWaveBackend* backend;
    std::string name;
    int occurrence;
  };
  using TTable = std::map<std::string, TEntry>;
  std::vector<TWaveDeviceInfo> Build(EWaveDirection direction, TTable& table);

  std::unique_ptr<IWaveBackend> alsa;
  TSimulatedClock clock;
  TSimulatedWaveDevices simulated{clock};
  bool simulatedSoundLibrary = true;
  std::mutex lock;
  TTable outputTable;
  TTable inputTable;
};
