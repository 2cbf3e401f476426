// The two hard-disk transports that every audio port carries: the player, which
// plays an audio file into the plug-in's inputs 1-2, and the tape, which records the
// plug-in's outputs 1-2 to a new file or plays a take back. The port base owns one
// and calls it at the Input and Tape steps of each block; the plug-in drives it
// through the host callback's vendor-specific requests (PlayerCommand, TapeCommand).
//
// Threading: the commands run on the user-interface thread. ProcessInput and
// ProcessTape run on the port's processing thread inside a block, read the flags
// below and never allocate, lock, wait or touch the disk. A command that replaces a
// file first makes the processing thread stop using it (flags cleared, then it waits
// until the port is not busy) before the file changes.
#pragma once
#include <atomic>
#include <cstdint>

class IAudioEnsemble;
class IAudioInOut;
class IFileName;
struct THDRecordingPrp;

class THDTransports {
public:
  // The flags that the processing block looks at.
  struct TState {
    std::atomic<int32_t> playerRunning{0};
    std::atomic<int32_t> playerReady{0};
    std::atomic<int32_t> playerEnded{0};
    std::atomic<int32_t> inputMuted{0};
    std::atomic<int32_t> tapePlaying{0};
    std::atomic<int32_t> tapeRecording{0};
    std::atomic<int32_t> tapeEnded{0};
    std::atomic<bool> playerFileLoaded{false};
    std::atomic<bool> tapeFileOpen{false};
    std::atomic<bool> tapeBlockPresent{false};
  };

  // port: the owner, asked whether a block is busy; ensemble: its sample rate
  // (lengths and positions in seconds); may be null.
  THDTransports(IAudioInOut& port, IAudioEnsemble* ensemble);
  ~THDTransports();
  THDTransports(const THDTransports&) = delete;
  THDTransports& operator=(const THDTransports&) = delete;

  // ---- The user-interface thread ------------------------------------------------
  void PlayerCommand(THDRecordingPrp* record);
  void TapeCommand(THDRecordingPrp* record);
  void LoadPlayerFile(IFileName& name);
  void StartTapePlayback(IFileName& name);
  void StartRecording(IFileName& name, int32_t bits, int32_t channels, int32_t rate);
  void StopRecording();
  void SetBufferSize();
  // Whether the recorder or the player holds a file (a block-size change waits then).
  bool IsActive() const;

  // ---- The processing thread, inside a block ----------------------------------------
  // The Input step: answers true when the player (or the player's pause) filled the
  // input channels, so the device input is not read; false leaves them to the device.
  bool ProcessInput(float* const* inputs, int32_t frames);
  // The Tape step, after the plug-in processed: the recorder takes the outputs, or
  // the tape plays its file.
  void ProcessTape(float* const* outputs, int32_t frames);

  const TState& GetState() const { return state; }

private:
  // The player's read into inputs 0 and 1; 0 when its file ran out.
  int32_t PlayerRead(float* const* inputs, int32_t frames);
  int32_t TapeRead(float* const* outputs, int32_t frames);
  void RecorderWrite(float* const* outputs, int32_t frames);

  IAudioInOut& port;
  IAudioEnsemble* ensemble;
  TState state;
};
