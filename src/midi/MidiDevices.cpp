#include "IMidiDevices.h"

#include <atomic>

namespace {

class TNoDevices : public IMidiDevices {
public:
  std::vector<std::string> ListInputs() override { return {}; }
  std::vector<std::string> ListOutputs() override { return {}; }
  std::unique_ptr<IMidiInputDevice> OpenInput(const std::string&, IMidiInputSink&, EMidiOpenResult& result) override {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
  std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string&, EMidiOpenResult& result) override {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
};

TNoDevices noDevices;
std::atomic<IMidiDevices*> installed{nullptr};

}  // namespace

IMidiDevices* SetMidiDevices(IMidiDevices* devices) { return installed.exchange(devices); }

IMidiDevices& GetMidiDevices() {
  IMidiDevices* devices = installed.load();
  return devices ? *devices : noDevices;
}
