// The ALSA sequencer's ports as devices: where the machine has no sequencer the
// backend lists nothing and says nothing; where it has one, a note goes out to the
// kernel's "Midi Through" port and comes back in through it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "MidiTestSupport.h"
#include "midi/TMultiMediaMidi.h"

namespace {

bool HaveSequencer() { return ::access("/dev/snd/seq", R_OK | W_OK) == 0; }

TMidiDeviceLayer::TOptions AlsaOnly() {
  TMidiDeviceLayer::TOptions options;
  options.alsa = true;
  options.jack = false;
  return options;
}

class AlsaMidi : public MidiPortFixture {};

TEST_F(AlsaMidi, WithoutASequencerThereAreNoDevicesAndNoWords) {
  if (HaveSequencer()) GTEST_SKIP() << "this machine has an ALSA sequencer (/dev/snd/seq)";
  TTempDir dir;
  fflush(stderr);
  const int saved = ::dup(2);
  FILE* sink = std::fopen(dir.File("stderr.txt").c_str(), "w");
  ::dup2(fileno(sink), 2);
  std::vector<std::string> inputs, outputs;
  {
    TMidiDeviceLayer devices(AlsaOnly());
    inputs = devices.ListInputs();
    outputs = devices.ListOutputs();
    TMultiMediaMidi port(&host, &devices);
    port.Start();
    port.Stop();
  }
  fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(sink);
  EXPECT_TRUE(inputs.empty());
  EXPECT_TRUE(outputs.empty());
  std::ifstream errors(dir.File("stderr.txt"));
  std::stringstream text;
  text << errors.rdbuf();
  EXPECT_EQ(text.str(), "");
}

TEST_F(AlsaMidi, ANoteGoesOutAndComesBackThroughMidiThrough) {
  if (!HaveSequencer()) GTEST_SKIP() << "no ALSA sequencer on this machine: /dev/snd/seq does not exist";
  TMidiDeviceLayer devices(AlsaOnly());
  const std::string through = "Midi Through:Midi Through Port-0";
  const std::vector<std::string> inputs = devices.ListInputs();
  if (std::find(inputs.begin(), inputs.end(), through) == inputs.end())
    GTEST_SKIP() << "the sequencer has no \"" << through << "\" port (module snd-seq-dummy not loaded)";
  for (const std::string& name : inputs) {
    EXPECT_EQ(name.find("Thudra"), std::string::npos) << name;
    EXPECT_EQ(name.find(" 14:0"), std::string::npos) << name;  // no client and port numbers
  }
  TMultiMediaMidi port(&host, &devices);
  port.Start();
  ASSERT_EQ(port.InstallIn(port.FindIn(TStr(through.c_str()))), 1);
  ASSERT_EQ(port.InstallOut(port.FindOut(TStr(through.c_str()))), 1);
  for (const std::string& name : devices.ListInputs()) EXPECT_EQ(name.find("Thudra"), std::string::npos) << name;
  port.SendShort(0, PackShortMessage(0x92, 61, 99));
  ASSERT_TRUE(host.WaitFor(1));
  EXPECT_EQ(host.Events().front(), (TEventRecord{1, 2, 61, 99}));
  port.Stop();
}

}  // namespace
