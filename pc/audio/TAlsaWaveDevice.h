// One open ALSA PCM in the port's format, played or recorded by a thread of its own.
//
// Output: queued headers are written into the PCM's buffer as room frees up; a header
// comes back when the PCM has played its last frame. Input: the thread reads into
// the queued headers in turn; a header comes back when it is full.
// The thread waits on the PCM's poll descriptors (a period at a time) and on a wake-up
// descriptor that Queue and the commands signal.
#pragma once
#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/IWaveDevices.h"
#include "foundation/ELockFreeRing.h"

class TAlsaWaveDevice : public IWaveDevice {
public:
  static std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& pcm, IWaveNotify& notify,
                                           EWaveOpenResult& result);
  ~TAlsaWaveDevice() override;
  TAlsaWaveDevice(const TAlsaWaveDevice&) = delete;
  TAlsaWaveDevice& operator=(const TAlsaWaveDevice&) = delete;

  EWaveDirection GetDirection() const override { return direction; }
  bool Prepare(TWaveHeader& header) override;
  void Unprepare(TWaveHeader& header) override;
  bool Queue(TWaveHeader& header) override;
  void Pause() override { Command(ECommand::Pause); }
  void Start() override { Command(ECommand::Start); }
  void Reset() override { Command(ECommand::Reset); }
  bool IsLost() override { return lost.load(std::memory_order_acquire); }
  TWaveCounters GetCounters() override;

  snd_pcm_uframes_t GetPeriodFrames() const { return periodFrames; }
  snd_pcm_uframes_t GetBufferFrames() const { return bufferFrames; }

private:
  enum class ECommand { None, Pause, Start, Reset, Close };
  using TClock = std::chrono::steady_clock;
  static constexpr size_t ringSize = 1024;

  struct TInFlight {
    TWaveHeader* header = nullptr;
    uint64_t endFrame = 0;
  };

  TAlsaWaveDevice(EWaveDirection direction, snd_pcm_t* pcm, IWaveNotify& notify);
  bool Configure();
  void Command(ECommand command);
  void Wake();

  void Run();
  bool TakeCommand();
  void Execute(ECommand command);
  void ReturnAll();
  void Return(TWaveHeader* header);
  void Notify(EWaveEvent event, TWaveHeader* header);
  void Fail();
  void Recover(int error, bool output);

  void ServeOutput();
  void FeedOutput();
  void StartOutputWhenFilled();
  void CompletePlayed();
  void ServeInput();
  void ReadInput();
  void ServeLost();
  void WaitForWork(bool pcmReady, int timeoutMilliseconds);
  void WatchProgress(uint64_t position);

  const EWaveDirection direction;
  snd_pcm_t* pcm;
  IWaveNotify& notify;
  snd_pcm_uframes_t periodFrames = 0;
  snd_pcm_uframes_t bufferFrames = 0;
  int wakeFd = -1;

  // Queue -> the device thread.
  ELockFreeRing<TWaveHeader*> incoming{ringSize};

  // The main thread's commands, carried out by the device thread.
  std::mutex commandLock;
  std::condition_variable commandDone;
  std::atomic<ECommand> pending{ECommand::None};

  std::atomic<bool> lost{false};
  std::atomic<uint32_t> underruns{0};
  std::atomic<uint32_t> overruns{0};

  // The device thread's own.
  bool paused = false;
  bool started = false;
  bool closing = false;
  TWaveHeader* current = nullptr;
  uint32_t currentBytes = 0;
  TInFlight inFlight[ringSize];
  size_t inFlightFirst = 0;
  size_t inFlightCount = 0;
  uint64_t framesWritten = 0;
  uint64_t lastPosition = 0;
  TClock::time_point lastProgress;
  TClock::time_point lostDue;

  std::thread thread;
};
