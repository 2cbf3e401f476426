// The plug-in wrapper: loading and its failures, the product check, the editor, the
// dispatcher mapping, teardown and the host callback.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "HostFixture.h"
#include "pc/host/TDlLibraryLoader.h"
#include "plughost/THeadlessFrame.h"

namespace {
using Plug = TVSTPlug;

class PlugHostTest : public HostFixture {};

std::vector<std::string> Texts(const TScriptedPresenter& presenter) {
  std::vector<std::string> texts;
  for (const auto& shown : presenter.shown) texts.emplace_back(std::string_view(shown.text));
  return texts;
}

TEST_F(PlugHostTest, OpensChecksTheProductOpensTheEditorAndLeavesThePlugInSuspended) {
  Plug plug(nullptr);
  ASSERT_TRUE(plug.IsLoaded());
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effOpen, effGetProductString, effEditGetRect, effMainsChanged}));
  EXPECT_EQ(TFakePlugin::Get().Calls().back().value, 0);  // mains off
  EXPECT_TRUE(plug.IsSuspended());
  EXPECT_EQ(plug.GetEffect()->user, static_cast<void*>(&plug));
  ASSERT_NE(plug.GetEditor(), nullptr);
  EXPECT_EQ(plug.GetEditor()->GetTitle(), "Thudra");
  IFrameWnd* frame = plug.GetEditor()->GetFrame();
  ASSERT_NE(frame, nullptr);
  // At (100, 100) with the editor's 400 x 300; the headless frame has no handle, so
  // effEditOpen is not sent.
  EXPECT_EQ(frame->GetWindowRect(), (TArea{100, 100, 500, 400}));
  EXPECT_EQ(frame->GetText(), "Thudra");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PlugHostTest, EachLoadFailureLeavesAnUnloadedPlugInWithItsMessage) {
  struct TCase {
    const char* name;
    std::function<void(TFakePlugin&)> arrange;
    const char* path;
    std::vector<std::string> texts;
    bool loaded;
  };
  const std::vector<TCase> cases = {
      {"missing library", [](TFakePlugin&) {}, "/nowhere/Thudra.dll", {"Thudra.dll not found !"}, false},
      {"no main", [](TFakePlugin& p) { p.noMain = true; }, TFakePlugin::path, {}, false},
      {"main answers null", [](TFakePlugin& p) { p.mainAnswersNull = true; }, TFakePlugin::path, {}, false},
      {"main answers no plug-in", [](TFakePlugin& p) { p.mainAnswersGarbage = true; }, TFakePlugin::path, {}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakePlugin::Get().Reset();
    messages.shown.clear();
    c.arrange(TFakePlugin::Get());
    TVSTPlug::SetLibrary(c.path, true);
    {
      Plug plug(nullptr);
      EXPECT_EQ(plug.IsLoaded(), c.loaded);
      EXPECT_EQ(plug.GetEditor(), nullptr);
      plug.SetBlockSize(64);  // with no effect record every call does nothing
      EXPECT_EQ(plug.GetChunk(nullptr, 0), 0);
    }
    EXPECT_EQ(Texts(messages), c.texts);
    EXPECT_TRUE(TFakePlugin::Get().Opcodes().empty());
    for (const auto& shown : messages.shown) EXPECT_EQ(shown.caption, "Thudra");
  }
}

TEST_F(PlugHostTest, AnotherProductIsReportedAndRunsWithoutEditor) {
  for (const char* product : {"Thudra - 54 channel professional drum sampler ", "Thudra - 54 channel professional drum samplerX",
                              "thudra - 54 channel professional drum sampler", "Something else", ""}) {
    SCOPED_TRACE(product);
    TFakePlugin::Get().Reset();
    TFakePlugin::Get().product = product;
    messages.shown.clear();
    Plug plug(nullptr);
    EXPECT_TRUE(plug.IsLoaded());
    EXPECT_EQ(plug.GetEditor(), nullptr);
    EXPECT_EQ(Texts(messages), (std::vector<std::string>{"Thudra.dll is corrupted !"}));
    // Suspended, so that a later start sends mains-on before any block.
    EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effOpen, effGetProductString, effMainsChanged}));
  }
}

TEST_F(PlugHostTest, AnotherLibraryIsHostedWithoutTheProductCheck) {
  TFakePlugin::Get().product = "Some other instrument";
  TVSTPlug::SetLibrary(TFakePlugin::path, false);
  Plug plug(nullptr);
  EXPECT_TRUE(plug.IsLoaded());
  EXPECT_NE(plug.GetEditor(), nullptr);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effOpen, effEditGetRect, effMainsChanged}));
}

TEST_F(PlugHostTest, APlugInWithoutEditorGetsNoWindow) {
  TFakePlugin::Get().hasEditor = false;
  Plug plug(nullptr);
  EXPECT_EQ(plug.GetEditor(), nullptr);
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effOpen, effGetProductString, effEditGetRect, effMainsChanged}));
}

TEST_F(PlugHostTest, TeardownClosesTheEditorThenThePlugInThenFreesTheLibrary) {
  {
    Plug plug(nullptr);
    TCallLog::Get().Clear();
  }
  const auto log = TCallLog::Get().Entries();
  EXPECT_EQ(log, (std::vector<std::string>{"plug:15", "plug:1", "loader:unload"}));
  EXPECT_FALSE(TFakePlugin::Get().IsOpen());
  EXPECT_EQ(loader.Unloads(), 1);
}

TEST_F(PlugHostTest, ALibraryThatLoadedWithoutPlugInIsStillFreed) {
  TFakePlugin::Get().mainAnswersNull = true;
  { Plug plug(nullptr); }
  EXPECT_EQ(loader.Loads(), 1);
  EXPECT_EQ(loader.Unloads(), 1);
}

TEST_F(PlugHostTest, EveryOperationSendsItsOpcodeAndArguments) {
  Plug plug(nullptr);
  char text[200] = "name";
  void* chunk = nullptr;
  ERect* rect = nullptr;
  VstPinProperties properties{};
  struct TCase {
    std::function<void()> call;
    TFakeCall expected;
  };
  const std::vector<TCase> cases = {
      {[&] { plug.KeysRequired(); }, {effKeysRequired, 0, 0, 0, {}}},
      {[&] { plug.SetBlockSize(256); }, {effSetBlockSize, 0, 256, 0, {}}},
      {[&] { plug.SetSampleRate(48000.0f); }, {effSetSampleRate, 0, 0, 48000.0f, {}}},
      {[&] { plug.GetChunk(&chunk, 0x101); }, {effGetChunk, 1, 0, 0, {}}},
      {[&] { plug.SetChunk(text, 3, 0x100); }, {effSetChunk, 0, 3, 0, {}}},
      {[&] { plug.SetProgram(7); }, {effSetProgram, 0, 7, 0, {}}},
      {[&] { plug.SetProgramName(text); }, {effSetProgramName, 0, 0, 0, {}}},
      {[&] { plug.GetProgramName(text); }, {effGetProgramName, 0, 0, 0, {}}},
      {[&] { plug.GetOutputProperties(3, &properties); }, {effGetOutputProperties, 3, 0, 0, {}}},
      {[&] { plug.VendorSpecific(-1, nullptr, 5); }, {effVendorSpecific, -1, 5, 0, {}}},
      {[&] { plug.EditOpen(text); }, {effEditOpen, 0, 0, 0, {}}},
      {[&] { plug.EditClose(); }, {effEditClose, 0, 0, 0, {}}},
      {[&] { plug.EditGetRect(&rect); }, {effEditGetRect, 0, 0, 0, {}}},
      {[&] { plug.EditKeyDown('q', 0x1FF, 0x101); }, {effEditKeyDown, 'q', 0xFF, 1.0f, {}}},
      {[&] { plug.ProcessEvents(nullptr); }, {effProcessEvents, 0, -1, 0, {}}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TFakePlugin::Get().ClearRecord();
    cases[i].call();
    const auto calls = TFakePlugin::Get().Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, cases[i].expected.opcode);
    EXPECT_EQ(calls[0].index, cases[i].expected.index);
    EXPECT_EQ(calls[0].value, cases[i].expected.value);
    EXPECT_FLOAT_EQ(calls[0].opt, cases[i].expected.opt);
  }
  TFakePlugin::Get().ClearRecord();
  plug.Idle();
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effIdle, effEditIdle}));
  plug.SetParameter(2, 0.75f);
  EXPECT_FLOAT_EQ(plug.GetParameter(2), 0.75f);
}

TEST_F(PlugHostTest, SuspendAndResumeSendMainsChangedOnlyOnAChange) {
  Plug plug(nullptr);
  TFakePlugin::Get().ClearRecord();
  plug.Suspend();
  plug.SuspendAgain();
  EXPECT_TRUE(TFakePlugin::Get().Opcodes().empty());
  plug.Resume();
  plug.Resume();
  ASSERT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effMainsChanged}));
  EXPECT_EQ(TFakePlugin::Get().Calls()[0].value, 1);
  EXPECT_FALSE(plug.IsSuspended());
  plug.SuspendAgain();
  EXPECT_TRUE(plug.IsSuspended());
}

// ---- The host callback ---------------------------------------------------------------------

TEST_F(PlugHostTest, CallbacksFromInsideMainGetTheAnswersOfNoPlugInObject) {
  TFakePlugin::Get().callHostFromMain = true;
  Plug plug(nullptr);
  ASSERT_TRUE(plug.IsLoaded());
  // version 1 with a null and with the unfinished record; idle, size and events do
  // nothing and answer 0.
  EXPECT_EQ(TFakePlugin::Get().MainAnswers(), (std::vector<intptr_t>{1, 1, 0, 0, 0}));
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effOpen, effGetProductString, effEditGetRect, effMainsChanged}));
}

TEST_F(PlugHostTest, TheCallbackAnswersOpcodeByOpcode) {
  Plug plug(nullptr);
  AEffect* effect = plug.GetEffect();
  audioMasterCallback host = TFakePlugin::Get().Host();
  ASSERT_NE(host, nullptr);
  for (AEffect* record : {static_cast<AEffect*>(nullptr), effect}) {
    SCOPED_TRACE(record ? "record" : "null record");
    EXPECT_EQ(host(record, audioMasterVersion, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(host(record, audioMasterAutomate, 1, 2, nullptr, 0.5f), 0);
    EXPECT_EQ(host(record, audioMasterCurrentId, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterWantMidi, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterGetTime, 0, 0, nullptr, 0), 0);  // no clock
    EXPECT_EQ(host(record, audioMasterGetSampleRate, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterGetVendorVersion, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterSetIcon, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterGetLanguage, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, 1000, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host(record, audioMasterVendorSpecific, 1, 0, nullptr, 0), 0);
    char vendor[64] = {};
    char product[64] = {};
    host(record, audioMasterGetVendorString, 0, 0, vendor, 0);
    host(record, audioMasterGetProductString, 0, 0, product, 0);
    EXPECT_STREQ(vendor, "Velmora");
    EXPECT_STREQ(product, "VM-Host");
    struct TCanDo {
      const char* text;
      intptr_t answer;
    };
    for (const TCanDo& canDo : {TCanDo{"sizeWindow", 1}, TCanDo{"sendVstTimeInfo", 1}, TCanDo{"SizeWindow", 0},
                                TCanDo{"sendvsttimeinfo", 0}, TCanDo{"sizeWindow ", 0}, TCanDo{"sizeWin", 0},
                                TCanDo{"receiveVstEvents", 0}, TCanDo{"", 0}}) {
      EXPECT_EQ(host(record, audioMasterCanDo, 0, 0, const_cast<char*>(canDo.text), 0), canDo.answer) << canDo.text;
    }
    EXPECT_EQ(host(record, audioMasterCanDo, 0, 0, nullptr, 0), 0);
  }
  // Null record: idle, events and size do nothing.
  TFakePlugin::Get().ClearRecord();
  EXPECT_EQ(host(nullptr, audioMasterIdle, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(host(nullptr, audioMasterProcessEvents, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(host(nullptr, audioMasterSizeWindow, 20, 20, nullptr, 0), 0);
  EXPECT_TRUE(TFakePlugin::Get().Opcodes().empty());
  EXPECT_EQ(plug.GetEditor()->GetFrame()->GetWindowRect(), (TArea{100, 100, 500, 400}));
  // With the record: idle reaches the plug-in.
  EXPECT_EQ(host(effect, audioMasterIdle, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(TFakePlugin::Get().Opcodes(), (std::vector<int32_t>{effIdle, effEditIdle}));
}

TEST_F(PlugHostTest, ASizeRequestResizesTheEditorWhereItIs) {
  Plug plug(nullptr);
  IFrameWnd* frame = plug.GetEditor()->GetFrame();
  frame->MoveWindow({30, 40, 130, 140});
  TFakePlugin::Get().Host()(plug.GetEffect(), audioMasterSizeWindow, 200, 120, nullptr, 0);
  EXPECT_EQ(frame->GetWindowRect(), (TArea{30, 40, 230, 160}));
  // Width 0: the editor's own rectangle.
  TFakePlugin::Get().Host()(plug.GetEffect(), audioMasterSizeWindow, 0, 120, nullptr, 0);
  EXPECT_EQ(frame->GetWindowRect(), (TArea{30, 40, 430, 340}));
}

// ---- Real libraries through the platform's loader ------------------------------------------

class RealLibraryTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    previous = SetLibraryLoader(&dl);
  }
  void TearDown() override {
    SetLibraryLoader(previous);
    HostFixture::TearDown();
  }
  std::string Make(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder->File(name);
    WriteWholeFile(path, bytes);
    return path;
  }
  TDlLibraryLoader dl;
  ILibraryLoader* previous = nullptr;
};

TEST_F(RealLibraryTest, FilesThatAreNoPlugInLibraryEndWithTheMessageOrNothing) {
  const std::vector<uint8_t> kars = ReadWholeFile("/usr/lib/vst/Kars-vst.so");
  ASSERT_GT(kars.size(), 4096u) << "dpf-plugins-vst is installed by scripts/install-deps";
  const std::string text = Make("text.dll", std::vector<uint8_t>{'n', 'o', ' ', 'e', 'l', 'f', '\n'});
  const std::string truncated = Make("truncated.dll", std::vector<uint8_t>(kars.begin(), kars.begin() + 4096));
  const std::string empty = Make("empty.dll", {});
  for (const std::string& path : {text, truncated, empty}) {
    SCOPED_TRACE(path);
    messages.shown.clear();
    TVSTPlug::SetLibrary(TStr(std::string_view(path)), true);
    Plug plug(nullptr);
    EXPECT_FALSE(plug.IsLoaded());
    EXPECT_EQ(Texts(messages), (std::vector<std::string>{"Thudra.dll not found !"}));
  }
  // A shared object without "main": no message, not loaded.
  messages.shown.clear();
  std::string withoutMain;
  for (const char* candidate : {"/lib/x86_64-linux-gnu/libdl.so.2", "/usr/lib/x86_64-linux-gnu/libdl.so.2"})
    if (std::filesystem::exists(candidate)) withoutMain = candidate;
  ASSERT_FALSE(withoutMain.empty());
  TVSTPlug::SetLibrary(TStr(std::string_view(withoutMain)), true);
  Plug plug(nullptr);
  EXPECT_FALSE(plug.IsLoaded());
  EXPECT_TRUE(messages.shown.empty());
}
}  // namespace
