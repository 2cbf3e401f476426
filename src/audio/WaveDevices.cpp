#include <atomic>
#include <chrono>
#include <thread>

#include "IMediaTimer.h"
#include "IWaveDevices.h"

namespace {

class TNoWaveDevices : public IWaveDevices {
public:
  std::vector<TWaveDeviceInfo> ListOutputs() override { return {}; }
  std::vector<TWaveDeviceInfo> ListInputs() override { return {}; }
  std::unique_ptr<IWaveDevice> Open(EWaveDirection, const std::string&, IWaveNotify&,
                                    EWaveOpenResult& result) override {
    result = EWaveOpenResult::Missing;
    return nullptr;
  }
  bool IsSystemSoundLibraryPresent() override { return false; }
};

// Without a platform timer no periodic timer is granted; waits are real.
class TNoMediaTimer : public IMediaTimer {
public:
  TMediaTimerCaps GetCaps() override { return {}; }
  bool BeginPeriod(int32_t) override { return true; }
  void EndPeriod(int32_t) override {}
  uint32_t Start(int32_t, int32_t, IMediaTimerTarget&) override { return 0; }
  void Stop(uint32_t) override {}
  void RaiseCallbackPriority() override {}
  void RestoreNormalPriority() override {}
  void Sleep(int32_t milliseconds) override {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

TNoWaveDevices noDevices;
TNoMediaTimer noTimer;
std::atomic<IWaveDevices*> installedDevices{nullptr};
std::atomic<IMediaTimer*> installedTimer{nullptr};

}  // namespace

IWaveDevices* SetWaveDevices(IWaveDevices* devices) { return installedDevices.exchange(devices); }

IWaveDevices& GetWaveDevices() {
  IWaveDevices* devices = installedDevices.load();
  return devices ? *devices : noDevices;
}

IMediaTimer* SetMediaTimer(IMediaTimer* timer) { return installedTimer.exchange(timer); }

IMediaTimer& GetMediaTimer() {
  IMediaTimer* timer = installedTimer.load();
  return timer ? *timer : noTimer;
}
