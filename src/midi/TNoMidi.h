// The null MIDI port: keeps the shared settings, has no devices and sends nothing.
#pragma once
#include "TMidiInOut.h"

class INoMidi : public virtual IMidiInOut {};

class TNoMidi : public TMidiInOut, public virtual INoMidi {
public:
  static constexpr int32_t portKind = 0;

  explicit TNoMidi(IMidiHost* host) : TMidiInOut(host) {}

  int32_t GetPortKind() override { return portKind; }
  void SendShort(int32_t, uint32_t) override {}
  int32_t IsUsable() override { return 1; }
  void PutSysex(const uint8_t*, int32_t) override {}
  void EndSysex() override {}
  int32_t GetSysexLength() override { return 0; }
  int32_t ReadSysex(uint8_t*) override { return 0; }
};
