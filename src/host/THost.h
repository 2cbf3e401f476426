// The host: the one application of this program. It owns the ensemble, runs the
// idle timer, reads "Last Session" at start-up, keeps the current session name,
// answers the menu commands and plays notes from the computer keyboard.
#pragma once
#include <cstdint>

#include "ICommandState.h"
#include "IHost.h"
#include "KEnsemble.h"
#include "TApp.h"
#include "TFileMenu.h"
#include "foundation/IFileName.h"

// Threading: everything here runs on the user-interface thread.
class THost : public TApp, public virtual IHost, public ICommandState {
public:
  static constexpr int32_t menuResource = 7000;
  static constexpr int32_t idleInterval = 32;
  static constexpr const char* untitled = "untitled";

  // Modifier states of a key event (Shift wins when both are held).
  enum EModifier : int32_t { NoModifier = 0, ShiftModifier = 1, CtrlModifier = 2 };
  static int32_t ModifierFor(bool shift, bool ctrl) { return shift ? ShiftModifier : ctrl ? CtrlModifier : NoModifier; }
  // The note index 0 to 35 of a scan code, or -1.
  static int32_t NoteIndexForScanCode(int32_t scanCode);
  // The lower-case letter that Shift with the key sends to the editor, or 0.
  static int32_t EditorCharacterForScanCode(int32_t scanCode);

  // sources: what the ensemble builds its ports from (the program's own by default).
  explicit THost(const TEnsembleSources& sources = {});
  ~THost() override;

  // IApp
  bool IsReady() override;

  // IHost
  int32_t LoadSession(const IFileName& name) override;
  void SaveSession(const IFileName& name) override;
  void SaveSessionAs() override;
  void Abort() override { Quit(0); }
  void ToggleAudio() override;
  void NoEffect() override {}
  KEnsemble* GetEnsemble() override { return ensemble; }
  const IFileName& GetSessionName() override { return *sessionName; }
  int32_t IsAudioRunning() override { return audioRunning; }
  int32_t IsIdleTimerOn() override { return idleTimerOn; }

  virtual int32_t Idle();
  // Once the main window exists: file menu, port marks, audio start, subscriptions.
  virtual void InitFrame();
  virtual bool CanClose() { return true; }

  // The session commands (Open Session, Save Session).
  void OpenSession();
  // Loads a Standard MIDI File into the player and switches playback on.
  int32_t OpenMidiFile(const IFileName& name);
  void SaveCurrentSession();

  // The command dispatcher: action 0 runs, 1 asks enabled, 2 asks checked (every
  // command answers 0: check marks are what the table's checked column shows).
  // Answers false for ids the host does not know.
  bool OnCommand(int32_t id, int32_t action, int32_t& result);
  int32_t Execute(int32_t id);
  int32_t IsEnabled(int32_t id);
  int32_t IsChecked(int32_t id);

  // ICommandState: the command table, as the menu shows it.
  bool HasCommand(int32_t id) override { return FindCommand(id) != nullptr; }
  bool IsCommandEnabled(int32_t id) override;
  bool IsCommandChecked(int32_t id) override;
  TStr GetCommandText(int32_t id) override;

  // A key event of the main window: modifier, scan code, down or up, auto-repeat.
  void OnKey(int32_t modifier, int32_t scanCode, bool down, bool repeat);

  TFileMenu* GetFileMenu() const { return fileMenu; }
  void SetEditorTitle(const TStr& text);

private:
  // One row of the command table: what the command runs, when it is enabled (null:
  // always) and whether its item is checked (null: never).
  struct TCommandRow {
    int32_t firstId;
    int32_t lastId;
    void (THost::*run)();
    bool (THost::*enabled)();
    bool (THost::*checked)();
  };
  static const TCommandRow commandTable[];
  static const TCommandRow* FindCommand(int32_t id);

  static int32_t IdleCallback(void* context);
  // Tells the user, at most once a second while it happens, that MIDI events were
  // dropped (audio off, or the plug-in's queue full).
  void ReportDroppedEvents();
  void DestroyEnsemble();
  void ChangePortCommand(int32_t itemId, int32_t type);
  void MarkPortMenu();
  IAudioInOut* Port() const;
  IVSTPlug* Plug() const;
  TMidiFilePlayback* Playback() const;

  // The commands' actions and rules, as the table names them.
  void NoCommandEffect() {}
  void ReloadPlug();
  void SaveKit();
  void LoadKit();
  void OpenMidiFileCommand();
  void TogglePlaybackCommand();
  void ToggleLoopCommand();
  void ToggleSyncCommand();
  void ShowAudioSettings();
  void ShowAudioRouting();
  void ShowMidiSettings();
  void ShowRecorderPanel();
  void ChooseSoundcard();
  void ChooseAsio();
  void ShowAbout();
  void ExitCommand() { Quit(0); }
  bool Never() { return false; }
  bool HasFileLoaded();
  bool HasRealPort();
  bool HasRouting();
  bool HasUsableMidi();
  bool SoundcardAvailable();
  bool AsioAvailable();
  bool PlaybackChecked();
  bool LoopChecked();
  bool SyncChecked();
  bool SoundcardChecked() { return checkedPortItem == Command::portSoundcard; }
  bool AsioChecked() { return checkedPortItem == Command::portAsio; }
  // Runs a panel with the plug-in's two hooks around it.
  template <typename F>
  void AroundPanel(F&& show);
  IFrameWnd* PanelParent() const;

  KEnsemble* ensemble = nullptr;
  // The Audio Port item whose check mark shows (0: none).
  int32_t checkedPortItem = 0;
  int32_t keyState[256] = {};
  EPtr<IFileName> sessionName;
  TFileMenu* fileMenu = nullptr;
  int32_t audioRunning = 1;
  int32_t idleTimerOn = 0;
  int64_t reportedDrops = 0;
  int64_t lastDropReport = 0;  // steady clock, milliseconds
};

namespace Msg {
extern TParamStr couldNotInitialize;  // "Couldn't initialize the Thudra !"
}  // namespace Msg
