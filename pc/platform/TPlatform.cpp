#include "TPlatform.h"

#include "audio/AudioPortFactory.h"
#include "audio/asio/TASIO.h"
#include "audio/IMediaTimer.h"
#include "audio/IWaveDevices.h"
#include "audio/multimedia/TMultiMedia.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "midi/IMidiDevices.h"
#include "pc/foundation/PosixPlatform.h"
#include "pc/foundation/TSettingsStore.h"
#include "pc/audio/TMediaTimerThread.h"
#include "pc/audio/TWaveDeviceLayer.h"
#include "pc/host/TDlLibraryLoader.h"
#include "pc/midi/TMidiDeviceLayer.h"
#include "pc/ui/TQtUi.h"
#include "plughost/TVSTPlug.h"

TPlatform::TPlatform(const TOptions& options) {
  InstallPosixPlatform();
  if (options.window) ui = TQtUi::Create(TQtUi::TOptions(), windowError);
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
  if (options.audioDevices) {
    waveDevices = std::make_unique<TWaveDeviceLayer>(TWaveDeviceLayer::TOptions());
    mediaTimer = std::make_unique<TMediaTimerThread>();
    SetWaveDevices(waveDevices.get());
    SetMediaTimer(mediaTimer.get());
    TAudioPortFactory::Standard().Register(
        AudioPortMultiMedia, &TMultiMedia::Prepare,
        [](IAudioEnsemble* ensemble) -> TAudioInOut* { return CreateOrReport<TMultiMedia>(ensemble); });
  }
}

TPlatform::~TPlatform() {
  if (waveDevices) {
    TAudioPortFactory::Standard().Unregister(AudioPortMultiMedia);
    SetMediaTimer(nullptr);
    SetWaveDevices(nullptr);
  }
  mediaTimer.reset();
  waveDevices.reset();
  if (midiDevices) SetMidiDevices(nullptr);
  midiDevices.reset();
  if (pluginChosen) TVSTPlug::SetLibrary(TStr(), true);
  if (asioRegistered) TAudioPortFactory::Standard().Unregister(AudioPortASIO);
  ui.reset();
}

IEventLoop* TPlatform::GetEventLoop() const { return ui ? &ui->GetLoop() : nullptr; }
