// The multimedia MIDI port with its thread: stored ports, input to the host, MIDI
// through, system-exclusive buffers, floods and bad bytes, changes of the open set
// while the thread forwards, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "MidiTestSupport.h"
#include "foundation/IRegistry.h"
#include "midi/TMultiMediaMidi.h"

namespace {

using namespace std::chrono_literals;

class MultiMediaMidiThread : public MidiPortFixture {
protected:
  // Waits until the output has been sent count bytes.
  bool WaitForBytes(const std::string& output, size_t count) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (Virtual().Captured(output).size() < count)
      if (std::chrono::steady_clock::now() > until) return false;
      else std::this_thread::sleep_for(1ms);
    return true;
  }
  bool WaitForSysex(TMultiMediaMidi& port) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (port.GetSysexLength() == 0)
      if (std::chrono::steady_clock::now() > until) return false;
      else std::this_thread::sleep_for(1ms);
    return true;
  }
};

TEST_F(MultiMediaMidiThread, StartOpensTheStoredPortsAndTellsWhichCannot) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Keys");
  Virtual().AddOutput("Monitor");
  Virtual().AddOutput("Synth");
  Store("Midi1", "Keys");
  Store("Midi2", "Gone");
  Store("Midi3", "Pads");
  Store("Midi5", "Skipped after the gap");
  Store("MidiOut1", "Synth");
  Virtual().SetInUse("Pads", true);
  TMultiMediaMidi port(&host);
  port.Start();
  EXPECT_TRUE(port.IsThreadRunning());
  EXPECT_EQ(port.GetInstalledInCount(), 1);
  EXPECT_TRUE(Virtual().IsOpen("Keys"));
  EXPECT_TRUE(Virtual().IsOpen("Synth"));
  EXPECT_FALSE(Virtual().IsOpen("Monitor"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Could not open the MIDI port Pads.\nIt is probably in use by another program.");
  port.Start();  // a second start does nothing
  EXPECT_EQ(messages.shown.size(), 1u);
  port.Stop();
  EXPECT_FALSE(port.IsThreadRunning());
  EXPECT_FALSE(Virtual().IsOpen("Keys"));
  EXPECT_EQ(port.GetInstalledInCount(), 1);  // kept for saving
}

TEST_F(MultiMediaMidiThread, InputReachesTheHostInOrderAndGoesThrough) {
  Virtual().AddInput("Pads");
  Virtual().AddOutput("Monitor");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  ASSERT_EQ(port.InstallOut(0), 1);
  port.SetThrough(1);
  port.SetChannelMask(0x0001);  // through ignores the channel mask and the filters
  port.SetInputFilter(MidiControl, 1);
  Virtual().Inject("Pads", TBytes{0x99, 36, 100, 38, 90, 0xB3, 7, 100, 0xF8, 0xFA, 0xF2, 0x10, 0x01});
  ASSERT_TRUE(host.WaitFor(6));
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{
                               {1, 9, 36, 100}, {1, 9, 38, 90}, {3, 3, 7, 100}, {7, 8, 0, 0}, {7, 10, 0, 0}, {7, 2, 16, 1}}));
  ASSERT_TRUE(WaitForBytes("Monitor", 14));
  EXPECT_EQ(Virtual().Captured("Monitor"),
            (TBytes{0x99, 36, 100, 0x99, 38, 90, 0xB3, 7, 100, 0xF8, 0xFA, 0xF2, 0x10, 0x01}));
  port.SetThrough(0);
  Virtual().ClearCaptured("Monitor");
  Virtual().Inject("Pads", TBytes{0x80, 1, 2});
  ASSERT_TRUE(host.WaitFor(7));
  EXPECT_TRUE(Virtual().Captured("Monitor").empty());
}

TEST_F(MultiMediaMidiThread, ALongSystemExclusiveMessageIsStoredAsItsFirstBuffer) {
  Virtual().AddInput("Pads");
  Virtual().AddOutput("Monitor");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  ASSERT_EQ(port.InstallOut(0), 1);
  port.SetThrough(1);
  TBytes message{0xF0};
  for (int i = 0; i < 198; ++i) message.push_back(static_cast<uint8_t>(i & 0x7F));
  message.push_back(0xF7);
  Virtual().Inject("Pads", message);
  ASSERT_TRUE(WaitForSysex(port));
  ASSERT_TRUE(WaitForBytes("Monitor", 200));
  EXPECT_EQ(Virtual().Captured("Monitor"), message);  // through sends both buffers
  EXPECT_EQ(Virtual().SendCount("Monitor"), 2u);
  EXPECT_EQ(port.GetSysexLength(), 128);
  uint8_t stored[200] = {};
  EXPECT_EQ(port.ReadSysex(stored), 0);
  EXPECT_EQ(TBytes(stored, stored + 128), TBytes(message.begin(), message.begin() + 128));
  // A short message follows and arrives.
  Virtual().Inject("Pads", TBytes{0xF0, 0x7E, 0x09, 0xF7});
  ASSERT_TRUE(WaitForSysex(port));
  EXPECT_EQ(port.GetSysexLength(), 3);
}

// 100,000 events from one device and a stream of bad bytes from another: the port
// keeps running and loses nothing that is a message.
TEST_F(MultiMediaMidiThread, AFloodAndBadBytesLoseNothing) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Noise");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  ASSERT_EQ(port.InstallIn(1), 1);
  constexpr int events = 100000;
  std::thread pads([this] {
    for (int i = 0; i < events; ++i) {
      const uint8_t bytes[3] = {static_cast<uint8_t>(0x90 | (i & 0x0F)), static_cast<uint8_t>(i % 128),
                                static_cast<uint8_t>(i / 128 % 128)};
      Virtual().Inject("Pads", bytes, 3);
    }
  });
  std::thread noise([this] {
    const TBytes junk = {0x3C, 0x64, 0xF7, 0x00, 0xF4, 0x7F, 0xF5, 0xF9, 0xFD};
    for (int i = 0; i < 2000; ++i) Virtual().Inject("Noise", junk);
  });
  pads.join();
  noise.join();
  // The noise holds real-time bytes (0xF9, 0xFD) and two undefined ones (0xF4, 0xF5).
  ASSERT_TRUE(host.WaitFor(events + 2000 * 4, 20000));
  const std::vector<TEventRecord> got = host.Events();
  ASSERT_EQ(got.size(), size_t(events + 2000 * 4));
  int next = 0;
  for (const TEventRecord& e : got) {
    if (e[0] != MidiNoteOn) continue;
    ASSERT_EQ(e, (TEventRecord{1, next & 0x0F, next % 128, next / 128 % 128}));
    ++next;
  }
  EXPECT_EQ(next, events);
  EXPECT_EQ(port.GetLostInputCount(), 0u);
  EXPECT_TRUE(port.IsThreadRunning());
}

// More system-exclusive data than the ring holds, and more messages than it has
// slots, while the reader is slow: every read message is whole and in order.
TEST_F(MultiMediaMidiThread, TheRingKeepsItsBoundsUnderSystemExclusiveFloods) {
  Virtual().AddInput("Pads");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::thread sender([&] {
    for (int i = 0; i < 3000; ++i, ++sent) {
      TBytes message{0xF0, static_cast<uint8_t>(i & 0x7F), static_cast<uint8_t>(i >> 7 & 0x7F)};
      message.resize(120, static_cast<uint8_t>(i & 0x7F));
      message.push_back(0xF7);
      Virtual().Inject("Pads", message);
    }
    done = true;
  });
  int lastSeen = -1;
  int read = 0;
  uint8_t buffer[TMidiInOut::sysexRingBytes];
  // Every message is read, or counted as dropped by the ring or for want of a buffer.
  auto accounted = [&] { return read + port.GetDroppedSysexCount() + static_cast<int>(port.GetLostInputCount()); };
  const auto until = std::chrono::steady_clock::now() + 20s;
  // The reader begins late: by then more messages arrived than the ring has slots.
  while (sent < 1000) std::this_thread::sleep_for(100us);
  while (accounted() < 3000 && std::chrono::steady_clock::now() < until) {
    const int32_t length = port.GetSysexLength();
    if (length == 0) {
      std::this_thread::sleep_for(100us);
      continue;
    }
    ASSERT_EQ(length, 120);
    port.ReadSysex(buffer);
    ASSERT_EQ(buffer[0], 0xF0);
    const int number = buffer[1] | buffer[2] << 7;
    ASSERT_GT(number, lastSeen);
    for (int k = 3; k < 120; ++k) ASSERT_EQ(buffer[k], number & 0x7F);
    lastSeen = number;
    ++read;
    if (read % 50 == 0) std::this_thread::sleep_for(2ms);  // a slow reader
  }
  sender.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(accounted(), 3000);
  EXPECT_GT(read, 0);
  EXPECT_GT(port.GetDroppedSysexCount() + static_cast<int>(port.GetLostInputCount()), 0);
  EXPECT_TRUE(port.IsThreadRunning());
}

// The user-interface thread installs and removes outputs and inputs while input is
// forwarded through and the audio thread sends.
TEST_F(MultiMediaMidiThread, InstallAndRemoveWhileForwarding) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Keys");
  Virtual().AddOutput("A");
  Virtual().AddOutput("B");
  TMultiMediaMidi port(&host);
  port.Start();
  port.SetThrough(1);
  ASSERT_EQ(port.InstallIn(0), 1);
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    const TBytes note{0x90, 60, 100};
    while (!stop) {
      Virtual().Inject("Pads", note);
      std::this_thread::sleep_for(20us);
    }
  });
  std::thread sender([&] {
    while (!stop) {
      port.SendShort(0, 0x000080);
      std::this_thread::sleep_for(20us);
    }
  });
  for (int round = 0; round < 100; ++round) {
    port.InstallOut(round % 2);
    port.InstallIn(1);
    if (round % 3 == 0) port.RemoveOut(0);
    port.RemoveIn(1);
    port.RemoveOut(1);
  }
  stop = true;
  feeder.join();
  sender.join();
  EXPECT_TRUE(port.IsThreadRunning());
  EXPECT_GT(host.Count(), 0u);
}

TEST_F(MultiMediaMidiThread, ADeviceThatGoesAwayLeavesTheOthersWorking) {
  Virtual().AddInput("Pads");
  Virtual().AddInput("Keys");
  Virtual().AddOutput("A");
  Virtual().AddOutput("B");
  TMultiMediaMidi port(&host);
  port.Start();
  port.SetThrough(1);
  ASSERT_EQ(port.InstallIn(0), 1);
  ASSERT_EQ(port.InstallIn(1), 1);
  ASSERT_EQ(port.InstallOut(0), 1);
  ASSERT_EQ(port.InstallOut(1), 1);
  Virtual().Remove("Pads");
  Virtual().Remove("A");
  EXPECT_FALSE(Virtual().Inject("Pads", TBytes{0x90, 1, 1}));
  EXPECT_TRUE(Virtual().Inject("Keys", TBytes{0x90, 2, 2}));
  ASSERT_TRUE(host.WaitFor(1));
  ASSERT_TRUE(WaitForBytes("B", 3));
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{1, 0, 2, 2}}));
  port.RemoveIn(0);
  port.RemoveOut(0);
  EXPECT_EQ(port.GetInstalledInCount(), 1);
}

TEST_F(MultiMediaMidiThread, SendsFromAnyThreadLeaveThroughThePortThread) {
  Virtual().AddOutput("A");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallOut(0), 1);
  std::thread audio([&] {
    for (int i = 0; i < 1000; ++i) port.SendShort(0, PackShortMessage(0x90, static_cast<uint32_t>(i % 128), 1));
  });
  audio.join();
  ASSERT_TRUE(WaitForBytes("A", 3000));
  const TBytes sent = Virtual().Captured("A");
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(sent[static_cast<size_t>(i) * 3 + 1], i % 128);
}

TEST_F(MultiMediaMidiThread, StopEndsTheThreadWithinHalfASecond) {
  Virtual().AddInput("Pads");
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    while (!stop) Virtual().Inject("Pads", TBytes{0xF8});
  });
  std::this_thread::sleep_for(20ms);
  const auto before = std::chrono::steady_clock::now();
  port.Stop();
  const auto took = std::chrono::steady_clock::now() - before;
  stop = true;
  feeder.join();
  EXPECT_FALSE(port.IsThreadRunning());
  EXPECT_LT(took, 500ms);
  EXPECT_FALSE(Virtual().IsOpen("Pads"));
}

// A user's virtual input fed from a named pipe.
TEST_F(MultiMediaMidiThread, AVirtualInputReadsItsPipe) {
  TTempDir dir;
  const std::string pipe = dir.File("pads.fifo");
  ASSERT_EQ(RunCommand("mkfifo '" + pipe + "'"), 0);
  Virtual().AddFromDescription("in:Pads=" + pipe);
  TMultiMediaMidi port(&host);
  port.Start();
  ASSERT_EQ(port.InstallIn(0), 1);
  ASSERT_EQ(RunCommand("printf '\\220\\074\\144\\200\\074\\000' > '" + pipe + "'"), 0);
  ASSERT_TRUE(host.WaitFor(2));
  EXPECT_EQ(host.Events(), (std::vector<TEventRecord>{{1, 0, 60, 100}, {0, 0, 60, 0}}));
}

}  // namespace
