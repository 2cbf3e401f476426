#include "TAudioInOut.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/KEnsemble.h"
#include "plughost/IVSTPlug.h"
#include "foundation/Messages.h"

namespace {
std::atomic<TAudioInOut*> currentPort{nullptr};
}  // namespace

TAudioInOut* TAudioInOut::GetCurrentPort() { return currentPort.load(); }

TAudioInOut::TAudioInOut(KEnsemble* owner) : ensemble(owner) {
  AllocateBuffers();
  currentPort.store(this);
}

TAudioInOut::~TAudioInOut() {
  RunDestructorBody([this] {
    TAudioInOut* self = this;
    currentPort.compare_exchange_strong(self, nullptr);
    FreeBuffers();
  });
}

void TAudioInOut::AllocateBuffers() {
  bool ok = true;
  for (int32_t c = 0; c < channels; ++c) {
    outputs[c] = new (std::nothrow) float[bufferFrames]();
    inputs[c] = new (std::nothrow) float[bufferFrames]();
    ok = ok && outputs[c] && inputs[c];
  }
  // Ten scratch rows of 16 floats for each of the two frame records.
  scratchMemory = new (std::nothrow) float[2 * scratchRows * channels]();
  ok = ok && scratchMemory;
  if (scratchMemory) {
    for (int32_t row = 0; row < scratchRows; ++row) {
      inputFrame.scratch[row] = scratchMemory + row * channels;
      outputFrame.scratch[row] = scratchMemory + (scratchRows + row) * channels;
    }
  }
  buffersOk = ok;
  if (!ok) ShowOutOfMemory(EOutOfMemory::Object);
}

void TAudioInOut::FreeBuffers() {
  for (int32_t c = 0; c < channels; ++c) {
    delete[] outputs[c];
    delete[] inputs[c];
    outputs[c] = inputs[c] = nullptr;
  }
  delete[] scratchMemory;
  scratchMemory = nullptr;
  buffersOk = false;
}

// ---- Start, stop, pause, resume --------------------------------------------
//
// The device stops before the plug-in is suspended and the plug-in is resumed
// before the device starts, so no block ever runs on a suspended plug-in.

void TAudioInOut::SuspendPlug() {
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->Suspend();
}

void TAudioInOut::ResumePlug() {
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->Resume();
}

void TAudioInOut::Start() {
  OpenDevice();
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) {
    plug->SetBlockSize(GetBlockSize());
    plug->SetSampleRate(startSampleRate);
    plug->Resume();
  }
  if (ensemble) ensemble->TellClockSampleRate(startSampleRate);
  running.store(true, std::memory_order_release);
  StartDevice();
}

void TAudioInOut::Stop() {
  running.store(false, std::memory_order_release);
  StopDevice();
  SuspendPlug();
  CloseDevice();
}

void TAudioInOut::Pause() {
  running.store(false, std::memory_order_release);
  StopDevice();
  SuspendPlug();
}

void TAudioInOut::Resume() {
  ResumePlug();
  running.store(true, std::memory_order_release);
  StartDevice();
}

void TAudioInOut::SetBlockSize(int32_t frames) {
  Pause();
  if (frames > 0 && frames < bufferFrames) {
    blockSize.store(frames, std::memory_order_relaxed);
    deviceBlockFrames.store(frames, std::memory_order_relaxed);
  }
  ApplyBlockSize(GetBlockSize());
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->SetBlockSize(GetBlockSize());
  Resume();
}

void TAudioInOut::OnRateChange(TShared*) {
  Pause();
  SelectConversion();
  const float rate = ensemble ? ensemble->GetSampleRate() : startSampleRate;
  if (IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr) plug->SetSampleRate(rate);
  if (ensemble) ensemble->TellClockSampleRate(rate);
  Resume();
}

// ---- The processing block ----------------------------------------------------

void TAudioInOut::Process() {
  if (!buffersOk) return;
  const TNoMessageScope noMessages;  // a block never waits for a message box
  const int32_t frames = GetBlockSize();
  // Sequentially consistent: the ensemble takes its clock and player away and then
  // waits for a block that is busy (see KEnsemble::WaitForAudioBlock).
  busy.store(1, std::memory_order_seq_cst);
  ProcessInput(frames);
  ProcessPlug(frames);
  ProcessTape(frames);
  ProcessOutput(frames);
  busy.store(0, std::memory_order_seq_cst);
  framePosition.fetch_add(frames, std::memory_order_relaxed);
}

void TAudioInOut::ProcessInput(int32_t frames) {
  if (transport.playerRunning.load(std::memory_order_acquire) && transport.playerFileLoaded &&
      !transport.tapePlaying.load(std::memory_order_acquire)) {
    if (PlayerRead(frames) == 0) {
      transport.playerRunning.store(0, std::memory_order_release);
      transport.playerReady.store(0, std::memory_order_release);
      transport.playerEnded.store(1, std::memory_order_release);
    }
    return;
  }
  if (transport.inputMuted.load(std::memory_order_acquire)) {
    ClearPlaybackInputs(frames);
    return;
  }
  // Local copies: the conversion cannot change them, and the channel stores cannot
  // overwrite the frame being copied.
  float* channel[channels];
  std::copy(inputs, inputs + channels, channel);
  for (int32_t i = 0; i < frames; ++i) {
    frameIndex.store(i, std::memory_order_relaxed);
    ReadFrame(&inputFrame);
    const float* frame = inputFrame.scratch[0];
#pragma GCC unroll 16
    for (int32_t c = 0; c < channels; ++c) channel[c][i] = frame[c];
  }
}

void TAudioInOut::ProcessPlug(int32_t frames) {
  IVSTPlug* plug = ensemble ? ensemble->GetPlug() : nullptr;
  if (!plug) return;
  ensemble->ProcessPlayer(frames);
  plug->FlushEvents();
  plug->ProcessReplacing(inputs, outputs, frames);
  plug->ClearEvents();
}

void TAudioInOut::ProcessTape(int32_t frames) {
  if (transport.tapeRecording.load(std::memory_order_acquire) && transport.tapeBlockPresent) {
    RecorderWrite(frames);
  } else if (transport.tapePlaying.load(std::memory_order_acquire) && transport.tapeFileOpen) {
    if (TapeRead(frames) == 0) {
      transport.tapePlaying.store(0, std::memory_order_release);
      transport.tapeEnded.store(1, std::memory_order_release);
    }
  }
}

void TAudioInOut::ProcessOutput(int32_t frames) {
  float* start[channels];
  std::copy(outputs, outputs + channels, start);
  outputFrame.scratch[0][0] = 1.0f;
  // The channel pointers stand at frame i for each conversion.
  for (int32_t i = 0; i < frames; ++i) {
    for (int32_t c = 0; c < channels; ++c) outputFrame.channel[c] = start[c] + i;
    frameIndex.store(i, std::memory_order_relaxed);
    WriteFrame(&outputFrame);
  }
}

// ---- Peaks -------------------------------------------------------------------

float TAudioInOut::PeakOf(std::atomic<float>& min, std::atomic<float>& max) {
  const float low = min.exchange(0.0f, std::memory_order_relaxed);
  const float high = max.exchange(0.0f, std::memory_order_relaxed);
  return std::max(0.0f - low, high - 0.0f);
}

float TAudioInOut::ReadInputPeak(std::atomic<float>& min, std::atomic<float>& max) { return PeakOf(min, max); }
float TAudioInOut::ReadOutputPeak(std::atomic<float>& min, std::atomic<float>& max) { return PeakOf(min, max); }

// ---- The recorder and the player ---------------------------------------------
//
// The transports keep their flags here; until their commands exist every flag stays
// clear, so the processing block always takes the device paths.

void TAudioInOut::PlayerCommand(THDRecordingPrp*) {}
void TAudioInOut::TapeCommand(THDRecordingPrp*) {}
void TAudioInOut::LoadPlayerFile(IFileName&) {}
void TAudioInOut::StartTapePlayback(IFileName&) {}
void TAudioInOut::StartRecording(IFileName&, int32_t, int32_t, int32_t) {}
void TAudioInOut::StopRecording() {}
void TAudioInOut::SetBufferSize() {}
int32_t TAudioInOut::PlayerRead(int32_t) { return 0; }
int32_t TAudioInOut::TapeRead(int32_t) { return 0; }
void TAudioInOut::RecorderWrite(int32_t) {}
void TAudioInOut::ClearPlaybackInputs(int32_t frames) {
  std::fill(inputs[0], inputs[0] + frames, 0.0f);
  std::fill(inputs[1], inputs[1] + frames, 0.0f);
}
