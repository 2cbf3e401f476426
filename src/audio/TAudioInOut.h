// What every audio port shares: the 16 input and 16 output float buffers, the block
// size, the frame position, the peak meters, the processing block (the contract
// between port and host), the hard-disk transports, and the start, stop, pause and
// resume sequences towards the plug-in.
//
// Threading. Start, Stop, Pause, Resume, SetBlockSize, the transports' commands and
// the kind-specific operations run on the user-interface thread. Process runs on the
// port's processing thread (the device's own thread or timer), one block at a time.
//
// The stop contract. A port kind's StopDevice and CloseDevice return only when its
// processing thread can no longer enter Process, and StartDevice is the only way it
// starts again. So Pause and Stop end the processing before the plug-in is suspended,
// and a port that is neither started nor resumed never processes. On top of that, the
// ensemble takes its plug-in away and waits until no block is busy before a plug-in
// goes, so even a device thread that lags behind its stop never runs a block on a
// plug-in that was released.
#pragma once
#include <atomic>
#include <cstdint>

#include "IAudioEnsemble.h"
#include "IAudioInOut.h"
#include "THDTransports.h"
#include "foundation/TNotified.h"

class TShared;

class TAudioInOut : public TNotified, public virtual IAudioInOut {
public:
  static constexpr int32_t channels = 16;
  static constexpr int32_t bufferFrames = 10000;
  static constexpr int32_t defaultBlockSize = 512;
  static constexpr int32_t scratchRows = 10;
  static constexpr float startSampleRate = 44100.0f;

  // What a frame conversion reads or writes for one frame.
  struct TFrameRecord {
    float* channel[channels] = {};
    float* scratch[scratchRows] = {};
  };

  // ensemble may be null (a port on its own processes no plug-in).
  explicit TAudioInOut(IAudioEnsemble* ensemble);
  ~TAudioInOut() override;
  TAudioInOut(const TAudioInOut&) = delete;
  TAudioInOut& operator=(const TAudioInOut&) = delete;

  // The port that the last constructed port represents (null after it is gone).
  static TAudioInOut* GetCurrentPort();

  // The kind-specific operations, with what a port kind without the feature answers:
  // no channels, no effect, no panel, no routing. A kind overrides what it has.
  int32_t GetOutputCount() override { return 0; }
  int32_t GetInputCount() override { return 0; }
  void ClearBuffers() override {}
  void EnableInputChannel(int32_t) override {}
  void EnableOutputChannel(int32_t) override {}
  void DisableInputChannel(int32_t) override {}
  void DisableOutputChannel(int32_t) override {}
  int32_t IsAudioPort() override { return 0; }
  void ShowSettings(IFrameWnd*) override {}
  int32_t HasRouting() override { return 0; }
  void ShowRouting(IFrameWnd*) override {}

  IAudioEnsemble* GetEnsemble() override { return ensemble; }
  void Start() override;
  void Stop() override;
  void Pause() override;
  void Resume() override;
  // The recorder and the player (THDTransports).
  void PlayerCommand(THDRecordingPrp* record) override { transports.PlayerCommand(record); }
  void TapeCommand(THDRecordingPrp* record) override { transports.TapeCommand(record); }
  void LoadPlayerFile(IFileName& name) override { transports.LoadPlayerFile(name); }
  void StartTapePlayback(IFileName& name) override { transports.StartTapePlayback(name); }
  void StartRecording(IFileName& name, int32_t bits, int32_t channelCount, int32_t rate) override {
    transports.StartRecording(name, bits, channelCount, rate);
  }
  void StopRecording() override { transports.StopRecording(); }
  void SetBufferSize() override { transports.SetBufferSize(); }
  int32_t GetFrameIndex() override { return frameIndex.load(std::memory_order_relaxed); }
  int32_t GetFramePosition() override { return framePosition.load(std::memory_order_relaxed); }
  int32_t GetBlockSize() override { return blockSize.load(std::memory_order_relaxed); }
  void SetBlockSize(int32_t frames) override;
  float GetInputPeakLeft() override { return ReadInputPeak(inputPeakMinLeft, inputPeakMaxLeft); }
  float GetInputPeakRight() override { return ReadInputPeak(inputPeakMinRight, inputPeakMaxRight); }
  float GetOutputPeakLeft() override { return ReadOutputPeak(outputPeakMinLeft, outputPeakMaxLeft); }
  float GetOutputPeakRight() override { return ReadOutputPeak(outputPeakMinRight, outputPeakMaxRight); }
  void NoEffect() override {}
  int32_t AnswerZero() override { return 0; }
  bool IsRunning() override { return running.load(std::memory_order_acquire); }
  bool IsBusy() override { return busy.load(std::memory_order_seq_cst) != 0; }
  bool TakesEvents() override {
    return ProcessesAudio() && (IsRunning() || shortSuspends.load(std::memory_order_acquire) > 0);
  }

  // One processing block, on the port's processing thread.
  void Process();

  // Runs when the ensemble's rate factor changes (user-interface thread).
  void OnRateChange(TShared* source);

  // False when the buffers could not be allocated; such a port never processes.
  bool HasBuffers() const { return buffersOk; }
  float* GetInputBuffer(int32_t channel) const { return inputs[channel]; }
  float* GetOutputBuffer(int32_t channel) const { return outputs[channel]; }
  float** GetInputBuffers() { return inputs; }
  float** GetOutputBuffers() { return outputs; }
  int32_t GetDeviceBlockFrames() const { return deviceBlockFrames.load(std::memory_order_relaxed); }
  THDTransports& GetTransports() { return transports; }

protected:
  // Marks a suspend that ends in a moment (a block-size change, a driver reset): MIDI
  // that arrives meanwhile is kept for the blocks after it. User-interface thread.
  class TShortSuspend {
  public:
    explicit TShortSuspend(TAudioInOut& port) : port(port) { port.shortSuspends.fetch_add(1); }
    ~TShortSuspend() { port.shortSuspends.fetch_sub(1); }
    TShortSuspend(const TShortSuspend&) = delete;
    TShortSuspend& operator=(const TShortSuspend&) = delete;

  private:
    TAudioInOut& port;
  };

  // Whether the kind has a device whose blocks run Process while the port runs (the
  // null port, or a kind with no device open, has none). Any thread asks it: answer
  // from atomics.
  virtual bool ProcessesAudio() { return true; }

  // The device operations of each port kind, on the user-interface thread. Stop and
  // Close keep the stop contract above.
  virtual void OpenDevice() = 0;
  virtual void CloseDevice() = 0;
  virtual void StopDevice() = 0;
  virtual void StartDevice() = 0;
  // A slot that no port kind gives an effect.
  virtual void DeviceHook(int32_t) {}
  virtual void ApplyBlockSize(int32_t) {}
  // Answers the larger of -min and max, then sets both to 0.
  virtual float ReadInputPeak(std::atomic<float>& min, std::atomic<float>& max);
  virtual float ReadOutputPeak(std::atomic<float>& min, std::atomic<float>& max);
  virtual void SelectConversion() {}
  // Processing thread: converts one device input frame into the first scratch row of
  // frame (silence unless a kind reads a device).
  virtual void ReadFrame(TFrameRecord* frame);
  // Processing thread: converts one frame of the output buffers (frame's channel
  // pointers) to the device.
  virtual void WriteFrame(TFrameRecord*) {}
  // Processing thread: the device input of a whole block into the 16 input buffers,
  // and the whole block of output buffers to the device. By default frame by frame
  // through ReadFrame and WriteFrame; a kind that converts whole buffers at once (the
  // driver port) overrides them.
  virtual void ReadDeviceBlock(int32_t frames);
  virtual void WriteDeviceBlock(int32_t frames);

  static float PeakOf(std::atomic<float>& min, std::atomic<float>& max);

  float* outputs[channels] = {};
  float* inputs[channels] = {};
  IAudioEnsemble* ensemble;
  std::atomic<float> inputPeakMinLeft{0}, inputPeakMinRight{0}, inputPeakMaxLeft{0}, inputPeakMaxRight{0};
  std::atomic<float> outputPeakMinLeft{0}, outputPeakMinRight{0}, outputPeakMaxLeft{0}, outputPeakMaxRight{0};
  std::atomic<int32_t> blockSize{defaultBlockSize};
  std::atomic<int32_t> framePosition{0};
  std::atomic<int32_t> deviceBlockFrames{defaultBlockSize};
  std::atomic<int32_t> frameIndex{0};
  TFrameRecord inputFrame;
  TFrameRecord outputFrame;
  THDTransports transports;
  std::atomic<int32_t> busy{0};

private:
  void ProcessPlug(int32_t frames);
  IVSTPlug* Plug() const;
  void SuspendPlug();
  void ResumePlug();
  void AllocateBuffers();
  void FreeBuffers();

  float* scratchMemory = nullptr;
  bool buffersOk = false;
  std::atomic<bool> running{false};
  std::atomic<int32_t> shortSuspends{0};
};
