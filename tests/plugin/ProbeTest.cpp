// The probe plug-in that the host's tests rely on: its record says exactly what it
// received and what the host answered, and every switch does what ProbeControl.h
// promises, set through ProbeSet or through the environment.
#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "ProbeControl.h"
#include "TTestPlugin.h"
#include "audio/THDRecordingPrp.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

std::string Fnv(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  char text[24];
  std::snprintf(text, sizeof text, "%016" PRIx64, h);
  return text;
}

class TProbe : public ::testing::Test {
protected:
  // Opens the probe, applies the switches through ProbeSet and enters it.
  bool Load(std::vector<std::pair<const char*, const char*>> switches = {}, const char* library = THUDRA_PROBE_LIBRARY,
            const char* entry = "main") {
    probe.reset();  // the previous probe goes first, so that the library starts afresh
    probe = std::make_unique<TTestPlugin>(library);
    if (!probe->Open()) return false;
    reinterpret_cast<ProbeResetSwitchesProc>(probe->Symbol("ProbeResetSwitches"))();
    reinterpret_cast<ProbeClearRecordProc>(probe->Symbol("ProbeClearRecord"))();
    auto set = reinterpret_cast<ProbeSetProc>(probe->Symbol("ProbeSet"));
    for (const auto& [name, value] : switches) set(name, value);
    return probe->Enter(entry);
  }

  std::vector<std::string> Record() {
    auto get = reinterpret_cast<ProbeGetRecordProc>(probe->Symbol("ProbeGetRecord"));
    return Lines(get());
  }

  std::unique_ptr<TTestPlugin> probe;
};

TEST_F(TProbe, RecordsEveryCallInOrder) {
  ASSERT_TRUE(Load()) << probe->Error();
  probe->Start(128, 44100.0f);
  EXPECT_EQ(probe->ProductString(), "Thudra - 54 channel professional drum sampler");
  ERect* rect = nullptr;
  EXPECT_EQ(probe->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  probe->Process(128, {{0, 0x90, 36, 127}, {5, 0x80, 36, 0}});
  probe->ProcessReplacingOnly(64);
  AEffect* e = probe->Effect();
  e->setParameter(e, 1, 0.5f);
  EXPECT_FLOAT_EQ(e->getParameter(e, 1), 0.5f);
  const std::vector<uint8_t> chunk = {1, 2, 3};
  EXPECT_TRUE(probe->SetChunk(chunk));
  EXPECT_EQ(probe->GetChunk(), chunk);
  probe->Dispatch(effEditKeyDown, 'q', 0, nullptr, 1.0f);
  probe->Dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstEvents"));
  probe->Close();

  const std::vector<std::string> expected = {
      "main",
      "dispatch op=0 name=effOpen index=0 value=0 opt=0",
      "dispatch op=11 name=effSetBlockSize index=0 value=128 opt=0",
      "dispatch op=10 name=effSetSampleRate index=0 value=0 opt=44100",
      "dispatch op=12 name=effMainsChanged index=0 value=1 opt=0",
      "dispatch op=48 name=effGetProductString index=0 value=0 opt=0 "
      "text=\"Thudra - 54 channel professional drum sampler\"",
      "dispatch op=13 name=effEditGetRect index=0 value=0 opt=0 rect=0,0,300,400",
      "dispatch op=25 name=effProcessEvents index=0 value=0 opt=0 events=2 0:90247f00 5:80240000",
      "process frames=128 events=2 0:90247f00 5:80240000",
      "process frames=64 events=0",
      "setParameter index=1 value=0.5",
      "getParameter index=1",
      "dispatch op=24 name=effSetChunk index=0 value=3 opt=0 size=3 fnv=" + Fnv(chunk) + " bytes=010203",
      "dispatch op=23 name=effGetChunk index=0 value=0 opt=0 size=3 fnv=" + Fnv(chunk),
      "dispatch op=59 name=effEditKeyDown index=113 value=0 opt=1 key=113",
      "dispatch op=51 name=effCanDo index=0 value=0 opt=0 text=\"receiveVstEvents\"",
      "dispatch op=1 name=effClose index=0 value=0 opt=0",
  };
  EXPECT_EQ(Record(), expected);
}

struct TProductCase {
  const char* mode;
  const char* text;
  const char* expected;
};

TEST_F(TProbe, AnswersTheChosenProductString) {
  const TProductCase cases[] = {{"exact", nullptr, "Thudra - 54 channel professional drum sampler"},
                                {"suffix", nullptr, "Thudra - 54 channel professional drum sampler 2"},
                                {"other", nullptr, "Probe Instrument"},
                                {"exact", "thudra - 54 channel professional drum sampler", nullptr}};
  for (const TProductCase& c : cases) {
    ASSERT_TRUE(Load({{"THUDRA_PROBE_PRODUCT", c.mode}, {"THUDRA_PROBE_PRODUCT_TEXT", c.text}}));
    EXPECT_EQ(probe->ProductString(), c.expected ? c.expected : c.text) << c.mode;
  }
}

TEST_F(TProbe, SwitchesComeFromTheEnvironmentToo) {
  setenv("THUDRA_PROBE_PRODUCT", "other", 1);
  setenv("THUDRA_PROBE_NO_EDITOR", "1", 1);
  ASSERT_TRUE(Load());
  EXPECT_EQ(probe->ProductString(), "Probe Instrument");
  ERect* rect = nullptr;
  EXPECT_EQ(probe->Dispatch(effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(probe->Effect()->flags & effFlagsHasEditor, 0);
  EXPECT_TRUE(Has(Record(), "dispatch op=13 name=effEditGetRect index=0 value=0 opt=0 rect=none"));
  // A setter wins over the environment.
  ASSERT_TRUE(Load({{"THUDRA_PROBE_PRODUCT", "suffix"}}));
  EXPECT_EQ(probe->ProductString(), "Thudra - 54 channel professional drum sampler 2");
  unsetenv("THUDRA_PROBE_PRODUCT");
  unsetenv("THUDRA_PROBE_NO_EDITOR");
}

TEST_F(TProbe, ChunkModes) {
  ASSERT_TRUE(Load());
  const std::string initial = "THUDRA-PROBE-001";
  EXPECT_EQ(probe->GetChunk(), std::vector<uint8_t>(initial.begin(), initial.end()));
  EXPECT_FALSE(probe->SetChunk({}));

  ASSERT_TRUE(Load({{"THUDRA_PROBE_CHUNK", "empty"}}));
  void* data = nullptr;
  EXPECT_EQ(probe->Dispatch(effGetChunk, 0, 0, &data), 0);

  ASSERT_TRUE(Load({{"THUDRA_PROBE_CHUNK", "fixed"}}));
  std::vector<uint8_t> fixed(64);
  for (size_t i = 0; i < fixed.size(); ++i) fixed[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
  EXPECT_TRUE(probe->SetChunk({9, 9}));
  EXPECT_EQ(probe->GetChunk(), fixed) << "a fixed chunk ignores what was set";
}

TEST_F(TProbe, MainCanAnswerNullAndTheOtherBuildHasNoMain) {
  EXPECT_FALSE(Load({{"THUDRA_PROBE_MAIN_NULL", "1"}}));
  EXPECT_EQ(Record(), (std::vector<std::string>{"main", "main-null"}));

  TTestPlugin noMain(THUDRA_PROBE_NOMAIN_LIBRARY);
  ASSERT_TRUE(noMain.Open());
  EXPECT_EQ(noMain.Symbol("main"), nullptr);
  EXPECT_NE(noMain.Symbol("ProbeGetRecord"), nullptr);
  EXPECT_FALSE(noMain.Enter("main"));
  EXPECT_TRUE(noMain.Enter("VSTPluginMain"));
  EXPECT_EQ(noMain.ProductString(), "Thudra - 54 channel professional drum sampler");
}

TEST_F(TProbe, CallsTheHostInsideMainAndAtOpen) {
  ASSERT_TRUE(Load({{"THUDRA_PROBE_CALL_IN_MAIN", "1"}, {"THUDRA_PROBE_ASK_HOST", "1"}}));
  probe->Dispatch(effOpen);
  const auto lines = Record();
  for (const char* line : {"call-in-main op=1 answer=2400", "call-in-main op=3 answer=0",
                           "call-in-main op=15 answer=0", "call-in-main op=37 answer=1"})
    EXPECT_TRUE(Has(lines, line)) << line;
  // The calls inside main came without an effect record.
  int withoutEffect = 0;
  for (const THostCall& c : probe->HostCalls()) withoutEffect += !c.hadEffect;
  EXPECT_EQ(withoutEffect, 6);
  EXPECT_TRUE(Has(lines, "callback op=1 index=0 value=0 answer=2400"));
  EXPECT_TRUE(Has(lines, "callback op=32 index=0 value=0 answer=1 text=\"Velmora\""));
  EXPECT_TRUE(Has(lines, "callback op=33 index=0 value=0 answer=1 text=\"VM-Host\""));
  EXPECT_TRUE(Has(lines, "callback op=37 index=0 value=0 answer=0 ask=\"SizeWindow\""));
  EXPECT_TRUE(HasPrefix(lines, "callback op=7 index=0 value=0 answer="));
  bool time = false;
  for (const std::string& l : lines) time |= l.find(" time samplePos=0 sampleRate=44100 ppq=0 tempo=120 num=4 den=4 flags=0x2602") != std::string::npos;
  EXPECT_TRUE(time);
}

TEST_F(TProbe, FirstIdleSendsTheSizeRequestAndTheEvents) {
  ASSERT_TRUE(Load({{"THUDRA_PROBE_SIZE_REQUEST", "640x480"}, {"THUDRA_PROBE_EVENTS_OUT", "3"}}));
  probe->Dispatch(effIdle);
  probe->Dispatch(effEditIdle);
  std::vector<THostCall> sizes, events;
  for (const THostCall& c : probe->HostCalls()) {
    if (c.opcode == audioMasterSizeWindow) sizes.push_back(c);
    if (c.opcode == audioMasterProcessEvents) events.push_back(c);
  }
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].index, 640);
  EXPECT_EQ(sizes[0].value, 480);
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(events[0].events.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(events[0].events[i].delta, i);
    EXPECT_EQ(events[0].events[i].status, 0x93);
    EXPECT_EQ(events[0].events[i].data1, 60 + i);
    EXPECT_EQ(events[0].events[i].data2, 100);
  }
  auto send = reinterpret_cast<ProbeSendEventsProc>(probe->Symbol("ProbeSendEvents"));
  EXPECT_EQ(send(2), 0);
}

TEST_F(TProbe, SendsTheScheduledTapeAndPlayerCommands) {
  ASSERT_TRUE(Load({{"THUDRA_PROBE_COMMANDS", "1:t0,2:t7,2:p3:1,4:p5"},
                    {"THUDRA_PROBE_FOLDER", "/tmp/probe folder"},
                    {"THUDRA_PROBE_FILE", "a take.wav"}}));
  std::vector<std::string> seen;
  probe->SetHostAnswer([&](AEffect*, VstInt32 op, VstInt32 index, VstIntPtr, void* ptr, float) -> VstIntPtr {
    if (op != audioMasterVendorSpecific) return 0;
    auto& r = *static_cast<THDRecordingPrp*>(ptr);
    seen.push_back(std::to_string(index) + ":" + std::to_string(r.command) + ":" + r.folder.Text() + "/" +
                   r.fileName.Text() + ":" + std::to_string(r.loop) + ":" + std::to_string(r.fileType));
    if (index == 1 && r.command == 7) {
      r.position = 1.5f;
      r.recordMode = 1;
      r.paused = 1;
      r.fileName = TStr();  // an empty string of the host's own
    }
    return 0;
  });
  for (int i = 0; i < 5; ++i) probe->Dispatch(effIdle);
  EXPECT_EQ(seen, (std::vector<std::string>{"1:0:/tmp/probe folder/a take.wav:0:4",
                                            "1:7:/tmp/probe folder/a take.wav:0:4",
                                            "0:3:/tmp/probe folder/a take.wav:1:4",
                                            "0:5:/tmp/probe folder/a take.wav:0:4"}));
  EXPECT_TRUE(Has(Record(), "callback op=35 index=1 value=0 answer=0 tape sent=7 answered position=1.5 recordMode=1 "
                            "playMode=0 sampleRate=0 playerActive=0 paused=1 playerStopped=0 loop=0 fileName=\"\" "
                            "folder=\"/tmp/probe folder\" fileType=4"));
  auto command = reinterpret_cast<ProbeSendCommandProc>(probe->Symbol("ProbeSendCommand"));
  EXPECT_EQ(command(1, 8, nullptr, "old.wav", "new.wav", 0), 0);
  EXPECT_EQ(seen.back(), "1:8:/tmp/probe folder/old.wav:0:4");
}

TEST_F(TProbe, ProcessingCanBeSlowAskForTimeAndWriteSignals) {
  ASSERT_TRUE(Load({{"THUDRA_PROBE_SLOW_US", "3000"}, {"THUDRA_PROBE_GET_TIME", "1"},
                    {"THUDRA_PROBE_SIGNAL", "ramp"}}));
  probe->Start();
  const auto start = std::chrono::steady_clock::now();
  probe->Process(128);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(3000));
  EXPECT_FLOAT_EQ(probe->Output(0)[0], -100 / 256.0f);
  EXPECT_FLOAT_EQ(probe->Output(3)[10], (13 - 100) / 256.0f);
  probe->Process(128);
  EXPECT_FLOAT_EQ(probe->Output(0)[0], (128 - 100) / 256.0f);
  EXPECT_TRUE(HasPrefix(Record(), "callback op=7 index=0 value=0 answer="));

  ASSERT_TRUE(Load({{"THUDRA_PROBE_SIGNAL", "through"}}));
  for (int i = 0; i < 128; ++i) probe->Input(5)[i] = 0.01f * static_cast<float>(i);
  probe->Process(128);
  EXPECT_FLOAT_EQ(probe->Output(5)[77], 0.77f);
  EXPECT_EQ(probe->Output(0)[77], 0.0f);
}

TEST_F(TProbe, WritesItsLogAndItsUnloading) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("probe-log-" + std::to_string(::getpid()) + ".txt");
  std::filesystem::remove(log);
  setenv("THUDRA_PROBE_LOG", log.c_str(), 1);
  ASSERT_TRUE(Load());
  probe->Dispatch(effOpen);
  probe.reset();  // close and unload
  unsetenv("THUDRA_PROBE_LOG");
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(Lines(text.str()), (std::vector<std::string>{"main", "dispatch op=0 name=effOpen index=0 value=0 opt=0",
                                                          "dispatch op=1 name=effClose index=0 value=0 opt=0",
                                                          "unload"}));
  std::filesystem::remove(log);
}

}  // namespace
