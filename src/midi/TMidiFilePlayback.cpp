#include "TMidiFilePlayback.h"

#include "foundation/IFileName.h"
#include "host/IMenu.h"

TMidiFilePlayback::TMidiFilePlayback(IMidiHost* eventTarget, TReadyQuestion readyQuestion, void* context,
                                     IEventOffsetTarget* offsets)
    : target(eventTarget), ready(readyQuestion), readyContext(context), player(this), scheduler(player, *this, offsets) {}

TMidiFilePlayback::~TMidiFilePlayback() = default;

void TMidiFilePlayback::OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  if (target) target->OnMidiInput(kind, channel, data1, data2);
}

// The player's end of a song without loop, on the scheduler's thread: the menu follows
// on the user-interface thread (UpdateMenu).
void TMidiFilePlayback::SetPlayback(int32_t on) {
  playerEnabled.store(on, std::memory_order_release);
  playerFlag.store(on, std::memory_order_relaxed);
}

void TMidiFilePlayback::Check(int32_t id, bool on) {
  if (menu) menu->CheckItem(id, on);
}

int32_t TMidiFilePlayback::OpenMidiFile(const IFileName& name) {
  playerEnabled.store(0, std::memory_order_release);
  player.AllNotesOff();
  playerLoaded.store(0, std::memory_order_relaxed);
  if (!player.Load(name)) {
    Check(togglePlaybackCommand, false);
    return 0;
  }
  playerLoaded.store(1, std::memory_order_relaxed);
  playerFlag.store(1, std::memory_order_relaxed);
  playerEnabled.store(1, std::memory_order_release);
  Check(togglePlaybackCommand, true);
  if (!player.GetLoop()) ToggleLoop();
  return 1;
}

void TMidiFilePlayback::OpenMidiFileCommand() {
  EPtr<IFileName> name(IFileName::Create());
  if (!name) return;
  name->SetType(FileTypeMidi);
  if (name->OpenDialog(openTitle)) OpenMidiFile(*name);
}

void TMidiFilePlayback::TogglePlayback() {
  if (playerEnabled.load(std::memory_order_acquire)) {
    player.StopPlayback();
    playerEnabled.store(0, std::memory_order_release);
    playerFlag.store(0, std::memory_order_relaxed);
  } else {
    playerFlag.store(1, std::memory_order_relaxed);
    playerEnabled.store(1, std::memory_order_release);
  }
  Check(togglePlaybackCommand, playerEnabled.load(std::memory_order_relaxed) != 0);
}

void TMidiFilePlayback::ToggleLoop() {
  if (player.SetLoop(player.GetLoop() ? 0 : 1)) TogglePlayback();
  Check(toggleLoopCommand, player.GetLoop() != 0);
}

void TMidiFilePlayback::ToggleSync() {
  player.SetSyncFlag(player.GetSyncFlag() ? 0 : 1);
  Check(toggleSyncCommand, player.GetSyncFlag() != 0);
}

bool TMidiFilePlayback::RunCommand(int32_t id) {
  switch (id) {
    case openMidiFileCommand: OpenMidiFileCommand(); return true;
    case togglePlaybackCommand: TogglePlayback(); return true;
    case toggleLoopCommand: ToggleLoop(); return true;
    case toggleSyncCommand: ToggleSync(); return true;
    default: return false;
  }
}

bool TMidiFilePlayback::IsCommandEnabled(int32_t id) const {
  if (id == openMidiFileCommand) return true;
  return IsPlayerCommand(id) && IsLoaded() != 0;
}

void TMidiFilePlayback::UpdateMenu() {
  Check(togglePlaybackCommand, playerEnabled.load(std::memory_order_acquire) != 0);
  Check(toggleLoopCommand, player.GetLoop() != 0);
  Check(toggleSyncCommand, player.GetSyncFlag() != 0);
}
