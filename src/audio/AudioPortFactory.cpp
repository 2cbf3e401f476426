#include "AudioPortFactory.h"

#include "TNoAudio.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "foundation/TShared.h"

namespace Msg {
TParamStr cannotOpenAudioPort("Cannot open last used Audioport!");
TParamStr multiMediaSetupError("Error setting up MultiMedia audioport!");
TParamStr noAsioDrivers(
    "ASIO drivers folder cannot be found in the Thudra folder anymore! No ASIO card support available now...");
}  // namespace Msg

namespace {
constexpr const char* audioPortValue = "AudioPort";
constexpr const char* audioRunningValue = "AudioRunning";
constexpr int32_t typeCount = TAudioPortFactory::typeCount;

const char* const typeNames[typeCount] = {"",        "OrbBoard", "AudioWerk", "MultiMedia", "ActiveMovie",
                                          "MacAudio", "",         "MacDTDM",   "ASIO",       "MacMAS"};

bool ValidType(int32_t type) { return type >= 0 && type < typeCount; }

void ReportFailedPreparation(int32_t type) {
  TParamStr* message = &Msg::cannotOpenAudioPort;
  if (type == AudioPortMultiMedia) message = &Msg::multiMediaSetupError;
  if (type == AudioPortASIO) message = &Msg::noAsioDrivers;
  ShowError(*message, 0);
}
}  // namespace

TAudioPortFactory& TAudioPortFactory::Standard() {
  static TAudioPortFactory factory;
  return factory;
}

void TAudioPortFactory::Register(int32_t type, TPreparePort prepare, TMakePort make) {
  if (ValidType(type) && type != AudioPortNone) kinds[type] = {prepare, make};
}

void TAudioPortFactory::Unregister(int32_t type) {
  if (ValidType(type)) kinds[type] = {};
}

bool TAudioPortFactory::IsAvailable(int32_t type) {
  if (type == AudioPortNone) return true;
  return ValidType(type) && kinds[type].make != nullptr;
}

const char* TAudioPortFactory::PortName(int32_t type) { return ValidType(type) ? typeNames[type] : ""; }

int32_t TAudioPortFactory::TypeFromName(const TStr& name) {
  if (name.IsEmpty()) return AudioPortMultiMedia;
  for (int32_t type = 1; type < typeCount; ++type) {
    if (*typeNames[type] && name == typeNames[type]) return type;
  }
  return AudioPortNone;
}

bool TAudioPortFactory::Prepare(int32_t type) {
  if (type == AudioPortNone) return true;
  if (!ValidType(type) || !kinds[type].make) return false;
  TAudioInOut* current = TAudioInOut::GetCurrentPort();
  if (current && current->GetPortType() == type) return true;
  return kinds[type].prepare && kinds[type].prepare();
}

TAudioInOut* TAudioPortFactory::Build(int32_t type, IAudioEnsemble* ensemble) {
  if (type != AudioPortNone && ValidType(type) && kinds[type].make) {
    if (TAudioInOut* port = kinds[type].make(ensemble)) return port;
  }
  // A kind that cannot be built leaves the null port, so the host always has one.
  TAudioInOut* port = CreateOrReport<TNoAudio>(ensemble);
  if (port && ensemble) ensemble->SetSampleRate(TAudioInOut::startSampleRate);
  return port;
}

IAudioInOut* TAudioPortFactory::CreatePort(int32_t type, IAudioEnsemble* ensemble) {
  if (type == AudioPortNone) type = TypeFromName(IRegistry::GetString(audioPortValue, TStr()));
  if (type != AudioPortUnnamed && !Prepare(type)) {
    ReportFailedPreparation(type);
    type = type == AudioPortMultiMedia ? AudioPortNone : AudioPortMultiMedia;
  }
  TAudioInOut* port = Build(type, ensemble);
  if (!port) return nullptr;
  ConnectPort(port, ensemble);
  return port;
}

void TAudioPortFactory::DestroyPort(IAudioInOut* port) {
  if (!port) return;
  const int32_t type = port->GetPortType();
  if (type != AudioPortNone && type != AudioPortUnnamed && ValidType(type))
    IRegistry::SetString(audioPortValue, typeNames[type]);
  DisconnectPort(port);
  IRegistry::SetString(audioRunningValue, "No");
  port->Release();
}

void ConnectPort(TAudioInOut* port, IAudioEnsemble* ensemble) {
  if (ensemble) ensemble->GetRateFactor().AddObserver(port, &TAudioInOut::OnRateChange, "RateFactor", false);
  for (int32_t channel = 1; channel <= 16; ++channel) {
    port->EnableInputChannel(channel);
    port->EnableOutputChannel(channel);
  }
}

void DisconnectPort(IAudioInOut* port) {
  if (IAudioEnsemble* ensemble = port ? port->GetEnsemble() : nullptr) ensemble->GetRateFactor().RemoveObserver(port);
}

IAudioInOut* CreatePort(int32_t type, IAudioEnsemble* ensemble) {
  return TAudioPortFactory::Standard().CreatePort(type, ensemble);
}

void DestroyPort(IAudioInOut* port) { TAudioPortFactory::Standard().DestroyPort(port); }
