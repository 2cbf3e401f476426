// One source of MIDI devices of the device layer: the ALSA sequencer, JACK, or the
// virtual devices. Names are the backend's stable names (repeats allowed); the
// layer makes them unique and opens the n-th device of a name.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "midi/IMidiDevices.h"

class IMidiBackend {
public:
  virtual ~IMidiBackend() = default;
  virtual std::vector<std::string> ListInputs() = 0;
  virtual std::vector<std::string> ListOutputs() = 0;
  // occurrence 1 is the first device of that name in the backend's list.
  virtual std::unique_ptr<IMidiInputDevice> OpenInput(const std::string& name, int occurrence, IMidiInputSink& sink,
                                                      EMidiOpenResult& result) = 0;
  virtual std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string& name, int occurrence,
                                                        EMidiOpenResult& result) = 0;
};
