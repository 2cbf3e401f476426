// The host's MIDI file playback: the player, its scheduler, the three switches of the
// player commands and the commands themselves (open a file, start/stop, loop, sync)
// with their enabled rules and the states their check marks show. The host's command
// table binds the commands to menu items; the audio cycle calls the scheduler once
// per block. Everything reaches the ensemble through ISongHost.
//
// Threading: the commands and the switches' setters on the user-interface thread;
// ProcessBlock on the audio thread; the getters on any thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "ISongHost.h"
#include "TMFPlayer.h"
#include "TSongScheduler.h"
#include "foundation/Base.h"

class IFileName;

class TMidiFilePlayback : public TBase, public virtual IMFPlayerHost {
public:
  // Command numbers.
  static constexpr int32_t openMidiFileCommand = 1010;
  static constexpr int32_t togglePlaybackCommand = 1155;
  static constexpr int32_t toggleLoopCommand = 1156;
  static constexpr int32_t toggleSyncCommand = 1157;
  static constexpr const char* openTitle = "Open";

  explicit TMidiFilePlayback(ISongHost* host);
  ~TMidiFilePlayback() override;
  TMidiFilePlayback(const TMidiFilePlayback&) = delete;
  TMidiFilePlayback& operator=(const TMidiFilePlayback&) = delete;

  TMFPlayer& GetPlayer() { return player; }
  TSongScheduler& GetScheduler() { return scheduler; }

  // ---- The user-interface thread --------------------------------------------------------
  // Loads the file and switches playback on; answers 1 when it loaded. A file that
  // does not load leaves playback off and nothing loaded.
  int32_t OpenMidiFile(const IFileName& name);
  // 1010: the file-open dialog "Open" for Standard MIDI Files, then OpenMidiFile.
  void OpenMidiFileCommand();
  void TogglePlayback();  // 1155
  void ToggleLoop();      // 1156
  void ToggleSync();      // 1157
  // The enabled rule of 1155-1157: a file is loaded.
  bool IsFileLoaded() const { return IsLoaded() != 0; }
  // What the check marks of 1155, 1156 and 1157 show. Playback follows the song's end
  // on the audio thread, so the mark is right whenever the menu asks.
  bool IsPlaybackChecked() const { return IsEnabled() != 0; }
  bool IsLoopChecked() { return player.GetLoop() != 0; }
  bool IsSyncChecked() { return player.GetSyncFlag() != 0; }

  int32_t IsLoaded() const { return playerLoaded.load(std::memory_order_relaxed); }
  int32_t IsEnabled() const { return playerEnabled.load(std::memory_order_relaxed); }
  int32_t GetFlag() const { return playerFlag.load(std::memory_order_relaxed); }

  // ---- The audio thread -----------------------------------------------------------------
  // Follows a change of the host's clock, then schedules the block's events.
  void ProcessBlock(int32_t frames);

  // IMFPlayerHost
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  int32_t IsPlaybackOn() override { return playerEnabled.load(std::memory_order_acquire); }
  int32_t IsHostReady() override { return host && host->IsPlugReady() ? 1 : 0; }
  void SetPlayback(int32_t on) override;

private:
  ISongHost* host;
  IMidiClock* seenClock = nullptr;
  std::atomic<int32_t> playerLoaded{0};
  std::atomic<int32_t> playerEnabled{0};
  std::atomic<int32_t> playerFlag{0};
  TMFPlayer player;
  TSongScheduler scheduler;
};
