#include "MidiPortFactory.h"

#include "TMultiMediaMidi.h"
#include "TNoMidi.h"
#include "foundation/Messages.h"

IMidiInOut* CreateMidiPort(IMidiHost* host) {
  try {
    if (IMidiInOut* port = new (std::nothrow) TMultiMediaMidi(host)) return port;
  } catch (const std::bad_alloc&) {
  }
  return CreateOrReport<TNoMidi>(host);
}
