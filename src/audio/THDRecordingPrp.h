// The command record of the tape and the player transports. The plug-in fills one
// and hands its address to the host's vendor-specific callback (index 1 tape, index 0
// player); the transport carries the command out and writes its answers into the same
// record. One layout serves both transports.
//
// The fields keep their order and 32-bit widths; the strings are TStr objects in
// place, so on a 64-bit build they sit on 8-byte boundaries (the offsets are pinned
// below). Both sides are built from this declaration.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/TStr.h"

struct THDRecordingPrp {
  // The callback index that selects the transport.
  static constexpr int32_t playerIndex = 0;
  static constexpr int32_t tapeIndex = 1;

  // Player commands; other codes do nothing.
  enum EPlayerCommand : int32_t {
    playerPlay = 1,
    playerPause = 2,     // pause / resume
    playerSetLoop = 3,
    playerRewind = 4,
    playerLoad = 5,
    playerStatus = 6,
  };

  // Tape commands; 4 and 5 do nothing.
  enum ETapeCommand : int32_t {
    tapeRecord = 0,
    tapePause = 1,       // pause / resume
    tapeStop = 2,
    tapePlay = 3,
    tapeNewFile = 6,
    tapeStatus = 7,
    tapeRename = 8,
  };

  int32_t command = 0;   // in: the command code
  float position = 0;    // out, tape Status: position in seconds
  union {
    int32_t recordMode = 0;  // out, tape Status: 1 while recording or armed
    float playerPosition;    // out, player Status: position in seconds
  };
  union {
    int32_t playMode = 0;    // out, tape Status: 1 while playing or play-paused
    float length;            // out, player Load: file length in seconds
  };
  int32_t sampleRate = 0;    // out, player Load: the file's sample rate in Hz
  int32_t playerActive = 0;  // out, player Play and Status: 1 while running or paused
  int32_t paused = 0;        // out, Status of either transport: its paused flag
  int32_t playerStopped = 0; // out, player Status: 1 when neither running nor paused
  int32_t loop = 0;          // in, player Set Loop
  TStr fileName;             // in/out: the file name without folder
  TStr folder;               // in: the folder
  int32_t fileType = 0;      // in/out: audio file type code (4 WAV, 5 AIFF)
  TStr newName;              // in, tape Rename: the new file name
};

static_assert(offsetof(THDRecordingPrp, command) == 0);
static_assert(offsetof(THDRecordingPrp, position) == 4);
static_assert(offsetof(THDRecordingPrp, recordMode) == 8);
static_assert(offsetof(THDRecordingPrp, playMode) == 12);
static_assert(offsetof(THDRecordingPrp, sampleRate) == 16);
static_assert(offsetof(THDRecordingPrp, playerActive) == 20);
static_assert(offsetof(THDRecordingPrp, paused) == 24);
static_assert(offsetof(THDRecordingPrp, playerStopped) == 28);
static_assert(offsetof(THDRecordingPrp, loop) == 32);
static_assert(sizeof(void*) != 8 || offsetof(THDRecordingPrp, fileName) == 40);
static_assert(sizeof(void*) != 8 || offsetof(THDRecordingPrp, folder) == 56);
static_assert(sizeof(void*) != 8 || offsetof(THDRecordingPrp, fileType) == 72);
static_assert(sizeof(void*) != 8 || offsetof(THDRecordingPrp, newName) == 80);
static_assert(sizeof(void*) != 8 || sizeof(THDRecordingPrp) == 96);
