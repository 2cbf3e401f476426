// The plug-in's side of the host's hard-disk tape and file player: the keyboard
// map, the command records sent through audioMasterVendorSpecific, and what the
// host answered, for the editor to show. User-interface thread only.
#pragma once
#include <string>

#include "audio/THDRecordingPrp.h"
#include "vst2/Vst2.h"

enum class ETransportAction {
  tapeRecord,
  tapePause,
  tapeStop,
  tapePlay,
  tapeNewFile,
  tapeStatus,
  playerPlay,
  playerPause,
  playerRewind,
  playerLoop,
  playerLoad,
};

struct TTransportView {
  // The tape, from its last Status answer.
  float tapePosition = 0;
  bool tapeRecordMode = false;  // recording or armed
  bool tapePlayMode = false;    // playing or play-paused
  bool tapePaused = false;
  std::string take;      // the file the next recording goes to ("" until chosen)
  std::string lastTake;  // the last finished recording
  // The player.
  bool playerLoaded = false;
  bool playerActive = false;  // running or paused
  bool playerPaused = false;
  bool playerLoop = false;
  float playerPosition = 0;
  float playerLength = 0;
  std::string playerFile;
  // A line for the user ("" when there is nothing to say).
  std::string message;
};

class TTransport {
public:
  TTransport(AEffect* effect, audioMasterCallback host);
  TTransport(const TTransport&) = delete;
  TTransport& operator=(const TTransport&) = delete;

  // Shift with Q W E R A S D F X C V arrives as the lower-case letter.
  static bool ActionForKey(int character, ETransportAction& action);
  // Answers whether the key belongs to the transport.
  bool HandleKey(int character);
  void Run(ETransportAction action);
  // Called on idle: Status requests while the tape or the player runs.
  void Poll();

  const TTransportView& View() const { return view; }
  // The recording folder ($XDG_MUSIC_DIR or ~/Music, then "Thudra Recordings").
  const std::string& Folder() const { return folder; }

private:
  void Send(int32_t index, int32_t command);
  void SendTape(int32_t command, const std::string& fileName);
  void SendPlayer(int32_t command, const std::string& fileName);
  void TapeStatus();
  void PlayerStatus();
  void StartRecording();
  void StopTape();
  void PlayTake();
  void LoadTake();
  void PlayPlayer();
  bool MakeFolder();
  std::string NextTakeName() const;

  AEffect* effect;
  audioMasterCallback host;
  std::string folder;
  THDRecordingPrp record;
  TTransportView view;
  bool tapeRunning = false;
};
