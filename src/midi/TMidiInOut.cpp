#include "TMidiInOut.h"

#include <cstring>

#include "foundation/IRegistry.h"
#include "foundation/Messages.h"

namespace {
std::atomic<bool> midiOutputFailed{false};
}  // namespace

void SetMidiOutputFailed() { midiOutputFailed.store(true, std::memory_order_relaxed); }
bool TakeMidiOutputFailed() { return midiOutputFailed.exchange(false, std::memory_order_relaxed); }

TMidiInOut::TMidiInOut(IMidiHost* midiHost) : host(midiHost), sysexData(new uint8_t[sysexRingBytes]) {
  LoadSettings();
  RecomputeSendChannel();
}

TMidiInOut::~TMidiInOut() {
  RunDestructorBody([this] { SaveSettings(); });
}

void TMidiInOut::LoadSettings() {
  through.store(static_cast<int32_t>(IRegistry::GetDword(throughValue, 0)), std::memory_order_relaxed);
  channelMask.store(static_cast<uint16_t>(IRegistry::GetDword(channelsValue, 0xFFFF)), std::memory_order_relaxed);
  filter.store(IRegistry::GetDword(filterValue, 0), std::memory_order_relaxed);
}

void TMidiInOut::SaveSettings() {
  IRegistry::SetDword(throughValue, static_cast<uint32_t>(GetThrough()));
  IRegistry::SetDword(channelsValue, GetChannelMask());
  IRegistry::SetDword(filterValue, GetFilterBits());
}

void TMidiInOut::Deliver(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  if (host) host->OnMidiInput(kind, channel, data1, data2);
}

// ---- Filters and channels ---------------------------------------------------

uint32_t TMidiInOut::GetInputFilter(int32_t kind) { return GetFilterBits() & InputBit(kind); }
uint32_t TMidiInOut::GetOutputFilter(int32_t kind) { return GetFilterBits() & OutputBit(kind); }

void TMidiInOut::SetInputFilter(int32_t kind, int32_t block) {
  if (block)
    filter.fetch_or(InputBit(kind), std::memory_order_relaxed);
  else
    filter.fetch_and(~InputBit(kind), std::memory_order_relaxed);
}

void TMidiInOut::SetOutputFilter(int32_t kind, int32_t block) {
  if (block)
    filter.fetch_or(OutputBit(kind), std::memory_order_relaxed);
  else
    filter.fetch_and(~OutputBit(kind), std::memory_order_relaxed);
}

int32_t TMidiInOut::IsChannelOn(int32_t channel) {
  if (channel < 1 || channel > 16) return 0;
  return GetChannelMask() >> (channel - 1) & 1;
}

void TMidiInOut::SetChannelOn(int32_t channel, int32_t on) {
  if (channel < 1 || channel > 16) return;
  const uint16_t bit = static_cast<uint16_t>(1u << (channel - 1));
  if (on)
    channelMask.fetch_or(bit, std::memory_order_relaxed);
  else
    channelMask.fetch_and(static_cast<uint16_t>(~bit), std::memory_order_relaxed);
  RecomputeSendChannel();
}

void TMidiInOut::SetChannelMask(uint16_t mask) {
  channelMask.store(mask, std::memory_order_relaxed);
  sendChannel.store(1, std::memory_order_relaxed);
  RecomputeSendChannel();
}

void TMidiInOut::RecomputeSendChannel() {
  const uint16_t mask = GetChannelMask();
  for (uint16_t channel = 1; channel <= 16; ++channel) {
    if (mask >> (channel - 1) & 1) {
      sendChannel.store(channel, std::memory_order_relaxed);
      return;
    }
  }
}

void TMidiInOut::SetSendChannel(uint16_t channel) {
  if (channel >= 1 && channel <= 16) sendChannel.store(channel, std::memory_order_relaxed);
}

int32_t TMidiInOut::Accept(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  if (!IsChannelOn(channel + 1)) return 0;
  const uint32_t bits = GetFilterBits();
  const bool channelOk = channel <= 16;
  switch (kind) {
    case MidiNoteOff:
    case MidiNoteOn: return channelOk && data1 < 128 && data2 < 128;
    case MidiPolyPressure:
    case MidiControl: return !(bits & InputBit(kind)) && channelOk && data1 < 128 && data2 < 128;
    case MidiProgram:
    case MidiChannelPressure: return !(bits & InputBit(kind)) && channelOk && data1 < 128;
    case MidiPitchBend: return !(bits & InputBit(kind)) && channelOk;
    case MidiSystem:
      switch (channel) {
        case MidiTimingClock: return !(bits & InputBit(MidiSystem));
        case MidiStart:
        case MidiContinue:
        case MidiStop:
        case MidiSongPosition: return 1;
        default: return 0;
      }
    default: return 0;
  }
}

// ---- The system-exclusive ring ----------------------------------------------
//
// The writer never overwrites a byte of a message that is not yet read, nor the
// message it is writing: a message that does not fit into the free part of the
// ring, or that finds all slots taken, is dropped whole and counted.

int32_t TMidiInOut::ProtectedStart() const {
  const int32_t pending = pendingCount.load(std::memory_order_acquire);
  if (pending > 0) return startPos[(writeSlot - pending + sysexSlots) % sysexSlots];
  if (inMessage) return messageStart;
  return -1;
}

void TMidiInOut::PutSysex(const uint8_t* bytes, int32_t count) {
  if (!bytes || count < 0 || count > sysexMaxPut) return;
  for (int32_t i = 0; i < count; ++i) PutSysexByte(bytes[i]);
}

void TMidiInOut::PutSysexByte(uint8_t byte) {
  if (byte == 0xF0) {
    inMessage = true;
    messageStart = writePos;
  }
  const int32_t next = (writePos + 1) % sysexRingBytes;
  if (next == ProtectedStart()) {
    // The ring is full: the message being written cannot be kept.
    if (inMessage) {
      inMessage = false;
      droppedSysex.fetch_add(1, std::memory_order_relaxed);
    }
    return;
  }
  sysexData[writePos] = byte;
  if (byte == 0xF7 && inMessage) {
    inMessage = false;
    if (pendingCount.load(std::memory_order_acquire) >= sysexSlots) {
      droppedSysex.fetch_add(1, std::memory_order_relaxed);
      return;  // every slot is taken; the bytes are left as free ring space
    }
    startPos[writeSlot] = messageStart;
    endPos[writeSlot] = writePos;
    writeSlot = (writeSlot + 1) % sysexSlots;
    pendingCount.fetch_add(1, std::memory_order_release);
  }
  writePos = next;
}

void TMidiInOut::EndSysex() { PutSysex(&terminator, 1); }

int32_t TMidiInOut::GetSysexLength() {
  if (pendingCount.load(std::memory_order_acquire) < 1) return 0;
  int32_t length = endPos[readSlot] - startPos[readSlot];
  if (length < 0) length += sysexRingBytes;
  return length;
}

int32_t TMidiInOut::ReadSysex(uint8_t* buffer) {
  const int32_t length = GetSysexLength();
  if (length == 0 && pendingCount.load(std::memory_order_acquire) < 1) return 0;
  int32_t position = startPos[readSlot];
  for (int32_t i = 0; i < length; ++i) {
    if (buffer) buffer[i] = sysexData[position];
    position = (position + 1) % sysexRingBytes;
  }
  readPos = position;
  readSlot = (readSlot + 1) % sysexSlots;
  return pendingCount.fetch_sub(1, std::memory_order_release) - 1;
}
