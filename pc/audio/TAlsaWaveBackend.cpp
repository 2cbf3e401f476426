#include "TAlsaWaveBackend.h"

#include <dlfcn.h>

#include "AlsaPcmList.h"
#include "TAlsaWaveDevice.h"

TAlsaWaveBackend::TAlsaWaveBackend() { PrepareAlsa(); }

std::vector<TWaveDeviceInfo> TAlsaWaveBackend::List(EWaveDirection direction) {
  const bool output = direction == EWaveDirection::Output;
  std::vector<TWaveDeviceInfo> devices;
  for (const TAlsaPcm& pcm : ListAlsaPcms()) {
    if (output ? !pcm.output : !pcm.input) continue;
    devices.push_back({pcm.name, AlsaPcmTakesPortFormat(pcm.pcm, output)});
  }
  return devices;
}

std::unique_ptr<IWaveDevice> TAlsaWaveBackend::Open(EWaveDirection direction, const std::string& name, int occurrence,
                                                    IWaveNotify& notify, EWaveOpenResult& result) {
  const bool output = direction == EWaveDirection::Output;
  int seen = 0;
  for (const TAlsaPcm& pcm : ListAlsaPcms()) {
    if ((output ? !pcm.output : !pcm.input) || pcm.name != name || ++seen != occurrence) continue;
    return TAlsaWaveDevice::Open(direction, pcm.pcm, notify, result);
  }
  result = EWaveOpenResult::Missing;
  return nullptr;
}

bool TAlsaWaveBackend::IsAlsaLibraryPresent() {
  void* library = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  ::dlclose(library);
  return true;
}
