#include "TTransport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

constexpr int32_t kWavType = 4;
const char* const kPlaceholderName = "untitled Audiofile.wav";

std::string RecordingFolder() {
  const char* music = std::getenv("XDG_MUSIC_DIR");
  std::string base;
  if (music && *music) {
    base = music;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/Music";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Thudra Recordings";
}

// The host assigns our strings in place with its own copy of the string class. An
// empty string that it leaves behind points at the host's static empty text, which
// this library must never free: such a string is forgotten, not destroyed.
void AdoptFromHost(TStr& s) {
  static const TStr ownEmpty;
  if (s.IsEmpty() && s.Text() != ownEmpty.Text()) new (&s) TStr();
}

// Strings handed to the host are never empty, so that assigning to them never
// makes the host free this library's static empty text.
TStr NonEmpty(const std::string& text) { return TStr(text.empty() ? kPlaceholderName : text.c_str()); }

}  // namespace

TTransport::TTransport(AEffect* effect, audioMasterCallback host)
    : effect(effect), host(host), folder(RecordingFolder()) {
  record.fileName = kPlaceholderName;
  record.folder = folder.c_str();
  record.newName = kPlaceholderName;
  record.fileType = kWavType;
}

bool TTransport::ActionForKey(int character, ETransportAction& action) {
  switch (character) {
    case 'q': action = ETransportAction::tapeRecord; return true;
    case 'w': action = ETransportAction::tapePause; return true;
    case 'e': action = ETransportAction::tapeStop; return true;
    case 'r': action = ETransportAction::tapePlay; return true;
    case 'x': action = ETransportAction::tapeNewFile; return true;
    case 'v': action = ETransportAction::tapeStatus; return true;
    case 's': action = ETransportAction::playerPlay; return true;
    case 'd': action = ETransportAction::playerPause; return true;
    case 'f': action = ETransportAction::playerRewind; return true;
    case 'c': action = ETransportAction::playerLoop; return true;
    case 'a': action = ETransportAction::playerLoad; return true;
    default: return false;
  }
}

bool TTransport::HandleKey(int character) {
  ETransportAction action;
  if (!ActionForKey(character, action)) return false;
  Run(action);
  return true;
}

void TTransport::Run(ETransportAction action) {
  view.message.clear();
  switch (action) {
    case ETransportAction::tapeRecord: StartRecording(); break;
    case ETransportAction::tapePause:
      SendTape(THDRecordingPrp::tapePause, view.take);
      TapeStatus();
      break;
    case ETransportAction::tapeStop: StopTape(); break;
    case ETransportAction::tapePlay: PlayTake(); break;
    case ETransportAction::tapeNewFile:
      if (!MakeFolder()) break;
      SendTape(THDRecordingPrp::tapeNewFile, view.take);
      view.take = record.fileName.Text();
      TapeStatus();
      break;
    case ETransportAction::tapeStatus: TapeStatus(); break;
    case ETransportAction::playerPlay: PlayPlayer(); break;
    case ETransportAction::playerPause:
      SendPlayer(THDRecordingPrp::playerPause, view.playerFile);
      PlayerStatus();
      break;
    case ETransportAction::playerRewind:
      SendPlayer(THDRecordingPrp::playerRewind, view.playerFile);
      PlayerStatus();
      break;
    case ETransportAction::playerLoop:
      view.playerLoop = !view.playerLoop;
      record.loop = view.playerLoop ? 1 : 0;
      SendPlayer(THDRecordingPrp::playerSetLoop, view.playerFile);
      break;
    case ETransportAction::playerLoad: LoadTake(); break;
  }
}

void TTransport::Poll() {
  if (tapeRunning) TapeStatus();
  if (view.playerActive) PlayerStatus();
}

// ---- commands ------------------------------------------------------------

void TTransport::Send(int32_t index, int32_t command) {
  record.command = command;
  record.position = 0;
  record.recordMode = 0;
  record.playMode = 0;
  record.sampleRate = 0;
  record.playerActive = 0;
  record.paused = 0;
  record.playerStopped = 0;
  if (host) host(effect, audioMasterVendorSpecific, index, 0, &record, 0.0f);
  AdoptFromHost(record.fileName);
  AdoptFromHost(record.folder);
  AdoptFromHost(record.newName);
}

void TTransport::SendTape(int32_t command, const std::string& fileName) {
  record.fileName = NonEmpty(fileName);
  record.folder = folder.c_str();
  record.fileType = kWavType;
  Send(THDRecordingPrp::tapeIndex, command);
}

void TTransport::SendPlayer(int32_t command, const std::string& fileName) {
  record.fileName = NonEmpty(fileName);
  record.folder = folder.c_str();
  record.fileType = kWavType;
  Send(THDRecordingPrp::playerIndex, command);
}

void TTransport::TapeStatus() {
  SendTape(THDRecordingPrp::tapeStatus, view.take);
  view.tapePosition = record.position;
  view.tapeRecordMode = record.recordMode == 1;
  view.tapePlayMode = record.playMode == 1;
  view.tapePaused = record.paused != 0;
  tapeRunning = view.tapeRecordMode || view.tapePlayMode;
}

void TTransport::PlayerStatus() {
  SendPlayer(THDRecordingPrp::playerStatus, view.playerFile);
  view.playerPosition = record.playerPosition;
  view.playerActive = record.playerActive != 0;
  view.playerPaused = record.paused != 0;
}

// Record arms a new take and, once the host has armed it, starts it rolling.
void TTransport::StartRecording() {
  if (!MakeFolder()) return;
  if (view.take.empty()) view.take = NextTakeName();
  SendTape(THDRecordingPrp::tapeRecord, view.take);
  TapeStatus();
  if (view.tapeRecordMode && view.tapePaused) {
    SendTape(THDRecordingPrp::tapePause, view.take);
    TapeStatus();
  }
}

// Stopping a recording makes it the last take; the next recording gets a new name.
void TTransport::StopTape() {
  TapeStatus();
  const bool wasRecording = view.tapeRecordMode;
  SendTape(THDRecordingPrp::tapeStop, view.take);
  if (wasRecording && !view.take.empty()) {
    view.lastTake = view.take;
    view.take.clear();
  }
  TapeStatus();
}

void TTransport::PlayTake() {
  const std::string& name = view.lastTake.empty() ? view.take : view.lastTake;
  if (name.empty()) {
    view.message = "Nothing recorded yet";
    return;
  }
  SendTape(THDRecordingPrp::tapePlay, name);
  TapeStatus();
}

void TTransport::LoadTake() {
  if (view.lastTake.empty()) {
    view.message = "Nothing recorded yet";
    return;
  }
  SendPlayer(THDRecordingPrp::playerLoad, view.lastTake);
  view.playerLoaded = record.sampleRate > 0;
  view.playerFile = view.playerLoaded ? view.lastTake : std::string();
  view.playerLength = view.playerLoaded ? record.length : 0;
  PlayerStatus();
}

// Play loads the last take first when the player does not hold it yet.
void TTransport::PlayPlayer() {
  if (!view.lastTake.empty() && (!view.playerLoaded || view.playerFile != view.lastTake)) LoadTake();
  if (!view.playerLoaded) {
    if (view.message.empty()) view.message = "Nothing to play";
    return;
  }
  SendPlayer(THDRecordingPrp::playerPlay, view.playerFile);
  view.playerActive = record.playerActive != 0;
  PlayerStatus();
}

bool TTransport::MakeFolder() {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error && !std::filesystem::is_directory(folder, error)) {
    view.message = "Cannot create " + folder;
    return false;
  }
  return true;
}

std::string TTransport::NextTakeName() const {
  char name[32];
  for (int n = 1; n < 10000; ++n) {
    std::snprintf(name, sizeof name, "Take %03d.wav", n);
    std::error_code error;
    if (name != view.lastTake && !std::filesystem::exists(std::filesystem::path(folder) / name, error)) return name;
  }
  return "Take.wav";
}
