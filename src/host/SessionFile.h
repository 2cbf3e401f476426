// Session files (*.tsn): the MIDI input settings of the MIDI port and the plug-in's
// whole state as the chunk it produces.
//
//   0      5  signature 3A 01 01 00 00 (3A 02 02 00 00 big-endian; fifth byte 0 or 1)
//   5      4  identifier length L, then L bytes "Thudra Session File"
//   9+L    4  version (100)
//   13+L   2  MIDI input channel mask
//   15+L   4  MIDI filter bits
//   19+L   4  MIDI through switch
//   23+L   4  chunk size N (above 0)
//   27+L   N  the plug-in's bank chunk
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/IFileName.h"
#include "foundation/TParamStr.h"

class IMidiInOut;
class IVSTPlug;

namespace Session {
constexpr const char* identifier = "Thudra Session File";
constexpr uint32_t version = 100;
constexpr const char* lastSessionName = "Last Session";
constexpr int32_t signatureBytes = 5;
}  // namespace Session

// "Last Session", session type, in the program's folder.
void SetLastSessionName(IFileName& name);

// What a load read, as far as it got (for the inspection tool).
struct TSessionInfo {
  int32_t byteOrder = -1;  // -1: signature not read or not valid
  bool haveIdentifier = false;
  TStr identifier;
  bool haveVersion = false;
  uint32_t version = 0;
  bool haveMidi = false;  // the three MIDI settings were applied
  bool haveChunkSize = false;
  int32_t chunkSize = 0;
  bool chunkHandedOver = false;  // the plug-in received the chunk
  std::vector<uint8_t> chunk;    // its bytes, when handed over
};

// Writes the session; a plug-in that answers no chunk (or no plug-in) leaves the
// file as it is. The file is written under a temporary name in the same folder and
// renamed over the old one only when complete. A write failure raises the file
// layer's error naming the session's file (not the temporary one); the old file then
// stays as it was.
void SaveSessionFile(const IFileName& name, IMidiInOut* port, IVSTPlug* plug);

// Reads the session: the MIDI settings go to port as they are read, the chunk to
// plug once it was read whole. Any failure shows "Not a valid Thudra file." and
// answers 0 (MIDI settings read so far stay applied); success answers 1.
int32_t LoadSessionFile(const IFileName& name, IMidiInOut* port, IVSTPlug* plug, TSessionInfo* info = nullptr);

namespace Msg {
extern TParamStr notValidSession;  // "Not a valid Thudra file."
}  // namespace Msg
