// One source of wave devices of the device layer: ALSA's PCMs or the simulated
// devices. Names are the backend's own (repeats allowed); the layer makes them unique
// and opens the n-th device of a name. Threading as IWaveDevices.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "audio/IWaveDevices.h"

class IWaveBackend {
public:
  virtual ~IWaveBackend() = default;
  virtual std::vector<TWaveDeviceInfo> List(EWaveDirection direction) = 0;
  // occurrence 1 is the first device of that name in the backend's list.
  virtual std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, int occurrence,
                                            IWaveNotify& notify, EWaveOpenResult& result) = 0;
};
