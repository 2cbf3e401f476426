// The host's MIDI file playback: the player, its scheduler, the three switches of the
// player commands and the commands themselves (open a file, start/stop, loop, sync)
// with their enabled rules and check marks. The window binds the commands to menu
// items; the audio cycle calls the scheduler once per block.
#pragma once
#include <atomic>
#include <cstdint>

#include "TMFPlayer.h"
#include "TSongScheduler.h"
#include "foundation/Base.h"

class IFileName;
class IMenu;

class TMidiFilePlayback : public TBase, public virtual IMFPlayerHost {
public:
  // Command numbers.
  static constexpr int32_t openMidiFileCommand = 1010;
  static constexpr int32_t togglePlaybackCommand = 1155;
  static constexpr int32_t toggleLoopCommand = 1156;
  static constexpr int32_t toggleSyncCommand = 1157;
  static constexpr const char* openTitle = "Open";

  // The host's readiness as the player asks it, on the scheduler's thread.
  using TReadyQuestion = bool (*)(void* context);

  // Events go to target (the ensemble's MIDI entry); events' frames to offsets.
  TMidiFilePlayback(IMidiHost* target, TReadyQuestion ready, void* readyContext, IEventOffsetTarget* offsets);
  ~TMidiFilePlayback() override;
  TMidiFilePlayback(const TMidiFilePlayback&) = delete;
  TMidiFilePlayback& operator=(const TMidiFilePlayback&) = delete;

  TMFPlayer& GetPlayer() { return player; }
  TSongScheduler& GetScheduler() { return scheduler; }
  void SetClock(IMidiClock* clock) { scheduler.SetClock(clock); }
  // The menu whose check marks follow the switches (null: none).
  void SetMenu(IMenu* menu) { this->menu = menu; }

  // ---- The user-interface thread --------------------------------------------------------
  // Loads the file and switches playback on; answers 1 when it loaded. A file that
  // does not load leaves playback off and nothing loaded.
  int32_t OpenMidiFile(const IFileName& name);
  // 1010: the file-open dialog "Open" for Standard MIDI Files, then OpenMidiFile.
  void OpenMidiFileCommand();
  void TogglePlayback();  // 1155
  void ToggleLoop();      // 1156
  void ToggleSync();      // 1157
  // Runs one of the four commands; false for another id.
  bool RunCommand(int32_t id);
  // The enabled rule of the four commands (1010 always, the others while a file is
  // loaded); false for another id.
  bool IsCommandEnabled(int32_t id) const;
  bool IsPlayerCommand(int32_t id) const { return id == openMidiFileCommand || (id >= togglePlaybackCommand && id <= toggleSyncCommand); }
  // Brings the check marks up to date after the song ended on the audio thread:
  // call it from the idle timer (and once the menu exists).
  void UpdateMenu();

  int32_t IsLoaded() const { return playerLoaded.load(std::memory_order_relaxed); }
  int32_t IsEnabled() const { return playerEnabled.load(std::memory_order_relaxed); }
  int32_t GetFlag() const { return playerFlag.load(std::memory_order_relaxed); }

  // ---- The audio thread -----------------------------------------------------------------
  void ProcessBlock(int32_t frames) { scheduler.ProcessBlock(frames); }

  // IMFPlayerHost
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  int32_t IsPlaybackOn() override { return playerEnabled.load(std::memory_order_acquire); }
  int32_t IsHostReady() override { return ready ? (ready(readyContext) ? 1 : 0) : 1; }
  void SetPlayback(int32_t on) override;

private:
  void Check(int32_t id, bool on);

  IMidiHost* target;
  TReadyQuestion ready;
  void* readyContext;
  std::atomic<int32_t> playerLoaded{0};
  std::atomic<int32_t> playerEnabled{0};
  std::atomic<int32_t> playerFlag{0};
  IMenu* menu = nullptr;
  TMFPlayer player;
  TSongScheduler scheduler;
};
