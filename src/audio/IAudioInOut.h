// The audio port interface: what the ensemble, the menu commands, the recorder and
// the settings panels use of every kind of port.
//
// Threading: every operation runs on the user-interface thread, except where an
// operation says otherwise. The port's processing thread runs only inside Process
// (see TAudioInOut) and is never entered from here.
#pragma once
#include <cstdint>

#include "foundation/Base.h"

class IAudioEnsemble;
class IFileName;
class IFrameWnd;
struct THDRecordingPrp;

// Port type codes; the same code is stored, as its name, in "AudioPort".
enum EAudioPortType : int32_t {
  AudioPortNone = 0,
  AudioPortOrbBoard = 1,
  AudioPortAudioWerk = 2,
  AudioPortMultiMedia = 3,
  AudioPortActiveMovie = 4,
  AudioPortMacAudio = 5,
  AudioPortUnnamed = 6,
  AudioPortMacDTDM = 7,
  AudioPortASIO = 8,
  AudioPortMacMAS = 9,
};

class IAudioInOut : public virtual IBase {
public:
  // Implemented by each port kind.
  virtual int32_t GetPortType() = 0;
  virtual int32_t GetOutputCount() = 0;
  virtual int32_t GetInputCount() = 0;
  virtual void ClearBuffers() = 0;
  virtual void EnableInputChannel(int32_t channel) = 0;
  virtual void EnableOutputChannel(int32_t channel) = 0;
  virtual void DisableInputChannel(int32_t channel) = 0;
  virtual void DisableOutputChannel(int32_t channel) = 0;
  virtual int32_t IsAudioPort() = 0;
  virtual void ShowSettings(IFrameWnd* parent) = 0;
  virtual int32_t HasRouting() = 0;
  virtual void ShowRouting(IFrameWnd* parent) = 0;

  // Shared by every kind.
  virtual IAudioEnsemble* GetEnsemble() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // The recorder and the player.
  virtual void PlayerCommand(THDRecordingPrp* record) = 0;
  virtual void TapeCommand(THDRecordingPrp* record) = 0;
  virtual void LoadPlayerFile(IFileName& name) = 0;
  virtual void StartTapePlayback(IFileName& name) = 0;
  virtual void StartRecording(IFileName& name, int32_t bits, int32_t channels, int32_t rate) = 0;
  virtual void StopRecording() = 0;
  virtual void SetBufferSize() = 0;
  virtual int32_t GetFrameIndex() = 0;
  virtual int32_t GetFramePosition() = 0;
  virtual int32_t GetBlockSize() = 0;
  virtual void SetBlockSize(int32_t frames) = 0;
  virtual float GetInputPeakLeft() = 0;
  virtual float GetInputPeakRight() = 0;
  virtual float GetOutputPeakLeft() = 0;
  virtual float GetOutputPeakRight() = 0;
  // A slot without effect, kept so that the operations after it keep their places.
  virtual void NoEffect() = 0;
  // A slot that answers 0, kept for the same reason.
  virtual int32_t AnswerZero() = 0;

  // What the ensemble asks of its port before it changes what the port processes.
  // Started or resumed, and not stopped or paused since.
  virtual bool IsRunning() = 0;
  // A block is in progress on the processing thread; any thread may ask.
  virtual bool IsBusy() = 0;
  // Whether MIDI arriving now will be played: the port runs a device that processes
  // (or is inside a short suspend, a block-size change or a reset, after which it runs
  // on). Any thread may ask. While it answers false the ensemble drops what arrives
  // instead of keeping it for a burst later.
  virtual bool TakesEvents() = 0;
};
