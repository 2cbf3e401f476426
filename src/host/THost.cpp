#include "THost.h"

#include <new>

#include "SessionFile.h"
#include "TMenu.h"
#include "audio/AudioPortFactory.h"
#include "audio/IAudioInOut.h"
#include "foundation/Messages.h"
#include "midi/TEnsemblePlayback.h"
#include "plughost/IVSTPlug.h"
#include "plughost/TVSTWnd.h"

namespace Msg {
TParamStr couldNotInitialize("Couldn't initialize the Thudra !");
}  // namespace Msg

namespace {
constexpr int32_t noteKeyBase = 60;
constexpr int32_t noteKeyVelocity = 120;

struct TScanRow {
  int32_t firstScan;
  int32_t lastScan;
  int32_t firstIndex;
};
constexpr TScanRow noteRows[] = {{0x02, 0x0A, 0}, {0x10, 0x18, 9}, {0x1E, 0x26, 18}, {0x2C, 0x34, 27}};

struct TEditorKey {
  int32_t scan;
  char character;
};
constexpr TEditorKey editorKeys[] = {{0x10, 'q'}, {0x11, 'w'}, {0x12, 'e'}, {0x13, 'r'}, {0x1E, 'a'}, {0x1F, 's'},
                                     {0x20, 'd'}, {0x21, 'f'}, {0x2D, 'x'}, {0x2E, 'c'}, {0x2F, 'v'}};

// Audio Port submenu items of the port types, in the order the marks are set.
struct TPortItem {
  int32_t type;
  int32_t item;
};
constexpr TPortItem portItems[] = {{1, 1210}, {2, 1211}, {3, 1212}, {4, 1213},
                                   {8, 1214}, {5, 1215}, {7, 1216}, {9, 1217}};
}  // namespace

int32_t THost::NoteIndexForScanCode(int32_t scanCode) {
  for (const TScanRow& row : noteRows) {
    if (scanCode >= row.firstScan && scanCode <= row.lastScan) return row.firstIndex + scanCode - row.firstScan;
  }
  return -1;
}

int32_t THost::EditorCharacterForScanCode(int32_t scanCode) {
  for (const TEditorKey& key : editorKeys) {
    if (key.scan == scanCode) return key.character;
  }
  return 0;
}

// ---- Construction and destruction ------------------------------------------------

THost::THost() {
  audioRunning = 1;
  ensemble = new (std::nothrow) KEnsemble(this);
  if (!ensemble) {
    ShowOutOfMemory(EOutOfMemory::Object);
    Abort();
    return;
  }
  try {
    if (!IsReady()) return;
    sessionName->SetFolder(TStr());
    sessionName->SetName(untitled);
    sessionName->SetType(FileTypeSession);
    AddTimer(idleInterval, &THost::IdleCallback, this);
    idleTimerOn = 1;
    for (int32_t& key : keyState) key = 0;
    SetMenuId(menuResource);
    EPtr<IFileName> last;
    if (!last) return;
    SetLastSessionName(*last);
    if (last->Exists()) LoadSession(*last);
  } catch (...) {
    DestroyEnsemble();
    throw;
  }
}

THost::~THost() {
  RunDestructorBody([this] {
    if (idleTimerOn) {
      RemoveTimer(&THost::IdleCallback, this);
      idleTimerOn = 0;
    }
    DestroyEnsemble();
    TFileMenu* menu = fileMenu;
    fileMenu = nullptr;
    ::Release(menu);
  });
}

void THost::DestroyEnsemble() {
  if (!ensemble) return;
  if (subscribed) {
    ensemble->GetRateFactor().RemoveObserver(this);
    ensemble->GetSampleRateValue().RemoveObserver(this);
    subscribed = false;
  }
  KEnsemble* old = ensemble;
  delete old;
  ensemble = nullptr;
}

bool THost::IsReady() {
  IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr;
  return plug && plug->IsLoaded();
}

int32_t THost::IdleCallback(void* context) {
  THost* host = static_cast<THost*>(context);
  const int32_t keep = host->Idle();
  if (!keep) host->idleTimerOn = 0;
  return keep;
}

int32_t THost::Idle() {
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->Idle();
  // The song may have ended on the audio thread: the check marks follow.
  if (TEnsemblePlayback* player = ensemble ? ensemble->GetPlayer() : nullptr) player->UpdateMenu();
  return 1;
}

void THost::InitFrame() {
  TMenu* menu = GetMenu();
  if (!fileMenu) fileMenu = CreateOrReport<TFileMenu>();
  if (fileMenu && menu) fileMenu->Attach(*menu);
  if (TEnsemblePlayback* player = ensemble ? ensemble->GetPlayer() : nullptr) {
    player->SetMenu(menu);
    player->UpdateMenu();
  }
  MarkPortMenu();
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  if (port) port->Start();
  if (ensemble && !subscribed) {
    ensemble->GetRateFactor().AddObserver(this, &THost::OnEnsembleValueChanged, "RateFactor", false);
    ensemble->GetSampleRateValue().AddObserver(this, &THost::OnEnsembleValueChanged, "SampleRate", false);
    subscribed = true;
  }
  if (ensemble && ensemble->GetMidiPort()) ensemble->GetMidiPort()->HostHook1();
}

void THost::MarkPortMenu() {
  TMenu* menu = GetMenu();
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  if (!menu || !port) return;
  const int32_t active = port->GetPortType();
  for (const TPortItem& entry : portItems) {
    if (IsAudioPortAvailable(entry.type) && entry.type == active) menu->CheckItem(entry.item, true);
  }
  if (!port->IsAudioPort()) menu->EnableItem(Command::audioSettings, false);
}

void THost::OnEnsembleValueChanged(TShared*) {
  // The menu states follow the ports; the window toolkit redraws the menu bar.
  if (TMenu* menu = GetMenu()) {
    IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
    menu->EnableItem(Command::audioSettings, port && port->IsAudioPort());
  }
}

// ---- Sessions ---------------------------------------------------------------------

int32_t THost::LoadSession(const IFileName& name) {
  return LoadSessionFile(name, ensemble ? ensemble->GetMidiPort() : nullptr, ensemble ? ensemble->GetPlug() : nullptr);
}

void THost::SaveSession(const IFileName& name) {
  SaveSessionFile(name, ensemble ? ensemble->GetMidiPort() : nullptr, ensemble ? ensemble->GetPlug() : nullptr);
}

void THost::SaveSessionAs() {
  if (!sessionName->SaveDialog("Save Session As")) return;
  SaveSession(*sessionName);
  SetEditorTitle(TStr("Thudra - ") + sessionName->GetName());
}

void THost::OpenSession() {
  EPtr<IFileName> chosen;
  if (!chosen) return;
  chosen->SetType(FileTypeSession);
  if (!chosen->OpenDialog("Open")) return;
  LoadSession(*chosen);
  SetEditorTitle(TStr("Thudra - ") + chosen->GetName());
}

int32_t THost::OpenMidiFile(const IFileName& name) {
  TEnsemblePlayback* player = ensemble ? ensemble->GetPlayer() : nullptr;
  return player ? player->OpenMidiFile(name) : 0;
}

void THost::SaveCurrentSession() {
  if (sessionName->GetFolder().IsEmpty()) {
    SaveSessionAs();
    return;
  }
  sessionName->SetType(FileTypeSession);
  SaveSession(*sessionName);
}

void THost::SetEditorTitle(const TStr& text) {
  IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr;
  TVSTWnd* editor = plug ? plug->GetEditor() : nullptr;
  if (!editor) editor = GetMainWindow();
  if (editor) editor->SetTitle(text);
}

// ---- Audio ------------------------------------------------------------------------

void THost::ToggleAudio() {
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  TMenu* menu = GetMenu();
  if (audioRunning) {
    if (port) port->Pause();
    if (midi) midi->HostHook2();
    audioRunning = 0;
    if (menu) menu->SetItemText(Command::toggleAudio, "Run &Audio");
  } else {
    if (port) port->Resume();
    if (midi) midi->HostHook1();
    audioRunning = 1;
    if (menu) menu->SetItemText(Command::toggleAudio, "Stop &Audio");
  }
}

void THost::ChangePortCommand(int32_t itemId, int32_t type) {
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  if (!ensemble || (port && port->GetPortType() == type)) return;
  ensemble->ChangePort(type);
  if (TMenu* menu = GetMenu()) {
    for (int32_t item : {1210, 1211, 1213, Command::portSoundcard, Command::portAsio})
      menu->CheckItem(item, item == itemId);
  }
}

// ---- Commands -----------------------------------------------------------------------

bool THost::IsCommandEnabled(int32_t id) {
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  TEnsemblePlayback* player = ensemble ? ensemble->GetPlayer() : nullptr;
  switch (id) {
    case Command::openMidiFile:
    case Command::togglePlayback:
    case Command::toggleLoop:
    case Command::toggleSync: return player ? player->IsCommandEnabled(id) : id == Command::openMidiFile;
    case Command::never1201: return false;
    case Command::audioSettings: return port && port->IsAudioPort();
    case Command::audioRouting: return port && port->HasRouting();
    case Command::midiSettings: return midi && midi->IsUsable();
    case Command::portSoundcard: return IsAudioPortAvailable(AudioPortMultiMedia);
    case Command::portAsio: return IsAudioPortAvailable(AudioPortASIO);
    default: return true;
  }
}

void THost::RunCommand(int32_t id) {
  IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr;
  IAudioInOut* port = ensemble ? ensemble->GetAudioPort() : nullptr;
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  IFrameWnd* parent = GetMainWindow() ? GetMainWindow()->GetFrame() : nullptr;
  switch (id) {
    case Command::reloadPlug:
      if (!ensemble) break;
      // The editor window goes with the old plug-in object.
      if (plug && GetMainWindow() == plug->GetEditor()) SetMainWindow(nullptr);
      ensemble->CreatePlug();
      NotifyPlugReplaced();
      break;
    case Command::openSession: OpenSession(); break;
    case Command::saveSession: SaveCurrentSession(); break;
    case Command::saveSessionAs: SaveSessionAs(); break;
    case Command::saveKit:
      if (plug) plug->VendorSpecific(2, nullptr, 0);
      break;
    case Command::loadKit:
      if (plug) plug->VendorSpecific(1, nullptr, 0);
      break;
    case Command::openMidiFile:
    case Command::togglePlayback:
    case Command::toggleLoop:
    case Command::toggleSync:
      if (TEnsemblePlayback* player = ensemble ? ensemble->GetPlayer() : nullptr) player->RunCommand(id);
      break;
    case Command::toggleAudio: ToggleAudio(); break;
    case Command::audioSettings:
    case Command::audioRouting:
    case Command::midiSettings:
    case Command::recorderPanel:
      if (!IsCommandEnabled(id)) break;
      if (plug) plug->BeforePanel();
      if (id == Command::audioSettings && port) port->ShowSettings(parent);
      if (id == Command::audioRouting && port) port->ShowRouting(parent);
      if (id == Command::midiSettings && midi) midi->ShowSettings();
      if (id == Command::recorderPanel && port) port->SetBufferSize();
      if (plug) plug->AfterPanel();
      break;
    case Command::portSoundcard: ChangePortCommand(Command::portSoundcard, AudioPortMultiMedia); break;
    case Command::portAsio: ChangePortCommand(Command::portAsio, AudioPortASIO); break;
    case Command::about:
      if (plug) plug->VendorSpecific(-1, nullptr, 0);
      break;
    case Command::exit: Quit(0); break;
    default: break;  // the commands without effect
  }
}

bool THost::OnCommand(int32_t id, int32_t action, int32_t& result) {
  const bool known = (id >= Command::reloadPlug && id <= Command::noEffect1004) || id == Command::openMidiFile ||
                     id == Command::saveKit || id == Command::loadKit ||
                     (id >= Command::firstRecent && id <= Command::lastRecent) ||
                     (id >= Command::togglePlayback && id <= Command::toggleSync) || id == Command::toggleAudio ||
                     id == Command::never1201 || (id >= Command::audioSettings && id <= Command::recorderPanel) ||
                     id == Command::portSoundcard || id == Command::portAsio || id == Command::noEffect1300 ||
                     id == Command::about || id == Command::exit;
  if (!known) return false;
  switch (action) {
    case 0:
      try {
        RunCommand(id);
      } catch (EError) {
        ShowPendingError(0);
      }
      result = 0;
      break;
    case 1: result = IsCommandEnabled(id) ? 1 : 0; break;
    default: result = 0; break;
  }
  return true;
}

int32_t THost::Execute(int32_t id) {
  int32_t result = 0;
  return OnCommand(id, 0, result) ? result : ExecuteCommand(id);
}

int32_t THost::IsEnabled(int32_t id) {
  int32_t result = 0;
  return OnCommand(id, 1, result) ? result : QueryCommand(id);
}

int32_t THost::IsChecked(int32_t id) {
  int32_t result = 0;
  return OnCommand(id, 2, result) ? result : 0;
}

// ---- The computer keyboard ---------------------------------------------------------------

void THost::OnKey(int32_t modifier, int32_t scanCode, bool down, bool repeat) {
  if (repeat || !ensemble) return;
  const int32_t key = scanCode & 0xFF;
  const int32_t index = NoteIndexForScanCode(scanCode);
  if (!down) {
    // A sounding key always ends its note, whatever modifier is held by now.
    if (index >= 0 && keyState[key]) ensemble->PlayNote(noteKeyBase + index, 0);
    keyState[key] = 0;
    return;
  }
  if (keyState[key]) return;  // held down: no retrigger
  if (modifier == NoModifier && index >= 0) {
    keyState[key] = 1;
    ensemble->PlayNote(noteKeyBase + index, noteKeyVelocity);
  } else if (modifier == ShiftModifier) {
    const int32_t character = EditorCharacterForScanCode(scanCode);
    IVSTPlug* plug = ensemble->GetPlug();
    if (character && plug) plug->EditKeyDown(character, 0, 1);
  }
}
