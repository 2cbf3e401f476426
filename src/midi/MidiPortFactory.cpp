#include "MidiPortFactory.h"

#include "TNoMidi.h"
#include "foundation/Messages.h"

IMidiInOut* CreateMidiPort(IMidiHost* host) { return CreateOrReport<TNoMidi>(host); }
