// The shared MIDI port model: Accept, channels and the send channel, filters, the
// settings store, and the system-exclusive ring.
#include <gtest/gtest.h>

#include "HostFixture.h"
#include "midi/TNoMidi.h"

namespace {
class MidiInOutTest : public HostFixture {};

TEST_F(MidiInOutTest, AcceptFollowsChannelFiltersAndRanges) {
  TNoMidi port(nullptr);
  struct TCase {
    int32_t kind, channel, data1, data2;
    int32_t accepted;
  };
  const std::vector<TCase> open = {
      {MidiNoteOn, 0, 60, 100, 1},  {MidiNoteOn, 15, 127, 127, 1}, {MidiNoteOff, 3, 128, 0, 0},
      {MidiNoteOn, 3, 60, 128, 0},  {MidiPolyPressure, 1, 1, 1, 1}, {MidiControl, 1, 7, 128, 0},
      {MidiProgram, 1, 127, 999, 1}, {MidiProgram, 1, 128, 0, 0},   {MidiChannelPressure, 1, 128, 0, 0},
      {MidiPitchBend, 1, 500, 500, 1},  // pitch bend data are not range-tested
      {MidiSystem, MidiTimingClock, 0, 0, 1}, {MidiSystem, MidiStart, 0, 0, 1}, {MidiSystem, MidiContinue, 0, 0, 1},
      {MidiSystem, MidiStop, 0, 0, 1},  {MidiSystem, MidiSongPosition, 1, 2, 1}, {MidiSystem, 14, 0, 0, 0},
      {MidiSystem, 15, 0, 0, 0},        {MidiSystem, 6, 0, 0, 0},        {MidiSystem, 1, 0, 0, 0},
      {8, 0, 0, 0, 0},                  {-1, 0, 0, 0, 0},               {MidiNoteOn, 16, 1, 1, 0},
      {MidiNoteOn, -1, 1, 1, 0},
  };
  for (const TCase& c : open)
    EXPECT_EQ(port.Accept(c.kind, c.channel, c.data1, c.data2), c.accepted) << c.kind << "/" << c.channel;

  port.SetFilterBits(0x3F);  // every input filter
  EXPECT_EQ(port.Accept(MidiNoteOn, 0, 60, 100), 1);
  for (int32_t kind = MidiPolyPressure; kind <= MidiPitchBend; ++kind) EXPECT_EQ(port.Accept(kind, 0, 1, 1), 0) << kind;
  EXPECT_EQ(port.Accept(MidiSystem, MidiTimingClock, 0, 0), 0);
  EXPECT_EQ(port.Accept(MidiSystem, MidiStart, 0, 0), 1);
  EXPECT_EQ(port.Accept(MidiSystem, MidiSongPosition, 0, 0), 1);

  port.SetFilterBits(0);
  port.SetChannelMask(0);
  for (const TCase& c : open) EXPECT_EQ(port.Accept(c.kind, c.channel, c.data1, c.data2), 0);
}

TEST_F(MidiInOutTest, TheSendChannelFollowsTheLowestEnabledChannel) {
  TNoMidi port(nullptr);
  EXPECT_EQ(port.GetSendChannel(), 1);
  port.SetChannelMask(0x0006);
  EXPECT_EQ(port.GetSendChannel(), 2);
  port.SetChannelMask(0x8000);
  EXPECT_EQ(port.GetSendChannel(), 16);
  port.SetChannelMask(0);
  EXPECT_EQ(port.GetSendChannel(), 1);
  port.SetChannelOn(12, 1);
  EXPECT_EQ(port.GetSendChannel(), 12);
  EXPECT_EQ(port.IsChannelOn(12), 1);
  EXPECT_EQ(port.IsChannelOn(11), 0);
  port.SetChannelOn(12, 0);
  EXPECT_EQ(port.GetSendChannel(), 12);  // no channel left: it keeps its value
  port.SetSendChannel(0);
  port.SetSendChannel(17);
  EXPECT_EQ(port.GetSendChannel(), 12);
  port.SetSendChannel(16);
  EXPECT_EQ(port.GetSendChannel(), 16);
  EXPECT_EQ(port.IsChannelOn(0), 0);
  EXPECT_EQ(port.IsChannelOn(17), 0);
}

TEST_F(MidiInOutTest, FiltersSetAndClearTheirKindsBits) {
  TNoMidi port(nullptr);
  port.SetInputFilter(MidiControl, 1);
  port.SetOutputFilter(MidiSystem, 1);
  port.SetOutputFilter(MidiNoteOn, 1);  // notes have no filter bit
  EXPECT_EQ(port.GetFilterBits(), (1u << 1) | (1u << 21));
  EXPECT_NE(port.GetInputFilter(MidiControl), 0u);
  EXPECT_EQ(port.GetOutputFilter(MidiControl), 0u);
  EXPECT_NE(port.GetOutputFilter(MidiSystem), 0u);
  port.SetInputFilter(MidiControl, 0);
  EXPECT_EQ(port.GetFilterBits(), 1u << 21);
}

TEST_F(MidiInOutTest, SettingsComeFromTheStoreAndGoBackToIt) {
  {
    TNoMidi fresh(nullptr);
    EXPECT_EQ(fresh.GetChannelMask(), 0xFFFF);
    EXPECT_EQ(fresh.GetFilterBits(), 0u);
    EXPECT_EQ(fresh.GetThrough(), 0);
    fresh.SetChannelMask(0x0300);
    fresh.SetFilterBits(0x21);
    fresh.SetThrough(1);
  }
  EXPECT_EQ(IRegistry::GetDword("MIDI Input Channels", 0), 0x0300u);
  EXPECT_EQ(IRegistry::GetDword("MIDI filter", 0), 0x21u);
  EXPECT_EQ(IRegistry::GetDword("MIDI Through", 0), 1u);
  TNoMidi again(nullptr);
  EXPECT_EQ(again.GetChannelMask(), 0x0300);
  EXPECT_EQ(again.GetSendChannel(), 9);
  EXPECT_EQ(again.GetFilterBits(), 0x21u);
  EXPECT_EQ(again.GetThrough(), 1);
}

// The ring is the base's; the recording port keeps it (the null port stores nothing).
class TRing : public TRecordingMidi {
public:
  TRing() : TRecordingMidi(nullptr) {}
};

std::vector<uint8_t> Message(int32_t dataBytes, uint8_t fill) {
  std::vector<uint8_t> bytes(1, 0xF0);
  bytes.insert(bytes.end(), dataBytes, fill);
  bytes.push_back(0xF7);
  return bytes;
}

TEST_F(MidiInOutTest, TheRingStoresWholeMessagesInOrder) {
  TRing ring;
  const auto first = Message(3, 0x11);
  const auto second = Message(5, 0x22);
  ring.PutSysex(first.data(), static_cast<int32_t>(first.size()));
  ring.PutSysex(second.data(), static_cast<int32_t>(second.size()));
  EXPECT_EQ(ring.GetSysexLength(), 4);  // 0xF0 and the data, not the 0xF7
  uint8_t buffer[16] = {};
  EXPECT_EQ(ring.ReadSysex(buffer), 1);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{0xF0, 0x11, 0x11, 0x11}));
  EXPECT_EQ(ring.GetSysexLength(), 6);
  EXPECT_EQ(ring.ReadSysex(buffer), 0);
  EXPECT_EQ(ring.GetSysexLength(), 0);
  EXPECT_EQ(ring.ReadSysex(buffer), 0);
  // A 0xF7 without an open message and bytes outside one make no message.
  const uint8_t stray[] = {0x01, 0xF7, 0x02};
  ring.PutSysex(stray, 3);
  EXPECT_EQ(ring.GetSysexLength(), 0);
  // A piece above 100000 bytes is ignored whole.
  std::vector<uint8_t> large = Message(100000, 0x33);
  ring.PutSysex(large.data(), 100001);
  EXPECT_EQ(ring.GetSysexLength(), 0);
}

TEST_F(MidiInOutTest, AMessageInTwoBuffersIsStoredAsItsFirstBuffer) {
  TRing ring;
  std::vector<uint8_t> message = Message(198, 0x44);  // 200 bytes with 0xF0 and 0xF7
  ring.PutSysex(message.data(), 128);
  ring.EndSysex();
  ring.PutSysex(message.data() + 128, 72);
  ring.EndSysex();
  EXPECT_EQ(ring.GetSysexLength(), 128);
  std::vector<uint8_t> buffer(200);
  EXPECT_EQ(ring.ReadSysex(buffer.data()), 0);
  EXPECT_EQ(buffer[0], 0xF0);
  EXPECT_EQ(buffer[127], 0x44);
}

TEST_F(MidiInOutTest, AFullRingDropsNewMessagesWholeAndNeverOverwritesUnreadOnes) {
  TRing ring;
  const auto big = Message(90000, 0x55);
  ring.PutSysex(big.data(), static_cast<int32_t>(big.size()));
  ring.PutSysex(big.data(), static_cast<int32_t>(big.size()));
  ring.PutSysex(big.data(), static_cast<int32_t>(big.size()));  // does not fit any more
  EXPECT_EQ(ring.GetDroppedSysexCount(), 1);
  std::vector<uint8_t> buffer(100000);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(ring.GetSysexLength(), 90001);
    ring.ReadSysex(buffer.data());
    EXPECT_EQ(buffer[0], 0xF0);
    EXPECT_EQ(buffer[90000], 0x55);
  }
  // Read out, the ring takes messages again, across its end.
  for (int round = 0; round < 5; ++round) {
    const auto next = Message(70000, static_cast<uint8_t>(round));
    ring.PutSysex(next.data(), static_cast<int32_t>(next.size()));
    ASSERT_EQ(ring.GetSysexLength(), 70001);
    ring.ReadSysex(buffer.data());
    EXPECT_EQ(buffer[0], 0xF0);
    EXPECT_EQ(buffer[1], round);
    EXPECT_EQ(buffer[70000], round);
  }
  EXPECT_EQ(ring.GetDroppedSysexCount(), 1);
}

TEST_F(MidiInOutTest, OnlyTwoHundredMessagesWaitAtOnce) {
  TRing ring;
  const auto small = Message(1, 0x66);
  for (int i = 0; i < 205; ++i) ring.PutSysex(small.data(), static_cast<int32_t>(small.size()));
  EXPECT_EQ(ring.GetDroppedSysexCount(), 5);
  uint8_t buffer[4];
  int32_t pending = 0;
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(ring.GetSysexLength(), 2);
    pending = ring.ReadSysex(buffer);
  }
  EXPECT_EQ(pending, 0);
}

TEST_F(MidiInOutTest, TheOutputFailedFlagIsTakenOnce) {
  EXPECT_FALSE(TakeMidiOutputFailed());
  SetMidiOutputFailed();
  EXPECT_TRUE(TakeMidiOutputFailed());
  EXPECT_FALSE(TakeMidiOutputFailed());
}
}  // namespace
