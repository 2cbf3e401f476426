// What every MIDI port shares: the input channel mask, the input and output
// filters, MIDI through, the send channel and the system-exclusive ring. The
// channel mask, the filters and the through switch are kept in the settings store:
// read at construction, written at destruction.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "IMidiInOut.h"

class TMidiInOut : public TBase, public virtual IMidiInOut {
public:
  static constexpr int32_t sysexRingBytes = 200000;
  static constexpr int32_t sysexSlots = 200;
  // PutSysex ignores larger pieces.
  static constexpr int32_t sysexMaxPut = 100000;

  // Registry value names.
  static constexpr const char* throughValue = "MIDI Through";
  static constexpr const char* channelsValue = "MIDI Input Channels";
  static constexpr const char* filterValue = "MIDI filter";

  // Input filter bit of kinds 2 to 7; the output bit is 16 above it.
  static constexpr uint32_t InputBit(int32_t kind) { return kind >= 2 && kind <= 7 ? 1u << (kind - 2) : 0u; }
  static constexpr uint32_t OutputBit(int32_t kind) { return InputBit(kind) << 16; }

  explicit TMidiInOut(IMidiHost* host);
  ~TMidiInOut() override;
  TMidiInOut(const TMidiInOut&) = delete;
  TMidiInOut& operator=(const TMidiInOut&) = delete;

  void HostHook1() override {}
  void HostHook2() override {}
  void Start() override {}
  void Stop() override {}
  void ShowSettings() override {}

  uint32_t GetInputFilter(int32_t kind) override;
  uint32_t GetOutputFilter(int32_t kind) override;
  void SetInputFilter(int32_t kind, int32_t block) override;
  void SetOutputFilter(int32_t kind, int32_t block) override;
  int32_t IsChannelOn(int32_t channel) override;
  void SetChannelOn(int32_t channel, int32_t on) override;
  uint16_t GetChannelMask() override { return channelMask.load(std::memory_order_relaxed); }
  void SetChannelMask(uint16_t mask) override;
  uint32_t GetFilterBits() override { return filter.load(std::memory_order_relaxed); }
  void SetFilterBits(uint32_t bits) override { filter.store(bits, std::memory_order_relaxed); }
  int32_t Accept(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  void SetThrough(int32_t on) override { through.store(on, std::memory_order_relaxed); }
  int32_t GetThrough() override { return through.load(std::memory_order_relaxed); }
  uint16_t GetSendChannel() override { return sendChannel.load(std::memory_order_relaxed); }
  void SetSendChannel(uint16_t channel) override;

  void PutSysex(const uint8_t* bytes, int32_t count) override;
  void EndSysex() override;
  int32_t GetSysexLength() override;
  int32_t ReadSysex(uint8_t* buffer) override;

  // System-exclusive messages that did not fit (ring or slots full) and were dropped.
  int32_t GetDroppedSysexCount() const { return droppedSysex.load(std::memory_order_relaxed); }

protected:
  // Hands an input event to the host (the ensemble's OnMidiInput); ports call it on
  // their thread.
  void Deliver(int32_t kind, int32_t channel, int32_t data1, int32_t data2);
  IMidiHost* GetHost() const { return host; }

private:
  void LoadSettings();
  void SaveSettings();
  void RecomputeSendChannel();
  void PutSysexByte(uint8_t byte);
  // The first ring position that the writer must not reach: the start of the oldest
  // unread message, or of the message being written; -1 when nothing is protected.
  int32_t ProtectedStart() const;

  // Settings: written on the user-interface thread, read on the port thread.
  std::atomic<int32_t> through{0};
  std::atomic<uint16_t> channelMask{0xFFFF};
  IMidiHost* host;
  std::atomic<uint32_t> filter{0};

  // The ring. The writer owns writePos, writeSlot, inMessage and the slot it fills;
  // the reader owns readPos and readSlot; pendingCount hands complete messages over.
  std::unique_ptr<uint8_t[]> sysexData;
  uint8_t terminator = 0xF7;
  std::atomic<uint16_t> sendChannel{1};
  int32_t readPos = 0;
  int32_t writePos = 0;
  std::atomic<int32_t> pendingCount{0};
  int32_t startPos[sysexSlots] = {};
  int32_t endPos[sysexSlots] = {};
  int32_t readSlot = 0;
  int32_t writeSlot = 0;
  bool inMessage = false;
  int32_t messageStart = 0;
  std::atomic<int32_t> droppedSysex{0};
};
