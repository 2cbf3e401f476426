#include "MidiPortFactory.h"

#include <atomic>

#include "TNoMidi.h"
#include "foundation/Messages.h"

namespace {
std::atomic<TMidiPortMaker> portMaker{nullptr};
}  // namespace

TMidiPortMaker SetMidiPortMaker(TMidiPortMaker maker) { return portMaker.exchange(maker); }

IMidiInOut* CreateMidiPort(IMidiHost* host) {
  if (TMidiPortMaker maker = portMaker.load()) return maker(host);
  return CreateOrReport<TNoMidi>(host);
}
