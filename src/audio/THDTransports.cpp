#include "THDTransports.h"

#include <algorithm>

#include "IAudioInOut.h"

THDTransports::THDTransports(IAudioInOut& owner, IAudioEnsemble* rates) : port(owner), ensemble(rates) {}

THDTransports::~THDTransports() = default;

// ---- Commands ------------------------------------------------------------------------
//
// Until the transports' bodies exist every flag stays clear, so the processing block
// always takes the device paths.

void THDTransports::PlayerCommand(THDRecordingPrp*) {}
void THDTransports::TapeCommand(THDRecordingPrp*) {}
void THDTransports::LoadPlayerFile(IFileName&) {}
void THDTransports::StartTapePlayback(IFileName&) {}
void THDTransports::StartRecording(IFileName&, int32_t, int32_t, int32_t) {}
void THDTransports::StopRecording() {}
void THDTransports::SetBufferSize() {}

bool THDTransports::IsActive() const {
  return state.playerFileLoaded.load(std::memory_order_acquire) || state.tapeFileOpen.load(std::memory_order_acquire);
}

// ---- The block steps -------------------------------------------------------------------

bool THDTransports::ProcessInput(float* const* inputs, int32_t frames) {
  if (state.playerRunning.load(std::memory_order_acquire) && state.playerFileLoaded.load(std::memory_order_acquire) &&
      !state.tapePlaying.load(std::memory_order_acquire)) {
    if (PlayerRead(inputs, frames) == 0) {
      state.playerRunning.store(0, std::memory_order_release);
      state.playerReady.store(0, std::memory_order_release);
      state.playerEnded.store(1, std::memory_order_release);
    }
    return true;
  }
  if (state.inputMuted.load(std::memory_order_acquire)) {
    std::fill(inputs[0], inputs[0] + frames, 0.0f);
    std::fill(inputs[1], inputs[1] + frames, 0.0f);
    return true;
  }
  return false;
}

void THDTransports::ProcessTape(float* const* outputs, int32_t frames) {
  if (state.tapeRecording.load(std::memory_order_acquire) && state.tapeBlockPresent.load(std::memory_order_acquire)) {
    RecorderWrite(outputs, frames);
  } else if (state.tapePlaying.load(std::memory_order_acquire) && state.tapeFileOpen.load(std::memory_order_acquire)) {
    if (TapeRead(outputs, frames) == 0) {
      state.tapePlaying.store(0, std::memory_order_release);
      state.tapeEnded.store(1, std::memory_order_release);
    }
  }
}

int32_t THDTransports::PlayerRead(float* const*, int32_t) { return 0; }
int32_t THDTransports::TapeRead(float* const*, int32_t) { return 0; }
void THDTransports::RecorderWrite(float* const*, int32_t) {}
