// The one way the host makes its MIDI port.
#pragma once
#include "IMidiInOut.h"

// Makes the multimedia port; only when that cannot be made, the null port. The
// caller owns the result (Release).
IMidiInOut* CreateMidiPort(IMidiHost* host);

// A maker that replaces the factory's own choice (tests, tools); null restores it.
// Answers the previous one.
using TMidiPortMaker = IMidiInOut* (*)(IMidiHost* host);
TMidiPortMaker SetMidiPortMaker(TMidiPortMaker maker);
