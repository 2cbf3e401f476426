#include <gtest/gtest.h>

#include "MidiTestSupport.h"
#include "midi/TMidiStreamParser.h"
#include "pc/midi/MidiBytes.h"
#include "pc/midi/MidiDeviceNames.h"

namespace {

// Records what the parser makes of bytes as text: "s:90 3C 64" for short messages
// (status, data1, data2), "x:F0 ..." for each system-exclusive message.
class TTranscript : public TMidiStreamParser::IReceiver {
public:
  void OnShortMessage(uint32_t m) override {
    char text[32];
    std::snprintf(text, sizeof text, "s:%02X %02X %02X", m & 0xFF, m >> 8 & 0xFF, m >> 16 & 0xFF);
    items.push_back(text);
  }
  void OnSysexByte(uint8_t b) override {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    sysex += sysex.empty() ? "x:" : " ";
    sysex += text;
  }
  void OnSysexEnd() override {
    items.push_back(sysex);
    sysex.clear();
  }
  std::vector<std::string> items;
  std::string sysex;
};

struct TParseCase {
  const char* what;
  TBytes bytes;
  std::vector<std::string> expected;
};

TEST(MidiStreamParser, TurnsBytesIntoMessages) {
  const std::vector<TParseCase> cases = {
      {"note on", {0x90, 60, 100}, {"s:90 3C 64"}},
      {"running status", {0x99, 36, 100, 38, 90}, {"s:99 24 64", "s:99 26 5A"}},
      {"program change has one data byte", {0xC1, 5, 6}, {"s:C1 05 00", "s:C1 06 00"}},
      {"real time inside a message", {0x90, 60, 0xF8, 100}, {"s:F8 00 00", "s:90 3C 64"}},
      {"data without status", {60, 100, 0x80, 60, 0}, {"s:80 3C 00"}},
      {"a status cut short by another", {0x90, 60, 0xB0, 7, 100}, {"s:B0 07 64"}},
      {"song position", {0xF2, 0x10, 0x01}, {"s:F2 10 01"}},
      {"system common has no running status", {0xF1, 0x20, 0x30}, {"s:F1 20 00"}},
      {"tune request", {0xF6}, {"s:F6 00 00"}},
      {"system exclusive", {0xF0, 0x7E, 0x01, 0xF7}, {"x:F0 7E 01 F7"}},
      {"clock inside system exclusive", {0xF0, 0x01, 0xF8, 0x02, 0xF7}, {"s:F8 00 00", "x:F0 01 02 F7"}},
      {"system exclusive ended by a status", {0xF0, 0x01, 0x90, 60, 1}, {"x:F0 01", "s:90 3C 01"}},
      {"a lone end of exclusive", {0xF7, 0x90, 1, 2}, {"s:90 01 02"}},
      {"running status ends at system exclusive", {0x90, 1, 2, 0xF0, 0xF7, 3, 4}, {"s:90 01 02", "x:F0 F7"}},
  };
  for (const TParseCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMidiStreamParser parser;
    TTranscript transcript;
    parser.Feed(c.bytes.data(), c.bytes.size(), transcript);
    EXPECT_EQ(transcript.items, c.expected);
  }
}

TEST(MidiStreamParser, MessagesMaySpanDeliveries) {
  TMidiStreamParser parser;
  TTranscript transcript;
  const TBytes bytes = {0x90, 60, 100, 0xF0, 1, 2, 3, 0xF7, 0xE0, 0, 64};
  for (uint8_t b : bytes) parser.Feed(&b, 1, transcript);
  EXPECT_EQ(transcript.items, (std::vector<std::string>{"s:90 3C 64", "x:F0 01 02 03 F7", "s:E0 00 40"}));
}

TEST(MidiDeviceNames, StableUniqueAndNotOurOwn) {
  EXPECT_EQ(WithoutClientAndPortNumbers("Midi Through:Midi Through Port-0 14:0"), "Midi Through:Midi Through Port-0");
  EXPECT_EQ(WithoutClientAndPortNumbers("USB Keys:USB Keys MIDI 1 24:0"), "USB Keys:USB Keys MIDI 1");
  EXPECT_EQ(WithoutClientAndPortNumbers("system:midi_capture_1"), "system:midi_capture_1");
  EXPECT_EQ(WithoutClientAndPortNumbers("Pads 2:3x"), "Pads 2:3x");
  EXPECT_TRUE(IsOwnPort("Thudra:in"));
  EXPECT_TRUE(IsOwnPort("Thudra-01:out"));
  EXPECT_FALSE(IsOwnPort("Thudrax:in"));
  EXPECT_FALSE(IsOwnPort("seq:Thudra"));
  EXPECT_EQ(MakeUnique({"Pads", "Keys", "Pads", "Pads"}), (std::vector<std::string>{"Pads", "Keys", "Pads 2", "Pads 3"}));
}

TEST(MidiBytes, ShortMessagesHaveTheirLength) {
  uint8_t bytes[3];
  EXPECT_EQ(ShortMessageBytes(0x643C90, bytes), 3u);
  EXPECT_EQ(ShortMessageBytes(0x05C3, bytes), 2u);
  EXPECT_EQ(ShortMessageBytes(0xF8, bytes), 1u);
  EXPECT_EQ(ShortMessageBytes(0x0110F2, bytes), 3u);
  EXPECT_EQ(ShortMessageBytes(0x3C, bytes), 0u);
}

}  // namespace
