#include "TMidiFilePlayback.h"

#include "foundation/IFileName.h"

TMidiFilePlayback::TMidiFilePlayback(ISongHost* songHost)
    : host(songHost), player(this), scheduler(player, *this, songHost) {}

TMidiFilePlayback::~TMidiFilePlayback() = default;

void TMidiFilePlayback::OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  if (host) host->OnMidiInput(kind, channel, data1, data2);
}

// The player's end of a song without loop, on the scheduler's thread.
void TMidiFilePlayback::SetPlayback(int32_t on) {
  playerEnabled.store(on, std::memory_order_release);
  playerFlag.store(on, std::memory_order_relaxed);
}

int32_t TMidiFilePlayback::OpenMidiFile(const IFileName& name) {
  playerEnabled.store(0, std::memory_order_release);
  player.AllNotesOff();
  playerLoaded.store(0, std::memory_order_relaxed);
  if (!player.Load(name)) return 0;
  playerLoaded.store(1, std::memory_order_relaxed);
  playerFlag.store(1, std::memory_order_relaxed);
  playerEnabled.store(1, std::memory_order_release);
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
}

void TMidiFilePlayback::ToggleLoop() {
  if (player.SetLoop(player.GetLoop() ? 0 : 1)) TogglePlayback();
}

void TMidiFilePlayback::ToggleSync() {
  player.SetSyncFlag(player.GetSyncFlag() ? 0 : 1);
}

void TMidiFilePlayback::ProcessBlock(int32_t frames) {
  IMidiClock* current = host ? host->GetSongClock() : nullptr;
  if (current != seenClock) {
    seenClock = current;
    scheduler.SetClock(current);
  }
  scheduler.ProcessBlock(frames);
}
