// ALSA's PCMs as wave devices: the PCMs that the configuration lists, each opened in
// the port's format and served by a thread of its own in the PCM's period rhythm.
// Underruns and overruns are recovered and counted; a PCM that stops moving or fails
// (a server that died, a card unplugged) gives every header back and is reported as
// lost.
#pragma once
#include "IWaveBackend.h"

class TAlsaWaveBackend : public IWaveBackend {
public:
  TAlsaWaveBackend();
  std::vector<TWaveDeviceInfo> List(EWaveDirection direction) override;
  std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, int occurrence,
                                    IWaveNotify& notify, EWaveOpenResult& result) override;
  // Whether the system's ALSA library can be loaded at run time.
  static bool IsAlsaLibraryPresent();
};
