#include "TPlatform.h"

#include "audio/AudioPortFactory.h"
#include "audio/asio/TASIO.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "midi/IMidiDevices.h"
#include "pc/foundation/PosixPlatform.h"
#include "pc/foundation/TSettingsStore.h"
#include "pc/host/TDlLibraryLoader.h"
#include "pc/midi/TMidiDeviceLayer.h"
#include "plughost/TVSTPlug.h"

TPlatform::TPlatform(const TOptions& options) {
  InstallPosixPlatform();
  if (options.settings) TSettingsStore::InstallForUser();
  if (options.libraries) TDlLibraryLoader::Install();
  if (!options.plugin.empty()) {
    TVSTPlug::SetLibrary(TStr(std::string_view(options.plugin)), false);
    pluginChosen = true;
  }
  if (options.asioPort) {
    TAudioPortFactory::Standard().Register(
        AudioPortASIO, &TASIO::Prepare, [](IAudioEnsemble* ensemble) -> TAudioInOut* {
          return CreateOrReport<TASIO>(ensemble);
        });
    asioRegistered = true;
  }
  if (options.midiDevices) {
    TMidiDeviceLayer::TOptions midiOptions;
    midiOptions.readEnvironment = true;
    midiDevices = std::make_unique<TMidiDeviceLayer>(midiOptions);
    SetMidiDevices(midiDevices.get());
  }
}

TPlatform::~TPlatform() {
  if (midiDevices) SetMidiDevices(nullptr);
  midiDevices.reset();
  if (pluginChosen) TVSTPlug::SetLibrary(TStr(), true);
  if (asioRegistered) TAudioPortFactory::Standard().Unregister(AudioPortASIO);
}
