#include "TAudioInOut.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/Messages.h"
#include "plughost/IVSTPlug.h"

namespace {
std::atomic<TAudioInOut*> currentPort{nullptr};
}  // namespace

TAudioInOut* TAudioInOut::GetCurrentPort() { return currentPort.load(); }

TAudioInOut::TAudioInOut(IAudioEnsemble* owner) : ensemble(owner), transports(*this, owner) {
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

IVSTPlug* TAudioInOut::Plug() const { return ensemble ? ensemble->GetPlug() : nullptr; }

void TAudioInOut::SuspendPlug() {
  if (IVSTPlug* plug = Plug()) plug->Suspend();
}

void TAudioInOut::ResumePlug() {
  if (IVSTPlug* plug = Plug()) plug->Resume();
}

void TAudioInOut::Start() {
  OpenDevice();
  // The ensemble's rate: 44100 Hz unless the device runs at a rate of its own (a
  // driver port on a JACK server at 48000 Hz).
  const float rate = ensemble ? ensemble->GetSampleRate() : startSampleRate;
  if (IVSTPlug* plug = Plug()) {
    plug->SetBlockSize(GetBlockSize());
    plug->SetSampleRate(rate);
    plug->Resume();
  }
  if (ensemble) ensemble->TellClockSampleRate(rate);
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
  TShortSuspend suspend(*this);
  Pause();
  if (frames > 0 && frames < bufferFrames) {
    blockSize.store(frames, std::memory_order_relaxed);
    deviceBlockFrames.store(frames, std::memory_order_relaxed);
  }
  ApplyBlockSize(GetBlockSize());
  if (IVSTPlug* plug = Plug()) plug->SetBlockSize(GetBlockSize());
  Resume();
}

void TAudioInOut::OnRateChange(TShared*) {
  TShortSuspend suspend(*this);
  Pause();
  SelectConversion();
  const float rate = ensemble ? ensemble->GetSampleRate() : startSampleRate;
  if (IVSTPlug* plug = Plug()) plug->SetSampleRate(rate);
  if (ensemble) ensemble->TellClockSampleRate(rate);
  Resume();
}

// ---- The processing block ----------------------------------------------------

void TAudioInOut::Process() {
  if (!buffersOk) return;
  const TNoMessageScope noMessages;  // a block never waits for a message box
  const int32_t frames = GetBlockSize();
  // Sequentially consistent: the ensemble takes its plug-in, clock and player away
  // and then waits while a block is busy, so a block either sees them gone or is
  // waited for.
  busy.store(1, std::memory_order_seq_cst);
  if (!transports.ProcessInput(inputs, frames)) ReadDeviceBlock(frames);
  ProcessPlug(frames);
  transports.ProcessTape(outputs, frames);
  WriteDeviceBlock(frames);
  busy.store(0, std::memory_order_seq_cst);
  framePosition.fetch_add(frames, std::memory_order_relaxed);
}

void TAudioInOut::ReadDeviceBlock(int32_t frames) {
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
  IVSTPlug* plug = Plug();
  if (!plug) return;
  ensemble->ProcessPlayer(frames);
  plug->FlushEvents();
  plug->ProcessReplacing(inputs, outputs, frames);
  plug->ClearEvents();
}

void TAudioInOut::WriteDeviceBlock(int32_t frames) {
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

void TAudioInOut::ReadFrame(TFrameRecord* frame) {
  for (int32_t c = 0; c < channels; ++c) frame->scratch[0][c] = 0.0f;
}
