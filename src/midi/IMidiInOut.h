// The MIDI port interface: what the host, the plug-in wrapper and the settings
// panel use of every kind of MIDI port.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "foundation/MidiMessage.h"

// Receives the events that arrive at a port: the ensemble's MIDI entry. Called on
// the port's own thread.
class IMidiHost : public virtual IBase {
public:
  virtual void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) = 0;
};

class IMidiInOut : public virtual IBase {
public:
  // 5 for the multimedia port, 0 for the null port.
  virtual int32_t GetPortKind() = 0;
  // Called by the host when audio starts or runs again; no port kind gives it an effect.
  virtual void HostHook1() = 0;
  // Called by the host when audio stops or its port goes; no effect either.
  virtual void HostHook2() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Port 0 sends to every open output, port n to the n-th; the output filter applies.
  virtual void SendShort(int32_t port, uint32_t message) = 0;
  virtual int32_t IsUsable() = 0;
  virtual void ShowSettings() = 0;

  // Filters: kinds 2 to 7; a set bit blocks the kind.
  virtual uint32_t GetInputFilter(int32_t kind) = 0;
  virtual uint32_t GetOutputFilter(int32_t kind) = 0;
  virtual void SetInputFilter(int32_t kind, int32_t block) = 0;
  virtual void SetOutputFilter(int32_t kind, int32_t block) = 0;
  // Channels 1 to 16.
  virtual int32_t IsChannelOn(int32_t channel) = 0;
  virtual void SetChannelOn(int32_t channel, int32_t on) = 0;
  virtual uint16_t GetChannelMask() = 0;
  virtual void SetChannelMask(uint16_t mask) = 0;
  virtual uint32_t GetFilterBits() = 0;
  virtual void SetFilterBits(uint32_t bits) = 0;
  // Whether an input event may reach the plug-in (channel mask, input filter, ranges).
  virtual int32_t Accept(int32_t kind, int32_t channel, int32_t data1, int32_t data2) = 0;
  virtual void SetThrough(int32_t on) = 0;
  virtual int32_t GetThrough() = 0;
  // The channel 1 to 16 of the notes that the host sends itself.
  virtual uint16_t GetSendChannel() = 0;
  virtual void SetSendChannel(uint16_t channel) = 0;

  // The system-exclusive ring: one writer (the port thread), one reader.
  virtual void PutSysex(const uint8_t* bytes, int32_t count) = 0;
  virtual void EndSysex() = 0;
  virtual int32_t GetSysexLength() = 0;
  // Copies the oldest pending message (GetSysexLength bytes) and answers how many
  // are still pending.
  virtual int32_t ReadSysex(uint8_t* buffer) = 0;
};

// The process-wide MIDI output failed flag: set when the system refuses a send.
void SetMidiOutputFailed();
// Answers the flag and clears it.
bool TakeMidiOutputFailed();
