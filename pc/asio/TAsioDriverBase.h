// What the library's drivers share: the channels and clocks they describe, the
// checks of operation 4's records, the buffer pairs, the notification thread, the
// gate of the audio thread and the alternating halves.
//
// Threads: Init, CreateBuffers, DisposeBuffers, Start, SelectClock and ControlPanel
// run on the caller's main thread, one at a time. Stop may also run on a library
// thread (from inside the message callback): then it only stops the buffer switches
// and leaves the device's own stop to the next main-thread operation. On the main
// thread Stop returns only when no buffer switch is under way, and none follows. OutputReady
// runs on the audio thread. The device's audio thread touches the buffers only
// inside cycleGate, which is open from CreateBuffers to DisposeBuffers.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TAsioBufferSet.h"
#include "TAsioGate.h"
#include "TAsioNotifier.h"
#include "audio/asio/AsioLibrary.h"

class TAsioDriverBase {
public:
  TAsioDriverBase() = default;
  virtual ~TAsioDriverBase() = default;
  TAsioDriverBase(const TAsioDriverBase&) = delete;
  TAsioDriverBase& operator=(const TAsioDriverBase&) = delete;

  // Opens the device and fills info: Asio::outputReadySupported or
  // Asio::outputReadyNotSupported, or a failure (then the driver is dropped).
  virtual int32_t Init(TAsioHandle handle, TAsioDriverInfo& info) = 0;
  int32_t CreateBuffers(TAsioBufferInfo* records, int32_t count, int32_t frames, const TAsioCallbacks& callbacks,
                        TAsioDriverInfo& info);
  int32_t DisposeBuffers();
  int32_t Start();
  int32_t Stop();
  virtual int32_t OutputReady() { return Asio::ok; }
  int32_t SelectClock(TAsioDriverInfo& info, int32_t index);
  virtual int32_t ControlPanel(intptr_t value) = 0;

protected:
  struct TChannel {
    std::string name;
    int32_t sampleType = Asio::float32LSB;
  };
  struct TClock {
    std::string name;
    int32_t knowsRate = 1;
  };

  // The device's part of operation 4, before the buffers exist: Asio::ok or a failure.
  virtual int32_t PrepareDevice(const TAsioBufferInfo* records, int32_t count, int32_t frames) = 0;
  // After the gate is shut: what PrepareDevice made goes.
  virtual void ReleaseDevice() = 0;
  virtual int32_t StartDevice() = 0;
  virtual void StopDevice() = 0;
  // The rate of a clock source: Hz, 0 when it is not known, Asio::noClock when absent.
  virtual int32_t ClockRate(int32_t index) = 0;

  // Everything the driver describes into info, channels inactive.
  void FillInfo(TAsioDriverInfo& info) const;
  // For the audio thread, inside the gate: the half of this cycle.
  int32_t NextHalf() {
    const int32_t half = nextHalf.load(std::memory_order_relaxed);
    nextHalf.store(half ^ 1, std::memory_order_relaxed);
    return half;
  }
  bool IsRunning() const { return running.load(std::memory_order_acquire); }
  // For the audio thread, inside the gate: whether this cycle calls the buffer switch
  // (the driver runs); then EndSwitch after it. A Stop on the main thread returns only
  // when no switch is under way.
  bool BeginSwitch() {
    switching.fetch_add(1, std::memory_order_seq_cst);
    if (running.load(std::memory_order_seq_cst)) return true;
    switching.fetch_sub(1, std::memory_order_release);
    return false;
  }
  void EndSwitch() { switching.fetch_sub(1, std::memory_order_release); }
  // The device's own stop of a driver that failed: no more switches, the device is gone.
  void MarkStopped() { running.store(false, std::memory_order_release); }

  std::vector<TChannel> inputs;
  std::vector<TChannel> outputs;
  std::vector<TClock> clocks;
  int32_t clockIndex = 0;
  int32_t minBufferSize = 16;
  int32_t maxBufferSize = 8192;
  int32_t preferredBufferSize = 512;
  int32_t granularity = -1;
  int32_t sampleRate = 44100;
  int32_t inputLatency = 0;
  int32_t outputLatency = 0;

  TAsioNotifier notifier;
  TAsioGate cycleGate;
  // Written only while cycleGate is shut.
  TAsioCallbacks callbacks{};
  std::unique_ptr<TAsioBufferSet> buffers;

private:
  int32_t CheckRecords(const TAsioBufferInfo* records, int32_t count, std::vector<int32_t>& sampleTypes) const;

  std::atomic<bool> running{false};
  std::atomic<int32_t> switching{0};
  std::atomic<int32_t> nextHalf{0};
};

// The library's cycle over float devices (JACK): the device's input samples into the
// half, the program's buffer switch, the half's output samples to the device.
// devicePorts[i] is record i's device buffer of buffers.Frames() floats.
void RunFloatCycle(const TAsioBufferSet& buffers, int32_t half, float* const* devicePorts,
                   void (*bufferSwitch)(int32_t, int32_t));
