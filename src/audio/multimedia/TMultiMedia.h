// The soundcard port: one output and one input wave device of the device layer (or a
// DirectSound output through orbds.dll), 44100 Hz, 16-bit stereo, driven by a 4 ms
// periodic timer. Each tick decides whether another device block is due, has the
// shared processing block run for it and hands it to the device; the two delays
// ("Record Ahead", "Play Ahead") set how many blocks are kept queued.
//
// Threads: the main thread (construction, open, close, the panel's operations), the
// worker thread (counts the blocks the devices give back, from their notifications),
// the timer thread (ticks, conversions, Process and the plug-in). Every counter has one
// writer; the skip counter and the delay statistics are atomics that two threads
// change with read-modify-write operations.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IMultiMedia.h"
#include "TDirectSoundLibrary.h"
#include "TWaveConversion.h"
#include "audio/IMediaTimer.h"
#include "audio/IWaveDevices.h"
#include "audio/TAudioInOut.h"
#include "audio/TWaveEventQueue.h"
#include "foundation/TParamStr.h"
#include "foundation/TThread.h"

class TMultiMedia : public TAudioInOut,
                    public virtual IMultiMedia,
                    private IMediaTimerTarget,
                    private TWaveConversion::IInputSource {
public:
  static constexpr int32_t ringHeaders = 300;
  static constexpr int32_t smallFrames = 128;
  static constexpr int32_t largeFrames = 256;
  static constexpr int32_t headerDataBytes = 4096;
  // A tick queues no more than the output delay + this many blocks.
  static constexpr int32_t tickLimit = 20;
  // So the longest delay leaves the tick's limit within the rings.
  static constexpr int32_t maxDelayBlocks = ringHeaders - tickLimit;
  static constexpr int32_t tickMilliseconds = 4;
  static constexpr int32_t defaultDelayMilliseconds = 400;

  explicit TMultiMedia(IAudioEnsemble* ensemble);
  ~TMultiMedia() override;

  // The factory's check: an output wave device with the port's format, or a
  // DirectSound device with a name.
  static bool Prepare();

  // IAudioInOut, this kind's part.
  int32_t GetPortType() override { return AudioPortMultiMedia; }
  int32_t GetOutputCount() override { return outputIndex > 0 ? 2 : 0; }
  int32_t GetInputCount() override { return inputIndex > 0 ? 2 : 0; }
  void ClearBuffers() override;
  void EnableInputChannel(int32_t) override {}
  void EnableOutputChannel(int32_t) override {}
  void DisableInputChannel(int32_t) override {}
  void DisableOutputChannel(int32_t) override {}
  int32_t IsAudioPort() override { return 1; }
  void ShowSettings(IFrameWnd* parent) override;
  int32_t HasRouting() override { return 0; }
  void ShowRouting(IFrameWnd*) override {}

  // IMultiMedia
  void SetInputWanted(int32_t wanted) override;
  void SetInputDelay(int32_t milliseconds) override;
  int32_t GetInputDelay() override { return inputDelay * tickMilliseconds; }
  int32_t GetMeasuredInputDelay() override { return TakeMeasured(inputStatistics); }
  void SetOutputDelay(int32_t milliseconds) override;
  int32_t GetOutputDelay() override { return outputDelay.load(std::memory_order_relaxed) * tickMilliseconds; }
  int32_t GetMeasuredOutputDelay() override { return TakeMeasured(outputStatistics); }
  int32_t GetInputEntryCount() override { return static_cast<int32_t>(inputs.size()); }
  int32_t GetInputIndex() override { return inputIndex; }
  TStr GetInputName(int32_t index) override;
  void SelectInput(int32_t index) override;
  int32_t GetOutputEntryCount() override { return static_cast<int32_t>(outputs.size()); }
  int32_t GetOutputIndex() override { return outputIndex; }
  TStr GetOutputName(int32_t index) override;
  void SelectOutput(int32_t index) override;
  void NoEffectA() override {}
  void NoEffectB() override {}
  uint32_t GetUnderrunCount() override;
  bool IsDeviceLost() override { return deviceLost.load(std::memory_order_acquire); }

  // What tests and the panel's tests look at.
  int32_t GetWritten() const { return written.load(std::memory_order_acquire); }
  int32_t GetCompleted() const { return completed.load(std::memory_order_acquire); }
  int32_t GetInputCounted() const { return inputCount.load(std::memory_order_acquire); }
  int32_t GetSkipCounter() const { return skip.load(std::memory_order_acquire); }
  int32_t GetMultimediaEntryCount() const { return multimediaEntries; }
  bool IsOutputOpen() const { return outputOpen; }
  bool IsInputOpen() const { return inputOpen; }
  bool IsDirectSoundOutput() const { return outputOpen && directSoundOpen; }
  // Waits until the worker thread has counted every notification posted so far.
  void WaitUntilCounted();
  // One tick as the timer runs it, for benchmarks (only while the timer is stopped).
  void RunTick() { OnMediaTick(); }

protected:
  void OpenDevice() override;
  void CloseDevice() override;
  void StopDevice() override;
  void StartDevice() override;
  void ApplyBlockSize(int32_t) override {}
  // Only an open output device processes (any thread asks).
  bool ProcessesAudio() override { return outputProcesses.load(std::memory_order_acquire); }
  float ReadInputPeak(std::atomic<float>& min, std::atomic<float>& max) override;
  float ReadOutputPeak(std::atomic<float>& min, std::atomic<float>& max) override;
  void SelectConversion() override;
  void ReadFrame(TFrameRecord* frame) override;
  void WriteFrame(TFrameRecord* frame) override;
  // At factor 1.0 whole blocks at once; the other factors frame by frame.
  void ReadDeviceBlock(int32_t frames) override;
  void WriteDeviceBlock(int32_t frames) override;

private:
  struct TEntry {
    TStr name;
    std::string device;
    int32_t directSoundIndex = -1;
  };
  struct THeaderBlock {
    TWaveHeader header;
    alignas(16) uint8_t data[headerDataBytes];
  };
  struct TRing {
    THeaderBlock* blocks = nullptr;
    int32_t next = 0;
    uint32_t bytes = 0;
    TWaveHeader& Header(int32_t index) { return blocks[index].header; }
  };
  // The (start, end) of each input buffer handed to the device, read in turn.
  struct TReadPair {
    const int16_t* start;
    const int16_t* end;
  };
  class TWorker;

  // Construction
  void ReadSettings(TStr& storedInput, TStr& storedOutput);
  void BuildLists();
  static int32_t FindEntry(const std::vector<TEntry>& list, const TStr& stored);
  static int32_t DelayBlocks(int64_t milliseconds);

  // Opening and closing
  void OpenDevices();
  bool OpenBoth(TParamStr*& failure);
  bool OpenDirection(EWaveDirection direction);
  void CloseDirection(EWaveDirection direction);
  void PrepareRing(TRing& ring, IWaveDevice& device, uint32_t bytes);
  void StartDevices();
  void StopDevices(bool freeHeaders);
  void WaitForHeaders();
  bool AllHeadersBack();
  void AllocateRings();
  void FreeRings();
  bool EnsureWorker();
  void EndWorker();

  // The timer thread
  void OnMediaTick() override;
  void MultimediaTick();
  void DirectSoundTick();
  void WatchDirectSound(int32_t aheadFrames);
  void QueueBlock(bool small, bool silent);
  void ProcessDeviceBlock(int16_t* output, int32_t deviceFrames);
  void PublishPeaks();
  void RaiseOnFirstTick();
  bool NextBuffer(const int16_t*& read, const int16_t*& end) override;
  void AppendRead(const TWaveHeader& header, uint32_t bytes);

  // The worker thread
  void Count(const TWaveNotification& notification);

  // Statistics: the sum in the low 40 bits, the count in the high 24.
  static void AddSample(std::atomic<uint64_t>& statistics, int32_t value);
  static int32_t TakeMeasured(std::atomic<uint64_t>& statistics);
  void ReportOnce();
  static int32_t ReportTimer(void* self);

  void ApplySelection(int32_t& index, int32_t wanted);

  std::vector<TEntry> inputs;
  std::vector<TEntry> outputs;
  int32_t multimediaEntries = 1;
  int32_t inputIndex = 0;
  int32_t outputIndex = 0;
  int32_t previousInput = 0;
  int32_t previousOutput = 0;
  int32_t inputDelay = 0;
  std::atomic<int32_t> outputDelay{0};
  int32_t inputWanted = 0;

  TDirectSoundLibrary directSound;
  std::unique_ptr<IWaveDevice> outputDevice;
  std::unique_ptr<IWaveDevice> inputDevice;
  bool outputOpen = false;
  bool inputOpen = false;
  bool directSoundOpen = false;
  bool devicesStarted = false;
  bool recording = false;

  std::unique_ptr<THeaderBlock[]> headerMemory;
  TRing inputSmall, inputLarge, outputSmall, outputLarge;
  TReadPair readRing[ringHeaders] = {};
  int32_t readFirst = 0;
  int32_t readCount = 0;

  std::atomic<int32_t> written{0};
  std::atomic<int32_t> completed{0};
  std::atomic<int32_t> inputCount{0};
  std::atomic<int32_t> skip{0};
  std::atomic<uint64_t> inputStatistics{0};
  std::atomic<uint64_t> outputStatistics{0};
  std::atomic<bool> deviceLost{false};
  std::atomic<bool> outputProcesses{false};
  std::atomic<uint32_t> directSoundUnderruns{0};
  bool directSoundInWindow = false;
  // Frames committed to the DirectSound ring, and how long its play position stood.
  int64_t directSoundWritten = 0;
  int64_t directSoundPosition = -1;
  int32_t directSoundStill = 0;

  TWaveConversion conversion;
  int32_t smallProcessingFrames = smallFrames;
  int32_t largeProcessingFrames = largeFrames;
  uint32_t timer = 0;
  int32_t timerResolution = 1;
  std::atomic<bool> raisePriority{false};

  TWaveEventQueue events;
  std::atomic<uint64_t> counted{0};
  std::atomic<bool> workerStop{false};
  std::unique_ptr<TWorker> worker;

  // The underruns of devices closed since the port was built.
  uint32_t closedUnderruns = 0;
  uint32_t reportedUnderruns = 0;
  bool reportedLost = false;
  bool reportTimer = false;
};

namespace Msg {
extern TParamStr outportInUse;     // "Audio outport is in use by another application."
extern TParamStr inportInUse;      // "Audio inport is in use by another application."
extern TParamStr noFullDuplex;     // "Soundcard doesn't support full duplex mode."
}  // namespace Msg
