// The host: start-up and its failures, "Last Session" at start-up and shutdown, the
// shutdown order, the idle timer, the commands and the computer keyboard.
#include <gtest/gtest.h>

#include <filesystem>

#include "HostFixture.h"
#include "audio/IAudioInOut.h"
#include "host/SessionFile.h"
#include "host/THost.h"
#include "host/TMenu.h"
#include "plughost/TVSTWnd.h"

namespace {
class HostTest : public HostFixture {
protected:
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messages.shown) texts.emplace_back(std::string_view(shown.text));
    return texts;
  }
  // A session file with chunk as the plug-in state.
  void WriteLastSession(const std::vector<uint8_t>& chunk) {
    TFakePlugin::Get().chunk = chunk;
    {
      TVSTPlug plug(nullptr);
      EPtr<IFileName> name;
      SetLastSessionName(*name);
      SaveSessionFile(*name, nullptr, &plug);
    }
    TFakePlugin::Get().Reset();
  }
};

TEST_F(HostTest, AReadyHostIsUntitledRunsTheIdleTimerAndHasNoLastSessionToRead) {
  const int32_t timersBefore = GetTimerService().GetTimerCount();
  {
    THost host(sources);
    EXPECT_TRUE(host.IsReady());
    EXPECT_EQ(host.GetSessionName().GetName(), "untitled");
    EXPECT_EQ(host.GetSessionName().GetType(), FileTypeSession);
    EXPECT_TRUE(host.GetSessionName().GetFolder().IsEmpty());
    EXPECT_EQ(host.GetMenuId(), 7000);
    EXPECT_EQ(host.IsIdleTimerOn(), 1);
    EXPECT_EQ(host.IsAudioRunning(), 1);
    EXPECT_EQ(GetTimerService().GetTimerCount(), timersBefore + 1);
    EXPECT_EQ(TApp::GetCurrent(), &host);
    // No "Last Session": the plug-in keeps its own state.
    for (int32_t opcode : TFakePlugin::Get().Opcodes()) EXPECT_NE(opcode, effSetChunk);
    // The MIDI port runs once the plug-in is there.
    EXPECT_GE(TCallLog::Get().Find("midi:Start"), 0);
    EXPECT_EQ(host.Idle(), 1);
  }
  EXPECT_EQ(GetTimerService().GetTimerCount(), timersBefore);
  EXPECT_EQ(TApp::GetCurrent(), nullptr);
}

TEST_F(HostTest, WithoutTheLibraryTheHostIsNotReadyAndWritesNoLastSession) {
  TVSTPlug::SetLibrary("/nowhere/Thudra.dll", true);
  const int32_t timersBefore = GetTimerService().GetTimerCount();
  {
    THost host(sources);
    EXPECT_FALSE(host.IsReady());
    EXPECT_EQ(GetTimerService().GetTimerCount(), timersBefore);
    EXPECT_EQ(TCallLog::Get().Find("midi:Start"), -1);
    EXPECT_EQ(Texts().back(), "Thudra.dll not found !");
  }
  EXPECT_FALSE(std::filesystem::exists(LastSessionPath()));
}

TEST_F(HostTest, LastSessionIsReadAtStartUpAndWrittenAtShutdown) {
  WriteLastSession({1, 2, 3, 4});
  TFakePlugin::Get().chunk = {7, 7, 7};
  {
    THost host(sources);
    EXPECT_EQ(TFakePlugin::Get().LastSetChunk(), (std::vector<uint8_t>{1, 2, 3, 4}));
  }
  const auto written = ReadWholeFile(LastSessionPath());
  ASSERT_EQ(written.size(), 27u + 19u + 3u);
  EXPECT_EQ(std::vector<uint8_t>(written.end() - 3, written.end()), (std::vector<uint8_t>{7, 7, 7}));
}

TEST_F(HostTest, ADamagedLastSessionIsReportedAndStartUpGoesOn) {
  WriteWholeFile(LastSessionPath(), {0x3A, 0x01, 0x01, 0x00});
  THost host(sources);
  EXPECT_TRUE(host.IsReady());
  EXPECT_EQ(Texts().back(), "Not a valid Thudra file.");
}

TEST_F(HostTest, AnEmptyChunkAtShutdownLeavesTheOlderLastSession) {
  WriteLastSession({5, 5});
  const auto before = ReadWholeFile(LastSessionPath());
  { THost host(sources); }  // the plug-in answers no chunk now
  EXPECT_EQ(ReadWholeFile(LastSessionPath()), before);
}

TEST_F(HostTest, AShutdownSaveThatFailsIsReportedUnderTheSessionsNameAndKeepsTheOldOne) {
  struct TCase {
    const char* name;
    bool fullDisk;
    std::string message;
  };
  const std::string path = LastSessionPath();
  const std::vector<TCase> cases = {
      {"full disk", true, "Error while writing file " + path + "."},
      {"a folder where the temporary file goes", false, "Can not open file " + path + "."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteLastSession({5, 5});
    const auto before = ReadWholeFile(path);
    TFakePlugin::Get().chunk = {7, 7, 7};
    messages.shown.clear();
    {
      THost host(sources);
      if (c.fullDisk) files->failAfterBytes = 0;
      else std::filesystem::create_directory(path + ".tmp");
    }
    files->failAfterBytes = -1;
    std::filesystem::remove(path + ".tmp");
    ASSERT_FALSE(Texts().empty());
    EXPECT_EQ(Texts().back(), c.message);
    EXPECT_EQ(ReadWholeFile(path), before);
  }
}

TEST_F(HostTest, ASaveSessionThatFailsNamesTheSessionFile) {
  TFakePlugin::Get().chunk = {3, 1, 4};
  THost host(sources);
  const std::string mine = folder->File("mine.tsn");
  files->failAfterBytes = 0;
  dialogs.AnswerPath(TStr(std::string_view(mine)));
  host.Execute(1003);
  files->failAfterBytes = -1;
  ASSERT_FALSE(Texts().empty());
  EXPECT_EQ(Texts().back(), "Error while writing file " + mine + ".");
  EXPECT_FALSE(std::filesystem::exists(mine));
}

TEST_F(HostTest, ShutdownStopsMidiThenAudioThenClosesThePlugInThenFreesItsLibrary) {
  TFakePlugin::Get().chunk = {1};
  {
    THost host(sources);
    host.InitFrame();
    TCallLog::Get().Clear();
  }
  const auto log = TCallLog::Get().Entries();
  auto at = [&](const std::string& entry) { return TCallLog::Get().Find(entry); };
  const int midiStop = at("midi:Stop");
  const int deviceStop = at("device:stop");
  const int suspend = at("plug:12:0");
  const int deviceClose = at("device:close");
  const int hook2 = at("midi:HostHook2");
  const int portGone = at("port:destroy");
  const int getChunk = at("plug:23");
  const int editClose = at("plug:15");
  const int close = at("plug:1");
  const int unload = at("loader:unload");
  const int midiGone = at("midi:destroy");
  for (int index : {midiStop, deviceStop, suspend, deviceClose, hook2, portGone, getChunk, editClose, close, unload, midiGone})
    ASSERT_GE(index, 0);
  EXPECT_LT(midiStop, deviceStop);
  EXPECT_LT(deviceStop, suspend);
  EXPECT_LT(suspend, deviceClose);
  EXPECT_LT(deviceClose, hook2);
  EXPECT_LT(hook2, portGone);
  EXPECT_LT(portGone, getChunk);  // "Last Session" is saved first in the plug-in's teardown
  EXPECT_LT(getChunk, editClose);
  EXPECT_LT(editClose, close);
  EXPECT_LT(close, unload);
  EXPECT_LT(unload, midiGone);
  EXPECT_TRUE(std::filesystem::exists(LastSessionPath()));
  EXPECT_EQ(IRegistry::GetString("AudioPort", ""), "MultiMedia");
}

TEST_F(HostTest, InitFrameMarksThePortMenuAndStartsAudio) {
  THost host(sources);
  std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
  TApp::SetMenu(menu.get());
  TCallLog::Get().Clear();
  host.InitFrame();
  TApp::SetMenu(nullptr);
  EXPECT_TRUE(menu->IsItemChecked(1212));
  EXPECT_FALSE(menu->IsItemChecked(1214));
  EXPECT_TRUE(menu->IsItemEnabled(1203));  // the test port is a real port
  EXPECT_GE(TCallLog::Get().Find("device:start"), 0);
  EXPECT_GE(TCallLog::Get().Find("midi:HostHook1"), 0);
  EXPECT_TRUE(TFakePlugin::Get().IsActive());
}

TEST_F(HostTest, StopAudioTwiceEndsWithAudioRunning) {
  THost host(sources);
  std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
  TApp::SetMenu(menu.get());
  host.InitFrame();
  host.Execute(1200);
  EXPECT_EQ(host.IsAudioRunning(), 0);
  EXPECT_EQ(menu->GetItemText(1200), "Run &Audio");
  EXPECT_FALSE(TFakePlugin::Get().IsActive());
  host.Execute(1200);
  EXPECT_EQ(host.IsAudioRunning(), 1);
  EXPECT_EQ(menu->GetItemText(1200), "Stop &Audio");
  EXPECT_TRUE(TFakePlugin::Get().IsActive());
  TApp::SetMenu(nullptr);
}

TEST_F(HostTest, CommandsAnswerEnabledAndNeverChecked) {
  THost host(sources);
  for (int32_t id : {1000, 1001, 1002, 1003, 1004, 1010, 1011, 1012, 1021, 1200, 1203, 1205, 1206, 1207, 1212, 1300, 1302, 24310})
    EXPECT_EQ(host.IsEnabled(id), 1) << id;
  for (int32_t id : {1155, 1156, 1157, 1201, 1204, 1214}) EXPECT_EQ(host.IsEnabled(id), 0) << id;
  for (int32_t id : {1000, 1001, 1200, 1212, 24310}) EXPECT_EQ(host.IsChecked(id), 0) << id;
  // Kits and About go to the plug-in.
  TFakePlugin::Get().ClearRecord();
  host.Execute(1011);
  host.Execute(1012);
  host.Execute(1302);
  std::vector<int32_t> indexes;
  for (const TFakeCall& call : TFakePlugin::Get().Calls())
    if (call.opcode == effVendorSpecific) indexes.push_back(call.index);
  EXPECT_EQ(indexes, (std::vector<int32_t>{2, 1, -1}));
  // Choosing the active port changes nothing.
  TCallLog::Get().Clear();
  host.Execute(1212);
  EXPECT_EQ(TCallLog::Get().Find("port:destroy"), -1);
}

TEST_F(HostTest, SaveSessionRunsSaveAsUntilANameWasChosen) {
  TFakePlugin::Get().chunk = {3, 1, 4};
  THost host(sources);
  // Open Session loads a file but keeps the session untitled.
  {
    EPtr<IFileName> name;
    name->SetPath(TStr(std::string_view(folder->File("opened.tsn"))));
    SaveSessionFile(*name, nullptr, host.GetEnsemble()->GetPlug());
  }
  dialogs.AnswerPath(TStr(std::string_view(folder->File("opened.tsn"))));
  host.Execute(1001);
  EXPECT_EQ(dialogs.requests.back().title, "Open");
  EXPECT_EQ(host.GetSessionName().GetName(), "untitled");
  EXPECT_EQ(host.GetEnsemble()->GetPlug()->GetEditor()->GetTitle(), "Thudra - opened");

  // Save Session while untitled: Save Session As, which names the session.
  dialogs.AnswerPath(TStr(std::string_view(folder->File("mine.tsn"))));
  host.Execute(1002);
  EXPECT_EQ(dialogs.requests.back().title, "Save Session As");
  EXPECT_TRUE(std::filesystem::exists(folder->File("mine.tsn")));
  EXPECT_EQ(host.GetSessionName().GetName(), "mine");
  EXPECT_EQ(host.GetEnsemble()->GetPlug()->GetEditor()->GetTitle(), "Thudra - mine");

  // Now Save Session writes to that name without asking.
  std::filesystem::remove(folder->File("mine.tsn"));
  const size_t asked = dialogs.requests.size();
  host.Execute(1002);
  EXPECT_EQ(dialogs.requests.size(), asked);
  EXPECT_TRUE(std::filesystem::exists(folder->File("mine.tsn")));

  // Cancel leaves everything as it was.
  dialogs.AnswerCancel();
  host.Execute(1003);
  EXPECT_EQ(host.GetSessionName().GetName(), "mine");
}

TEST_F(HostTest, ReloadSavesTheLastSessionAndLoadsThePlugInAgain) {
  TFakePlugin::Get().chunk = {4, 2};
  THost host(sources);
  host.Execute(1000);
  EXPECT_TRUE(host.IsReady());
  EXPECT_TRUE(std::filesystem::exists(LastSessionPath()));
  EXPECT_EQ(loader.Loads(), 2);
  EXPECT_EQ(loader.Unloads(), 1);
}

TEST_F(HostTest, TheKeyboardPlaysThirtySixNotesAndShiftLettersGoToTheEditor) {
  THost host(sources);
  TRecordingMidi* midi = TRecordingMidi::Last();
  ASSERT_NE(midi, nullptr);
  struct TKey {
    int32_t scan;
    int32_t note;
  };
  for (const TKey& key : {TKey{0x02, 60}, TKey{0x0A, 68}, TKey{0x10, 69}, TKey{0x18, 77}, TKey{0x1E, 78},
                          TKey{0x26, 86}, TKey{0x2C, 87}, TKey{0x34, 95}}) {
    EXPECT_EQ(THost::NoteIndexForScanCode(key.scan) + 60, key.note) << key.scan;
  }
  for (int32_t scan : {0x01, 0x0B, 0x0F, 0x19, 0x1D, 0x27, 0x2B, 0x35, 0x39}) EXPECT_EQ(THost::NoteIndexForScanCode(scan), -1);

  host.OnKey(THost::NoModifier, 0x10, true, false);   // Q down: note 69
  host.OnKey(THost::NoModifier, 0x10, true, true);    // auto-repeat: ignored
  host.OnKey(THost::NoModifier, 0x10, true, false);   // still held: no retrigger
  host.OnKey(THost::ShiftModifier, 0x10, false, false);  // released with Shift held: note off all the same
  host.OnKey(THost::CtrlModifier, 0x11, true, false);    // Ctrl: nothing
  host.OnKey(THost::ShiftModifier, 0x10, true, false);   // Shift+Q: 'q' to the editor
  host.OnKey(THost::ShiftModifier, 0x2F, true, false);   // Shift+V
  host.OnKey(THost::ShiftModifier, 0x14, true, false);   // Shift+T: not a transport key
  host.OnKey(THost::NoModifier, 0x39, true, false);      // space: no note
  EXPECT_EQ(midi->Sent(), (std::vector<std::pair<int32_t, uint32_t>>{{0, 0x90 | 69 << 8 | 120 << 16}, {0, 0x90 | 69 << 8}}));
  std::vector<std::pair<int32_t, float>> keys;
  for (const TFakeCall& call : TFakePlugin::Get().Calls())
    if (call.opcode == effEditKeyDown) keys.emplace_back(call.index, call.opt);
  EXPECT_EQ(keys, (std::vector<std::pair<int32_t, float>>{{'q', 1.0f}, {'v', 1.0f}}));
  EXPECT_EQ(THost::ModifierFor(true, true), THost::ShiftModifier);
  EXPECT_EQ(THost::ModifierFor(false, true), THost::CtrlModifier);
}

TEST_F(HostTest, AMidiFileOpenedByTheCommandPlaysIntoThePlugInOnTheAudioBlocks) {
  // Format 0, one track, 96 ticks a quarter: a note on at tick 0, its note off at 48.
  const std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                     'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x00, 0x99, 36, 100, 0x30, 0x89, 36, 0,
                                     0x00, 0xFF, 0x2F, 0x00};
  WriteWholeFile(folder->File("groove.mid"), file);
  THost host(sources);
  std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
  TApp::SetMenu(menu.get());
  host.InitFrame();
  EXPECT_EQ(host.IsEnabled(1155), 0);
  dialogs.AnswerPath(TStr(std::string_view(folder->File("groove.mid"))));
  host.Execute(1010);
  EXPECT_EQ(dialogs.requests.back().title, "Open");
  EXPECT_EQ(host.IsEnabled(1155), 1);
  TTestPort* port = TTestPort::Last();
  TFakePlugin::Get().ClearRecord();
  for (int i = 0; i < 20; ++i) port->Process();
  std::vector<uint8_t> statuses;
  for (const auto& block : TFakePlugin::Get().Blocks())
    for (const TFakeEvent& event : block) statuses.push_back(event.status);
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], 0x99);
  EXPECT_EQ(statuses[1], 0x89);
  TApp::SetMenu(nullptr);
}

TEST_F(HostTest, TheRecentFileListStopsAtTheFirstEmptyValue) {
  IRegistry::SetString("File2", "/only/the/second.tsn");
  {
    THost host(sources);
    std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
    TApp::SetMenu(menu.get());
    host.InitFrame();
    TApp::SetMenu(nullptr);
    EXPECT_TRUE(host.GetFileMenu()->GetFiles().empty());
    EXPECT_FALSE(menu->HasItem(1020));
  }
  IRegistry::SetString("File1", "/a/b/c/first.tsn");
  THost host(sources);
  std::unique_ptr<TMenu> menu(TMenu::CreateMainMenu());
  TApp::SetMenu(menu.get());
  host.InitFrame();
  TApp::SetMenu(nullptr);
  EXPECT_EQ(menu->GetItemText(1021), "/.../first.tsn");
  EXPECT_EQ(menu->GetItemText(1022), "/.../second.tsn");
  EXPECT_TRUE(menu->HasItem(1020));
  EXPECT_EQ(TFileMenu::Shorten("one/two"), "one/two");
}
}  // namespace
