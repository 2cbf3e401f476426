#include "AudioPortFactory.h"

#include <cstring>

#include "TNoAudio.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "host/KEnsemble.h"

namespace Msg {
TParamStr cannotOpenAudioPort("Cannot open last used Audioport!");
TParamStr multiMediaSetupError("Error setting up MultiMedia audioport!");
TParamStr noAsioDrivers(
    "ASIO drivers folder cannot be found in the Thudra folder anymore! No ASIO card support available now...");
}  // namespace Msg

namespace {
constexpr const char* audioPortValue = "AudioPort";
constexpr const char* audioRunningValue = "AudioRunning";
constexpr int32_t typeCount = 10;

const char* const typeNames[typeCount] = {"",        "OrbBoard", "AudioWerk", "MultiMedia", "ActiveMovie",
                                          "MacAudio", "",         "MacDTDM",   "ASIO",       "MacMAS"};

struct TPortKind {
  TPreparePort prepare = nullptr;
  TMakePort make = nullptr;
};
TPortKind kinds[typeCount];

bool ValidType(int32_t type) { return type >= 0 && type < typeCount; }

bool Prepare(int32_t type) {
  if (type == AudioPortNone) return true;
  if (!ValidType(type) || !kinds[type].make) return false;
  TAudioInOut* current = TAudioInOut::GetCurrentPort();
  if (current && current->GetPortType() == type) return true;
  return kinds[type].prepare && kinds[type].prepare();
}

void ReportFailedPreparation(int32_t type) {
  TParamStr* message = &Msg::cannotOpenAudioPort;
  if (type == AudioPortMultiMedia) message = &Msg::multiMediaSetupError;
  if (type == AudioPortASIO) message = &Msg::noAsioDrivers;
  ShowError(*message, 0);
}

TAudioInOut* Build(int32_t type, KEnsemble* ensemble) {
  if (type != AudioPortNone && ValidType(type) && kinds[type].make) {
    if (TAudioInOut* port = kinds[type].make(ensemble)) return port;
  }
  // A kind that cannot be built leaves the null port, so the host always has one.
  TAudioInOut* port = CreateOrReport<TNoAudio>(ensemble);
  if (port && ensemble) ensemble->GetSampleRateValue().Set(KEnsemble::defaultSampleRate, nullptr);
  return port;
}
}  // namespace

void RegisterAudioPortKind(int32_t type, TPreparePort prepare, TMakePort make) {
  if (ValidType(type) && type != AudioPortNone) kinds[type] = {prepare, make};
}

void UnregisterAudioPortKind(int32_t type) {
  if (ValidType(type)) kinds[type] = {};
}

bool IsAudioPortAvailable(int32_t type) {
  if (type == AudioPortNone) return true;
  return ValidType(type) && kinds[type].make != nullptr;
}

const char* AudioPortName(int32_t type) { return ValidType(type) ? typeNames[type] : ""; }

int32_t AudioPortTypeFromName(const TStr& name) {
  if (name.IsEmpty()) return AudioPortMultiMedia;
  for (int32_t type = 1; type < typeCount; ++type) {
    if (*typeNames[type] && name == typeNames[type]) return type;
  }
  return AudioPortNone;
}

IAudioInOut* CreatePort(int32_t type, KEnsemble* ensemble) {
  if (type == AudioPortNone) type = AudioPortTypeFromName(IRegistry::GetString(audioPortValue, TStr()));
  if (type != AudioPortUnnamed && !Prepare(type)) {
    ReportFailedPreparation(type);
    type = type == AudioPortMultiMedia ? AudioPortNone : AudioPortMultiMedia;
  }
  TAudioInOut* port = Build(type, ensemble);
  if (!port) return nullptr;
  if (ensemble) ensemble->GetRateFactor().AddObserver(port, &TAudioInOut::OnRateChange, "RateFactor", false);
  for (int32_t channel = 1; channel <= 16; ++channel) {
    port->EnableInputChannel(channel);
    port->EnableOutputChannel(channel);
  }
  return port;
}

void DestroyPort(IAudioInOut* port) {
  if (!port) return;
  const int32_t type = port->GetPortType();
  if (type != AudioPortNone && type != AudioPortUnnamed && ValidType(type))
    IRegistry::SetString(audioPortValue, typeNames[type]);
  if (KEnsemble* ensemble = port->GetEnsemble()) ensemble->GetRateFactor().RemoveObserver(port);
  IRegistry::SetString(audioRunningValue, "No");
  port->Release();
}
