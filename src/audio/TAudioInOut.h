// What every audio port shares: the 16 input and 16 output float buffers, the block
// size, the frame position, the peak meters, the processing block (the contract
// between port and host), the recorder and player hooks, and the start, stop,
// pause and resume sequences towards the plug-in.
#pragma once
#include <atomic>
#include <cstdint>

#include "IAudioInOut.h"
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

  explicit TAudioInOut(KEnsemble* ensemble);
  ~TAudioInOut() override;
  TAudioInOut(const TAudioInOut&) = delete;
  TAudioInOut& operator=(const TAudioInOut&) = delete;

  // The port that the last constructed port represents (null after it is gone).
  static TAudioInOut* GetCurrentPort();

  KEnsemble* GetEnsemble() override { return ensemble; }
  void Start() override;
  void Stop() override;
  void Pause() override;
  void Resume() override;
  // The recorder and the player: their state is here, all idle.
  void PlayerCommand(THDRecordingPrp* record) override;
  void TapeCommand(THDRecordingPrp* record) override;
  void LoadPlayerFile(IFileName& name) override;
  void StartTapePlayback(IFileName& name) override;
  void StartRecording(IFileName& name, int32_t bits, int32_t channels, int32_t rate) override;
  void StopRecording() override;
  void SetBufferSize() override;
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

  // One processing block, on the port's processing thread.
  void Process();

  // Runs when the ensemble's rate factor changes.
  void OnRateChange(TShared* source);

  bool IsBusy() const { return busy.load(std::memory_order_seq_cst) != 0; }
  // Started or resumed, and not stopped or paused since.
  bool IsRunning() const { return running.load(std::memory_order_acquire); }
  // False when the buffers could not be allocated; such a port never processes.
  bool HasBuffers() const { return buffersOk; }
  float* GetInputBuffer(int32_t channel) const { return inputs[channel]; }
  float* GetOutputBuffer(int32_t channel) const { return outputs[channel]; }
  float** GetInputBuffers() { return inputs; }
  float** GetOutputBuffers() { return outputs; }
  int32_t GetDeviceBlockFrames() const { return deviceBlockFrames.load(std::memory_order_relaxed); }

  // The recorder and player flags that the processing block looks at.
  struct TTransport {
    std::atomic<int32_t> playerRunning{0};
    std::atomic<int32_t> playerReady{0};
    std::atomic<int32_t> playerEnded{0};
    std::atomic<int32_t> inputMuted{0};
    std::atomic<int32_t> tapePlaying{0};
    std::atomic<int32_t> tapeRecording{0};
    std::atomic<int32_t> tapeEnded{0};
    bool playerFileLoaded = false;
    bool tapeFileOpen = false;
    bool tapeBlockPresent = false;
  };
  const TTransport& GetTransport() const { return transport; }

protected:
  // The device operations of each port kind.
  virtual void OpenDevice() = 0;
  virtual void CloseDevice() = 0;
  virtual void StopDevice() = 0;
  virtual void StartDevice() = 0;
  virtual void DeviceHook(int32_t) {}
  virtual void ApplyBlockSize(int32_t frames) = 0;
  // Answers the larger of -min and max, then sets both to 0.
  virtual float ReadInputPeak(std::atomic<float>& min, std::atomic<float>& max);
  virtual float ReadOutputPeak(std::atomic<float>& min, std::atomic<float>& max);
  virtual void SelectConversion() {}
  // Converts one device input frame into the first scratch row of frame.
  virtual void ReadFrame(TFrameRecord* frame) = 0;
  // Converts one frame of the output buffers (frame's channel pointers) to the device.
  virtual void WriteFrame(TFrameRecord* frame) = 0;

  // The recorder's per-block work; the transports' bodies fill them in.
  virtual int32_t PlayerRead(int32_t frames);
  virtual int32_t TapeRead(int32_t frames);
  virtual void RecorderWrite(int32_t frames);
  virtual void ClearPlaybackInputs(int32_t frames);

  static float PeakOf(std::atomic<float>& min, std::atomic<float>& max);

  float* outputs[channels] = {};
  float* inputs[channels] = {};
  KEnsemble* ensemble;
  std::atomic<float> inputPeakMinLeft{0}, inputPeakMinRight{0}, inputPeakMaxLeft{0}, inputPeakMaxRight{0};
  std::atomic<float> outputPeakMinLeft{0}, outputPeakMinRight{0}, outputPeakMaxLeft{0}, outputPeakMaxRight{0};
  std::atomic<int32_t> blockSize{defaultBlockSize};
  std::atomic<int32_t> framePosition{0};
  std::atomic<int32_t> deviceBlockFrames{defaultBlockSize};
  std::atomic<int32_t> frameIndex{0};
  TFrameRecord inputFrame;
  TFrameRecord outputFrame;
  TTransport transport;
  std::atomic<int32_t> busy{0};

private:
  void ProcessInput(int32_t frames);
  void ProcessPlug(int32_t frames);
  void ProcessTape(int32_t frames);
  void ProcessOutput(int32_t frames);
  void SuspendPlug();
  void ResumePlug();
  void AllocateBuffers();
  void FreeBuffers();

  float* scratchMemory = nullptr;
  bool buffersOk = false;
  std::atomic<bool> running{false};
};
