// The real thudra executable in a program folder of its own, with the probe plug-in
// or the instrument copied in as Thudra.dll: start-up and its fatal failures, the
// plug-in's calls at start-up and shutdown, "Last Session" written at the end of a
// run and read at the next, and the options.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProgramRun.h"

namespace fs = std::filesystem;

namespace {
const std::string identifier = "Thudra Session File";

class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder.InstallProgram();
    environment["XDG_CONFIG_HOME"] = folder.File("config");
    environment["THUDRA_PROBE_LOG"] = folder.File("probe.log");
  }
  std::string LastSession() const { return folder.File("Last Session.tsn"); }
  std::string ProbeLog() const { return ReadText(folder.File("probe.log")); }

  // Starts, waits until audio runs (the probe resumed), ends with SIGTERM.
  int RunProbeUntilResumed(TProgramRun& run) {
    EXPECT_TRUE(WaitForText(folder.File("probe.log"), "name=effMainsChanged index=0 value=1")) << run.Stderr();
    run.Signal(SIGTERM);
    return run.Wait();
  }

  // The dispatcher calls of the probe's record without the idle and per-block calls:
  // "<op>" or "<op>:<value>" for effMainsChanged.
  std::vector<std::string> Dispatches() const {
    std::vector<std::string> calls;
    std::istringstream lines(ProbeLog());
    std::string line;
    while (std::getline(lines, line)) {
      if (line == "unload") calls.push_back("unload");
      if (line.rfind("dispatch op=", 0) != 0) continue;
      const int op = std::stoi(line.substr(12));
      // Idle calls, and the events handed over with each audio block.
      if (op == 53 || op == 19 || op == 25) continue;
      std::string call = std::to_string(op);
      if (op == 12) call += ":" + line.substr(line.find(" value=") + 7, 1);
      if (op == 10) call += ":" + line.substr(line.find(" opt=") + 5, 5);
      calls.push_back(call);
    }
    return calls;
  }

  TProgramFolder folder;
  std::map<std::string, std::string> environment;
};

TEST_F(ProgramTest, WithoutTheLibraryTheProgramReportsTwiceAndExitsWithOne) {
  TProgramRun run(folder, {"--headless"}, environment);
  EXPECT_EQ(run.Wait(), 1);
  const std::string errors = run.Stderr();
  const size_t notFound = errors.find("[Thudra] Thudra.dll not found !");
  const size_t cannotStart = errors.find("[Thudra] Couldn't initialize the Thudra !");
  ASSERT_NE(notFound, std::string::npos) << errors;
  ASSERT_NE(cannotStart, std::string::npos) << errors;
  EXPECT_LT(notFound, cannotStart);
  EXPECT_FALSE(fs::exists(LastSession()));
}

TEST_F(ProgramTest, APlugInThatIsNoneEndsTheStartUpWithOne) {
  struct TCase {
    const char* name;
    std::string library;
    std::map<std::string, std::string> switches;
  };
  const std::vector<TCase> cases = {
      {"main answers null", THUDRA_PROBE_LIBRARY, {{"THUDRA_PROBE_MAIN_NULL", "1"}}},
      {"no main", THUDRA_PROBE_NOMAIN_LIBRARY, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    folder.InstallPlugIn(c.library);
    auto env = environment;
    env.insert(c.switches.begin(), c.switches.end());
    TProgramRun run(folder, {}, env);
    EXPECT_EQ(run.Wait(), 1);
    const std::string errors = run.Stderr();
    EXPECT_EQ(errors.find("Thudra.dll not found !"), std::string::npos);
    EXPECT_NE(errors.find("[Thudra] Couldn't initialize the Thudra !"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(LastSession()));
  }
}

TEST_F(ProgramTest, TheProbeSeesTheStartUpAndShutdownSequenceAndIsUnloadedAfterClose) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  TProgramRun run(folder, {"--headless"}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0) << run.Stderr();
  // The second editor rectangle: the window takes the editor's size again once the
  // menu is attached.
  EXPECT_EQ(Dispatches(), (std::vector<std::string>{"0", "48", "13", "12:0", "13", "11", "10:44100", "11", "12:1",
                                                    "12:0", "23", "15", "1", "unload"}))
      << ProbeLog();
  // The soundcard port on the first PCM that ALSA lists (its null PCM at least) works
  // in blocks of 128 frames.
  EXPECT_NE(ProbeLog().find("dispatch op=11 name=effSetBlockSize index=0 value=128"), std::string::npos);
  // The headless frame has no native window: no effEditOpen.
  EXPECT_EQ(ProbeLog().find("name=effEditOpen"), std::string::npos);
  EXPECT_TRUE(fs::exists(LastSession()));
}

TEST_F(ProgramTest, SigintEndsTheProgramThroughTheNormalShutdownToo) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  TProgramRun run(folder, {}, environment);
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "name=effMainsChanged index=0 value=1"));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_NE(ProbeLog().find("name=effClose"), std::string::npos);
  EXPECT_NE(ProbeLog().find("\nunload\n"), std::string::npos);
}

TEST_F(ProgramTest, TheInstrumentsLastSessionIsReadBackAtTheNextStart) {
  folder.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
  {
    TProgramRun run(folder, {}, environment);
    ASSERT_TRUE(run.WaitUntilSignalsAreHandled()) << run.Stderr();
    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(), 0) << run.Stderr();
  }
  const std::string bytes = ReadText(LastSession());
  ASSERT_GE(bytes.size(), 27 + identifier.size());
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x3A\x01\x01\x00\x00", 5));
  uint32_t size = 0;
  std::memcpy(&size, bytes.data() + 23 + identifier.size(), 4);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(bytes.size(), 27 + identifier.size() + size);
  const std::vector<uint8_t> chunk(bytes.begin() + 27 + identifier.size(), bytes.end());

  // The next start hands exactly these bytes to the plug-in.
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  TProgramRun again(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(again), 0);
  char expected[128];
  std::snprintf(expected, sizeof expected, "name=effSetChunk index=0 value=%u opt=0 size=%u fnv=%016" PRIx64, size,
                size, Fnv64(chunk));
  EXPECT_NE(ProbeLog().find(expected), std::string::npos) << expected << "\n" << ProbeLog();
  // It is read during construction: after the plug-in was suspended, before audio starts.
  const auto calls = Dispatches();
  const auto setChunk = std::find(calls.begin(), calls.end(), "24");
  ASSERT_NE(setChunk, calls.end());
  EXPECT_EQ(*(setChunk - 1), "12:0");
  EXPECT_EQ(*(setChunk + 1), "13");
}

TEST_F(ProgramTest, ADamagedLastSessionIsReportedAndStartUpGoesOn) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  { std::ofstream(LastSession()) << "\x3A\x01\x01\x00\x00 cut"; }
  TProgramRun run(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0);
  EXPECT_NE(run.Stderr().find("[Thudra] Not a valid Thudra file."), std::string::npos) << run.Stderr();
  EXPECT_EQ(ProbeLog().find("name=effSetChunk"), std::string::npos);
  // The shutdown writes a good one over it.
  EXPECT_EQ(ReadText(LastSession()).size(), 27 + identifier.size() + 16);
}

TEST_F(ProgramTest, APlugInWithoutEditorStillGetsAudioAndACleanShutdown) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  environment["THUDRA_PROBE_NO_EDITOR"] = "1";
  TProgramRun run(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0);
  EXPECT_EQ(Dispatches(), (std::vector<std::string>{"0", "48", "13", "12:0", "11", "10:44100", "11", "12:1", "12:0",
                                                    "23", "15", "1", "unload"}));
}

TEST_F(ProgramTest, AnotherProductIsReportedAndStillRuns) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  environment["THUDRA_PROBE_PRODUCT"] = "suffix";
  TProgramRun run(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0);
  EXPECT_NE(run.Stderr().find("[Thudra] Thudra.dll is corrupted !"), std::string::npos);
  EXPECT_EQ(Dispatches(), (std::vector<std::string>{"0", "48", "12:0", "11", "10:44100", "11", "12:1", "12:0", "23",
                                                    "15", "1", "unload"}));
}

TEST_F(ProgramTest, CallsFromInsideMainGetTheAnswersOfNoPlugIn) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  environment["THUDRA_PROBE_CALL_IN_MAIN"] = "1";
  TProgramRun run(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0);
  const std::string log = ProbeLog();
  EXPECT_NE(log.find("call-in-main op=1 answer=1"), std::string::npos) << log;
  for (int op : {3, 7, 8, 15}) EXPECT_NE(log.find("call-in-main op=" + std::to_string(op) + " answer=0"), std::string::npos) << op;
  EXPECT_NE(log.find("call-in-main op=37 answer=1"), std::string::npos);  // "sizeWindow" needs no record
}

TEST_F(ProgramTest, PluginHostsAnotherInstrumentWithoutTheProductCheck) {
  const std::string elsewhere = folder.File("other-instrument.so");
  fs::copy_file(THUDRA_PROBE_LIBRARY, elsewhere);
  environment["THUDRA_PROBE_PRODUCT"] = "other";
  TProgramRun run(folder, {"--headless", "--plugin", elsewhere}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0);
  EXPECT_EQ(run.Stderr().find("corrupted"), std::string::npos);
  EXPECT_EQ(Dispatches(), (std::vector<std::string>{"0", "13", "12:0", "13", "11", "10:44100", "11", "12:1", "12:0",
                                                    "23", "15", "1", "unload"}));
}

TEST_F(ProgramTest, HelpVersionAndUnknownOptions) {
  {
    TProgramRun run(folder, {"--help"}, environment);
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_NE(run.Stdout().find("--plugin PATH"), std::string::npos);
  }
  {
    TProgramRun run(folder, {"--version"}, environment);
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_EQ(run.Stdout().rfind("thudra ", 0), 0u);
  }
  for (const std::vector<std::string>& words : {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--plugin"}}) {
    TProgramRun run(folder, words, environment);
    EXPECT_EQ(run.Wait(), 2);
    EXPECT_NE(run.Stderr().find("Usage: thudra"), std::string::npos);
  }
}
}  // namespace

namespace {
// Opens the writing end of a named pipe once the program has opened its reading end.
int OpenPipeForWriting(const std::string& path) {
  for (int i = 0; i < 2000; ++i) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) return fd;
    ::usleep(10000);
  }
  return -1;
}

// The program's MIDI port over its device layer: the stored devices opened by name at
// start, short and system-exclusive input through a named pipe passed on to the
// output by MIDI through, a stored device that is in use reported, the port list
// written back at the end.
TEST_F(ProgramTest, StoredMidiDevicesOpenAndMidiThroughReachesTheOutput) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  const std::string pads = folder.File("pads");
  const std::string monitor = folder.File("monitor.bin");
  ASSERT_EQ(::mkfifo(pads.c_str(), 0600), 0);
  fs::create_directories(folder.File("config/Velmora"));
  std::ofstream(folder.File("config/Velmora/Thudra.conf"))
      << "MIDI\\x20Through = dword 0x00000001\nMidi1 = string \"Pads\"\nMidi2 = string \"Busy\"\n"
         "MidiOut1 = string \"Monitor\"\n";
  environment["THUDRA_VIRTUAL_MIDI"] = "in:Pads=" + pads + ";in:Busy!busy;out:Monitor=" + monitor;
  TProgramRun run(folder, {}, environment);
  ASSERT_TRUE(WaitForText(folder.File("probe.log"), "name=effMainsChanged index=0 value=1")) << run.Stderr();
  const int feed = OpenPipeForWriting(pads);
  ASSERT_GE(feed, 0) << run.Stderr();
  const std::string input("\x99\x24\x64\xF0\x7D\x01\x02\xF7\x89\x24\x00", 11);
  ASSERT_EQ(::write(feed, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  ::close(feed);
  bool arrived = false;
  for (int i = 0; i < 2000 && !arrived; ++i) {
    arrived = ReadText(monitor).size() >= input.size();
    if (!arrived) ::usleep(10000);
  }
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Stderr();
  EXPECT_EQ(ReadText(monitor), input);
  EXPECT_NE(run.Stderr().find("[Thudra] Could not open the MIDI port Busy."), std::string::npos) << run.Stderr();
  const std::string settings = ReadText(folder.File("config/Velmora/Thudra.conf"));
  EXPECT_NE(settings.find("Midi1 = string \"Pads\""), std::string::npos) << settings;
  EXPECT_NE(settings.find("MidiOut1 = string \"Monitor\""), std::string::npos) << settings;
}
}  // namespace

namespace {
// A "Last Session" that cannot be written at shutdown (here a folder stands where the
// temporary file goes) is reported under its own name; the program still ends with 0
// and the old file stays as it was.
TEST_F(ProgramTest, ALastSessionThatCannotBeWrittenIsReportedAndTheOldOneStays) {
  folder.InstallPlugIn(THUDRA_PROBE_LIBRARY);
  { std::ofstream(LastSession()) << "the old session"; }
  fs::create_directory(LastSession() + ".tmp");
  TProgramRun run(folder, {}, environment);
  EXPECT_EQ(RunProbeUntilResumed(run), 0) << run.Stderr();
  const std::string errors = run.Stderr();
  EXPECT_NE(errors.find("[Thudra] Can not open file " + LastSession() + "."), std::string::npos) << errors;
  EXPECT_EQ(errors.find(".tmp"), std::string::npos) << errors;
  EXPECT_EQ(ReadText(LastSession()), "the old session");
}
}  // namespace
