// The one way the host makes its MIDI port.
#pragma once
#include "IMidiInOut.h"

// Makes the multimedia port; only when that cannot be made, the null port. The
// caller owns the result (Release). User-interface thread.
IMidiInOut* CreateMidiPort(IMidiHost* host);

// What the ensemble is handed to make its MIDI port: CreateMidiPort for the program,
// another maker for tests and tools (a port that records, the null port).
using TMidiPortMaker = IMidiInOut* (*)(IMidiHost* host);
