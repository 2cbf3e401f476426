#include "THost.h"

#include <chrono>
#include <new>
#include <string>

#include "SessionFile.h"
#include "TMenu.h"
#include "audio/AudioPortFactory.h"
#include "audio/IAudioInOut.h"
#include "foundation/Messages.h"
#include "midi/TMidiFilePlayback.h"
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
constexpr TPortItem portItems[] = {
    {AudioPortOrbBoard, Command::portOrbBoard},       {AudioPortAudioWerk, Command::portAudioWerk},
    {AudioPortMultiMedia, Command::portSoundcard},    {AudioPortActiveMovie, Command::portActiveMovie},
    {AudioPortASIO, Command::portAsio},               {AudioPortMacAudio, Command::portMacAudio},
    {AudioPortMacDTDM, Command::portMacDTDM},         {AudioPortMacMAS, Command::portMacMAS}};
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

THost::THost(const TEnsembleSources& sources) {
  audioRunning = 1;
  ensemble = new (std::nothrow) KEnsemble(this, sources);
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
    EPtr<IFileName> last(IFileName::Create());
    if (!last) return;  // out of memory, reported
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
    if (TMenu* menu = GetMenu()) menu->SetCommandState(nullptr);
    DestroyEnsemble();
    TFileMenu* menu = fileMenu;
    fileMenu = nullptr;
    ::Release(menu);
  });
}

void THost::DestroyEnsemble() {
  if (!ensemble) return;
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
  if (IVSTPlug* plug = Plug()) plug->Idle();
  ReportDroppedEvents();
  return 1;
}

void THost::ReportDroppedEvents() {
  if (!ensemble) return;
  const int64_t stopped = ensemble->GetDroppedWhileStopped();
  const int64_t full = ensemble->GetDroppedQueueFull();
  if (stopped + full == reportedDrops) return;
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  if (reportedDrops != 0 && now - lastDropReport < 1000) return;
  reportedDrops = stopped + full;
  lastDropReport = now;
  const std::string text = "MIDI events dropped: " + std::to_string(stopped) + " while audio was off, " +
                           std::to_string(full) + " with the plug-in's queue full";
  ShowStatus(TStr(std::string_view(text)));
}

// The menu reads enabled states and check marks from the command table whenever it
// is looked at, so nothing needs pushing into it later.
void THost::InitFrame() {
  TMenu* menu = GetMenu();
  if (!fileMenu) fileMenu = CreateOrReport<TFileMenu>();
  if (fileMenu && menu) fileMenu->Attach(*menu);
  if (menu) menu->SetCommandState(this);
  MarkPortMenu();
  if (IAudioInOut* port = Port()) port->Start();
  if (ensemble && ensemble->GetMidiPort()) ensemble->GetMidiPort()->HostHook1();
}

void THost::MarkPortMenu() {
  IAudioInOut* port = Port();
  if (!port) return;
  const int32_t active = port->GetPortType();
  for (const TPortItem& entry : portItems) {
    if (ensemble->GetPortFactory().IsAvailable(entry.type) && entry.type == active) checkedPortItem = entry.item;
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
  EPtr<IFileName> chosen(IFileName::Create());
  if (!chosen) return;  // out of memory, reported
  chosen->SetType(FileTypeSession);
  if (!chosen->OpenDialog("Open")) return;
  LoadSession(*chosen);
  SetEditorTitle(TStr("Thudra - ") + chosen->GetName());
}

int32_t THost::OpenMidiFile(const IFileName& name) {
  TMidiFilePlayback* playback = Playback();
  return playback ? playback->OpenMidiFile(name) : 0;
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
  IAudioInOut* port = Port();
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  if (audioRunning) {
    if (port) port->Pause();
    if (midi) midi->HostHook2();
    audioRunning = 0;
  } else {
    if (port) port->Resume();
    if (midi) midi->HostHook1();
    audioRunning = 1;
  }
}

void THost::ChangePortCommand(int32_t itemId, int32_t type) {
  IAudioInOut* port = Port();
  // A driver port that lost its driver (no channels: the JACK server went away) is
  // made again, so that choosing it reconnects.
  const bool lostDriver = port && type == AudioPortASIO && port->GetOutputCount() == 0;
  if (!ensemble || (port && port->GetPortType() == type && !lostDriver)) return;
  ensemble->ChangePort(type);
  checkedPortItem = itemId;
}

// ---- The command table ---------------------------------------------------------------

const THost::TCommandRow THost::commandTable[] = {
    {Command::reloadPlug, Command::reloadPlug, &THost::ReloadPlug, nullptr, nullptr},
    {Command::openSession, Command::openSession, &THost::OpenSession, nullptr, nullptr},
    {Command::saveSession, Command::saveSession, &THost::SaveCurrentSession, nullptr, nullptr},
    {Command::saveSessionAs, Command::saveSessionAs, &THost::SaveSessionAs, nullptr, nullptr},
    {Command::noEffect1004, Command::noEffect1004, &THost::NoCommandEffect, nullptr, nullptr},
    {Command::openMidiFile, Command::openMidiFile, &THost::OpenMidiFileCommand, nullptr, nullptr},
    {Command::saveKit, Command::saveKit, &THost::SaveKit, nullptr, nullptr},
    {Command::loadKit, Command::loadKit, &THost::LoadKit, nullptr, nullptr},
    {Command::firstRecent, Command::lastRecent, &THost::NoCommandEffect, nullptr, nullptr},
    {Command::togglePlayback, Command::togglePlayback, &THost::TogglePlaybackCommand, &THost::HasFileLoaded,
     &THost::PlaybackChecked},
    {Command::toggleLoop, Command::toggleLoop, &THost::ToggleLoopCommand, &THost::HasFileLoaded,
     &THost::LoopChecked},
    {Command::toggleSync, Command::toggleSync, &THost::ToggleSyncCommand, &THost::HasFileLoaded,
     &THost::SyncChecked},
    {Command::toggleAudio, Command::toggleAudio, &THost::ToggleAudio, nullptr, nullptr},
    {Command::never1201, Command::never1201, &THost::NoCommandEffect, &THost::Never, nullptr},
    {Command::audioSettings, Command::audioSettings, &THost::ShowAudioSettings, &THost::HasRealPort, nullptr},
    {Command::audioRouting, Command::audioRouting, &THost::ShowAudioRouting, &THost::HasRouting, nullptr},
    {Command::midiSettings, Command::midiSettings, &THost::ShowMidiSettings, &THost::HasUsableMidi, nullptr},
    {Command::noEffect1206, Command::noEffect1206, &THost::NoCommandEffect, nullptr, nullptr},
    {Command::recorderPanel, Command::recorderPanel, &THost::ShowRecorderPanel, nullptr, nullptr},
    {Command::portSoundcard, Command::portSoundcard, &THost::ChooseSoundcard, &THost::SoundcardAvailable,
     &THost::SoundcardChecked},
    {Command::portAsio, Command::portAsio, &THost::ChooseAsio, &THost::AsioAvailable, &THost::AsioChecked},
    {Command::noEffect1300, Command::noEffect1300, &THost::NoCommandEffect, nullptr, nullptr},
    {Command::about, Command::about, &THost::ShowAbout, nullptr, nullptr},
    {Command::exit, Command::exit, &THost::ExitCommand, nullptr, nullptr},
};

const THost::TCommandRow* THost::FindCommand(int32_t id) {
  for (const TCommandRow& row : commandTable) {
    if (id >= row.firstId && id <= row.lastId) return &row;
  }
  return nullptr;
}

bool THost::IsCommandEnabled(int32_t id) {
  const TCommandRow* row = FindCommand(id);
  return row && (!row->enabled || (this->*row->enabled)());
}

bool THost::IsCommandChecked(int32_t id) {
  const TCommandRow* row = FindCommand(id);
  return row && row->checked && (this->*row->checked)();
}

TStr THost::GetCommandText(int32_t id) {
  if (id == Command::toggleAudio) return audioRunning ? "Stop &Audio" : "Run &Audio";
  return TStr();
}

bool THost::OnCommand(int32_t id, int32_t action, int32_t& result) {
  const TCommandRow* row = FindCommand(id);
  if (!row) return false;
  result = 0;
  if (action == 0) {
    try {
      (this->*row->run)();
    } catch (EError) {
      ShowPendingError(0);
    }
  } else if (action == 1) {
    result = IsCommandEnabled(id) ? 1 : 0;
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

// ---- The commands' actions and rules ----------------------------------------------------

IAudioInOut* THost::Port() const { return ensemble ? ensemble->GetAudioPort() : nullptr; }
IVSTPlug* THost::Plug() const { return ensemble ? ensemble->GetPlug() : nullptr; }
TMidiFilePlayback* THost::Playback() const { return ensemble ? ensemble->GetPlayer() : nullptr; }

IFrameWnd* THost::PanelParent() const { return GetMainWindow() ? GetMainWindow()->GetFrame() : nullptr; }

template <typename F>
void THost::AroundPanel(F&& show) {
  IVSTPlug* plug = Plug();
  if (plug) plug->BeforePanel();
  show();
  if (plug) plug->AfterPanel();
}

void THost::ReloadPlug() {
  if (!ensemble) return;
  // The editor window goes with the old plug-in object.
  IVSTPlug* plug = Plug();
  if (plug && GetMainWindow() == plug->GetEditor()) SetMainWindow(nullptr);
  ensemble->CreatePlug();
  NotifyPlugReplaced();
}

void THost::SaveKit() {
  if (IVSTPlug* plug = Plug()) plug->VendorSpecific(2, nullptr, 0);
}

void THost::LoadKit() {
  if (IVSTPlug* plug = Plug()) plug->VendorSpecific(1, nullptr, 0);
}

void THost::ShowAbout() {
  if (IVSTPlug* plug = Plug()) plug->VendorSpecific(-1, nullptr, 0);
}

void THost::OpenMidiFileCommand() {
  if (TMidiFilePlayback* playback = Playback()) playback->OpenMidiFileCommand();
}

void THost::TogglePlaybackCommand() {
  if (TMidiFilePlayback* playback = Playback()) playback->TogglePlayback();
}

void THost::ToggleLoopCommand() {
  if (TMidiFilePlayback* playback = Playback()) playback->ToggleLoop();
}

void THost::ToggleSyncCommand() {
  if (TMidiFilePlayback* playback = Playback()) playback->ToggleSync();
}

void THost::ShowAudioSettings() {
  IAudioInOut* port = Port();
  if (HasRealPort()) AroundPanel([&] { port->ShowSettings(PanelParent()); });
}

void THost::ShowAudioRouting() {
  IAudioInOut* port = Port();
  if (HasRouting()) AroundPanel([&] { port->ShowRouting(PanelParent()); });
}

void THost::ShowMidiSettings() {
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  if (HasUsableMidi()) AroundPanel([&] { midi->ShowSettings(); });
}

void THost::ShowRecorderPanel() {
  IAudioInOut* port = Port();
  AroundPanel([&] {
    if (port) port->SetBufferSize();
  });
}

void THost::ChooseSoundcard() { ChangePortCommand(Command::portSoundcard, AudioPortMultiMedia); }
void THost::ChooseAsio() { ChangePortCommand(Command::portAsio, AudioPortASIO); }

bool THost::HasFileLoaded() {
  TMidiFilePlayback* playback = Playback();
  return playback && playback->IsFileLoaded();
}

bool THost::HasRealPort() {
  IAudioInOut* port = Port();
  return port && port->IsAudioPort();
}

bool THost::HasRouting() {
  IAudioInOut* port = Port();
  return port && port->HasRouting();
}

bool THost::HasUsableMidi() {
  IMidiInOut* midi = ensemble ? ensemble->GetMidiPort() : nullptr;
  return midi && midi->IsUsable();
}

bool THost::SoundcardAvailable() { return ensemble && ensemble->GetPortFactory().IsAvailable(AudioPortMultiMedia); }
bool THost::AsioAvailable() { return ensemble && ensemble->GetPortFactory().IsAvailable(AudioPortASIO); }

bool THost::PlaybackChecked() {
  TMidiFilePlayback* playback = Playback();
  return playback && playback->IsPlaybackChecked();
}

bool THost::LoopChecked() {
  TMidiFilePlayback* playback = Playback();
  return playback && playback->IsLoopChecked();
}

bool THost::SyncChecked() {
  TMidiFilePlayback* playback = Playback();
  return playback && playback->IsSyncChecked();
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
