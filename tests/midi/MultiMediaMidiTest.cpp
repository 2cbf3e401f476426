// The multimedia MIDI port without its thread: device lists, opening and closing,
// sending, the stored port list and the shared settings.
#include <gtest/gtest.h>

#include "MidiTestSupport.h"
#include "foundation/IRegistry.h"
#include "midi/TMultiMediaMidi.h"

namespace {

class MultiMediaMidi : public MidiPortFixture {};

TEST_F(MultiMediaMidi, ListsTheDevicesOnceWithUniqueNames) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Keys");
  Virtual().AddInput("Pads");
  Virtual().AddOutput("Monitor");
  TMultiMediaMidi port(&host);
  Virtual().AddInput("Late");  // the lists are not filled again
  ASSERT_EQ(port.GetInCount(), 3);
  TStr name;
  port.GetInName(2, name);
  EXPECT_EQ(name, "Pads 2");
  EXPECT_EQ(port.FindIn("Pads 2"), 2);
  EXPECT_EQ(port.FindIn("Late"), -1);
  EXPECT_EQ(port.FindOut("Monitor"), 0);
  EXPECT_EQ(port.FindOut("Pads"), -1);
  EXPECT_EQ(port.GetPortKind(), 5);
  EXPECT_EQ(port.IsUsable(), 1);
  // The second device of the name is opened, not the first.
  EXPECT_EQ(port.InstallIn(2), 1);
  EXPECT_TRUE(Virtual().Inject("Pads", TBytes{0x90, 1, 1}) == false);
  EXPECT_EQ(port.InstallIn(0), 1);
  EXPECT_EQ(port.GetInstalledInCount(), 2);
  port.GetInstalledInName(0, name);
  EXPECT_EQ(name, "Pads 2");
}

TEST_F(MultiMediaMidi, InstallAndRemove) {
  Virtual().AddInput("Pads");
  Virtual().AddOutput("Monitor");
  TVirtualMidiDevices::TOptions busy;
  busy.inUse = true;
  Virtual().AddOutput("Busy", busy);
  TMultiMediaMidi port(&host);
  EXPECT_EQ(port.InstallIn(0), 1);
  EXPECT_EQ(port.InstallIn(0), 1);  // already open: nothing more
  EXPECT_EQ(port.GetInstalledInCount(), 1);
  EXPECT_EQ(port.InstallIn(7), 0);
  EXPECT_EQ(port.InstallIn(-1), 0);
  EXPECT_EQ(port.InstallOut(1), 0);  // in use
  EXPECT_EQ(port.GetInstalledOutCount(), 0);
  EXPECT_EQ(port.InstallOut(0), 1);
  EXPECT_TRUE(Virtual().IsOpen("Pads"));
  port.RemoveIn(0);
  port.RemoveOut(0);
  port.RemoveOut(5);
  EXPECT_FALSE(Virtual().IsOpen("Pads"));
  EXPECT_FALSE(Virtual().IsOpen("Monitor"));
  EXPECT_EQ(port.GetInstalledInCount(), 0);
  EXPECT_EQ(port.GetInstalledOutCount(), 0);
}

TEST_F(MultiMediaMidi, SendShortFollowsThePortNumberAndTheOutputFilter) {
  Virtual().AddOutput("A");
  Virtual().AddOutput("B");
  TMultiMediaMidi port(&host);
  TakeMidiOutputFailed();
  port.SendShort(0, 0x643C90);  // no outputs: nothing, and no failure
  EXPECT_FALSE(TakeMidiOutputFailed());
  ASSERT_EQ(port.InstallOut(1), 1);
  ASSERT_EQ(port.InstallOut(0), 1);
  port.SendShort(0, 0x643C90);
  port.SendShort(1, 0x0507C0);  // the first installed output: B
  port.SendShort(2, 0x7F07B0);
  port.SendShort(3, 0x7F07B0);  // beyond the installed outputs: nothing
  EXPECT_EQ(Virtual().Captured("B"), (TBytes{0x90, 60, 100, 0xC0, 7}));
  EXPECT_EQ(Virtual().Captured("A"), (TBytes{0x90, 60, 100, 0xB0, 7, 0x7F}));
  Virtual().ClearCaptured("A");
  port.SetOutputFilter(MidiControl, 1);
  port.SetOutputFilter(MidiSystem, 1);
  port.SendShort(2, 0x7F07B0);
  port.SendShort(2, 0xF8);
  port.SendShort(2, 0x003C80);  // notes are never filtered
  EXPECT_EQ(Virtual().Captured("A"), (TBytes{0x80, 60, 0}));
  EXPECT_FALSE(TakeMidiOutputFailed());
  Virtual().SetRefuseSend("A", true);
  port.SendShort(2, 0x003C80);
  EXPECT_TRUE(TakeMidiOutputFailed());
  EXPECT_FALSE(TakeMidiOutputFailed());
}

TEST_F(MultiMediaMidi, SavesTheOpenPortsAndClearsStaleOnes) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Keys");
  Virtual().AddOutput("Monitor");
  for (int n = 1; n <= 5; ++n) Store(("Midi" + std::to_string(n)).c_str(), "Stale");
  Store("MidiOut1", "Stale");
  Store("MidiOut65", "Beyond");
  {
    TMultiMediaMidi port(&host);
    port.InstallIn(1);
    port.InstallIn(0);
    port.InstallOut(0);
  }
  EXPECT_EQ(Stored("Midi1"), "Keys");
  EXPECT_EQ(Stored("Midi2"), "Pads");
  EXPECT_EQ(Stored("Midi3"), "");
  EXPECT_EQ(Stored("Midi5"), "");
  EXPECT_EQ(Stored("MidiOut1"), "Monitor");
  EXPECT_EQ(Stored("MidiOut2"), "");
  EXPECT_EQ(Stored("MidiOut65"), "Beyond");  // only 64 stale entries are cleared
  // The shared settings are saved too.
  EXPECT_EQ(IRegistry::GetDword("MIDI Input Channels", 0), 65535u);
}

// The port's acceptance of input events, from the shared base.
TEST_F(MultiMediaMidi, AcceptsByChannelFilterAndRange) {
  TMultiMediaMidi port(&host);
  EXPECT_EQ(port.GetThrough(), 0);
  EXPECT_EQ(port.GetFilterBits(), 0u);
  EXPECT_EQ(port.Accept(MidiNoteOn, 0, 60, 100), 1);
  EXPECT_EQ(port.Accept(MidiProgram, 0, 128, 0), 0);
  EXPECT_EQ(port.Accept(MidiPitchBend, 0, 200, 200), 1);
  port.SetInputFilter(MidiSystem, 1);
  EXPECT_EQ(port.Accept(MidiSystem, MidiTimingClock, 0, 0), 0);
  for (int32_t passing : {MidiStart, MidiContinue, MidiStop, MidiSongPosition})
    EXPECT_EQ(port.Accept(MidiSystem, passing, 0, 0), 1) << passing;
  for (int32_t refused : {14, 15, 6, 1}) EXPECT_EQ(port.Accept(MidiSystem, refused, 0, 0), 0) << refused;
  port.SetChannelMask(0);
  EXPECT_EQ(port.GetSendChannel(), 1);
  for (int32_t channel = 0; channel < 16; ++channel) {
    EXPECT_EQ(port.Accept(MidiNoteOn, channel, 60, 100), 0);
    EXPECT_EQ(port.Accept(MidiSystem, channel, 0, 0), 0);
  }
  port.SetChannelMask(0x0006);
  EXPECT_EQ(port.GetSendChannel(), 2);
  port.SetChannelMask(0x8000);
  EXPECT_EQ(port.GetSendChannel(), 16);
  port.SetSendChannel(0);
  port.SetSendChannel(17);
  EXPECT_EQ(port.GetSendChannel(), 16);
}

TEST_F(MultiMediaMidi, VirtualDevicesFromADescription) {
  TTempDir dir;
  EXPECT_EQ(Virtual().AddFromDescription(" in:Pads ; out:Monitor=" + dir.File("out.bin") +
                                         " ;out:Dead!refuse;in:Taken!busy;bogus:X;in:;out:Y!loud"),
            3);
  EXPECT_EQ(Virtual().ListInputs(), (std::vector<std::string>{"Pads", "Taken"}));
  EXPECT_EQ(Virtual().ListOutputs(), (std::vector<std::string>{"Monitor", "Dead"}));
  TMultiMediaMidi port(&host);
  EXPECT_EQ(port.InstallIn(port.FindIn("Taken")), 0);
  ASSERT_EQ(port.InstallOut(port.FindOut("Monitor")), 1);
  ASSERT_EQ(port.InstallOut(port.FindOut("Dead")), 1);
  TakeMidiOutputFailed();
  port.SendShort(1, 0x643C90);
  EXPECT_FALSE(TakeMidiOutputFailed());
  port.SendShort(2, 0x643C90);
  EXPECT_TRUE(TakeMidiOutputFailed());
  EXPECT_EQ(ReadFile(dir.File("out.bin")), (TBytes{0x90, 60, 100}));
}

}  // namespace
