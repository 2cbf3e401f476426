#include "MidiPortFactory.h"

#include <atomic>

#include "TMultiMediaMidi.h"
#include "TNoMidi.h"
#include "foundation/Messages.h"

namespace {
std::atomic<TMidiPortMaker> portMaker{nullptr};
}  // namespace

TMidiPortMaker SetMidiPortMaker(TMidiPortMaker maker) { return portMaker.exchange(maker); }

IMidiInOut* CreateMidiPort(IMidiHost* host) {
  if (TMidiPortMaker maker = portMaker.load()) return maker(host);
  try {
    if (IMidiInOut* port = new (std::nothrow) TMultiMediaMidi(host)) return port;
  } catch (const std::bad_alloc&) {
  }
  return CreateOrReport<TNoMidi>(host);
}
