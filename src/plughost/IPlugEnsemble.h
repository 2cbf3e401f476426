// The ensemble as the plug-in wrapper reaches it: what the plug-in's calls into the
// host need of the rest of the program. The wrapper never sees the ports, the host or
// the session files themselves.
#pragma once
#include <cstdint>

#include "vst2/Vst2.h"

class IPlugEnsemble {
public:
  virtual ~IPlugEnsemble() = default;
  // The plug-in's time request, from whatever thread the plug-in calls on: the
  // clock's record (the calling thread's own), or null without a clock.
  virtual VstTimeInfo* UpdateTimeInfo() = 0;
  // The audio port's block size, 0 without a port. User-interface thread (resume).
  virtual int32_t GetPortBlockSize() = 0;
  // The plug-in's MIDI output: the MIDI port's send channel (1 to 16) and a packed
  // short message to its output 0. Any thread the plug-in sends on.
  virtual int32_t GetSendChannel() = 0;
  virtual void SendMidiOut(uint32_t message) = 0;
  // The vendor-specific request of the recorder: index 0 the player, 1 the tape, with
  // the command record in place. The plug-in's user-interface thread.
  virtual void RunTransportCommand(int32_t index, void* record) = 0;
};
