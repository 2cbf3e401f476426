// The audio port factory: turns the stored "AudioPort" value or a type chosen from
// the menu into a port object, with its fall-back rules, and the matching
// destruction that stores the port type again.
#pragma once
#include <cstdint>

#include "IAudioInOut.h"
#include "foundation/TParamStr.h"

class TAudioInOut;

// A port kind that a platform layer supplies: its preparation (the device or driver
// check) and its construction.
using TPreparePort = bool (*)();
using TMakePort = TAudioInOut* (*)(KEnsemble* ensemble);
void RegisterAudioPortKind(int32_t type, TPreparePort prepare, TMakePort make);
void UnregisterAudioPortKind(int32_t type);

// Whether the port model offers type (a registered kind; the null port always).
bool IsAudioPortAvailable(int32_t type);
// The name stored in "AudioPort" ("" for types without one).
const char* AudioPortName(int32_t type);
// The type of a stored name; an empty name counts as "MultiMedia"; unknown names 0.
int32_t AudioPortTypeFromName(const TStr& name);

// Type 0 uses the stored port. Failed preparation reports and falls back (3 to the
// null port, anything else to the multimedia port, which is then not prepared again).
IAudioInOut* CreatePort(int32_t type, KEnsemble* ensemble);
// Stores the port's type name in "AudioPort", "No" in "AudioRunning", deletes it.
void DestroyPort(IAudioInOut* port);

namespace Msg {
extern TParamStr cannotOpenAudioPort;   // "Cannot open last used Audioport!"
extern TParamStr multiMediaSetupError;  // "Error setting up MultiMedia audioport!"
extern TParamStr noAsioDrivers;         // "ASIO drivers folder cannot be found ..."
}  // namespace Msg
