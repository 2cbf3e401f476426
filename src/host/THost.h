// The host: the one application of this program. It owns the ensemble, runs the
// idle timer, reads "Last Session" at start-up, keeps the current session name,
// answers the menu commands and plays notes from the computer keyboard.
#pragma once
#include <cstdint>

#include "IHost.h"
#include "KEnsemble.h"
#include "TApp.h"
#include "TFileMenu.h"
#include "foundation/IFileName.h"

class THost : public TApp, public virtual IHost {
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

  THost();
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

  // The command dispatcher: action 0 runs, 1 asks enabled, 2 asks checked. Answers
  // false for ids the host does not know.
  bool OnCommand(int32_t id, int32_t action, int32_t& result);
  int32_t Execute(int32_t id);
  int32_t IsEnabled(int32_t id);
  int32_t IsChecked(int32_t id);

  // A key event of the main window: modifier, scan code, down or up, auto-repeat.
  void OnKey(int32_t modifier, int32_t scanCode, bool down, bool repeat);

  TFileMenu* GetFileMenu() const { return fileMenu; }
  void SetEditorTitle(const TStr& text);

private:
  static int32_t IdleCallback(void* context);
  void DestroyEnsemble();
  void ChangePortCommand(int32_t itemId, int32_t type);
  void MarkPortMenu();
  void OnEnsembleValueChanged(TShared* source);
  void RunCommand(int32_t id);
  bool IsCommandEnabled(int32_t id);

  KEnsemble* ensemble = nullptr;
  int32_t keyState[256] = {};
  EPtr<IFileName> sessionName;
  TFileMenu* fileMenu = nullptr;
  int32_t audioRunning = 1;
  int32_t idleTimerOn = 0;
  bool subscribed = false;
};

namespace Msg {
extern TParamStr couldNotInitialize;  // "Couldn't initialize the Thudra !"
}  // namespace Msg
