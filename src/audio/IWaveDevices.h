// The wave devices of the system as the soundcard port sees them: output and input
// devices by stable name, opened in the one format the port uses (44100 Hz, 16-bit
// signed little-endian, stereo, interleaved), fed with headers (blocks of sample
// bytes that the port owns) and answering with notifications. The platform side
// installs its device layer; without one there are no devices.
//
// Threading contract:
// - ListOutputs, ListInputs, Open, IsSystemSoundLibraryPresent and every IWaveDevice
//   operation except Queue run on one thread at a time (the port's main thread).
// - Queue runs on the port's processing thread (its 4 ms timer) and also on the main
//   thread while that timer is stopped; never on two threads at once. It does not
//   allocate, take a lock or wait.
// - Notifications (IWaveNotify::OnWaveEvent) come on a thread of the layer's own
//   (for simulated devices: the thread that advances the simulated clock); the
//   receiver must not block there. For one device, the headers come back in the order
//   they were queued, and nothing is notified after the device's destructor returned.
// - A header belongs to the device from Queue until it is marked done; the done flag
//   is set (release) before its BlockDone notification is sent, so a thread that sees
//   the flag (acquire) may reuse the header.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The one format: PCM, 2 channels, 44100 frames a second, 16 bits a sample.
struct TWaveFormat {
  static constexpr int32_t rate = 44100;
  static constexpr int32_t channels = 2;
  static constexpr int32_t bytesPerFrame = 4;
};

enum class EWaveDirection : uint8_t { Output, Input };

struct TWaveDeviceInfo {
  // Unique within its list and the same from one run to the next.
  std::string name;
  // Whether the device takes the one format (44.1 kHz, 16-bit, stereo).
  bool takesPortFormat = false;
};

// A block of sample bytes handed to a device: played, or filled by recording.
struct TWaveHeader {
  enum : uint32_t { Done = 1u, Prepared = 2u, Queued = 4u };

  uint8_t* data = nullptr;
  // Bytes to play, or room to record; a whole number of frames.
  uint32_t bufferBytes = 0;
  // Input: the bytes recorded when the header came back.
  uint32_t recordedBytes = 0;
  // The owner's own.
  intptr_t user = 0;
  std::atomic<uint32_t> flags{0};

  bool IsDone() const { return (flags.load(std::memory_order_acquire) & Done) != 0; }
  bool IsPrepared() const { return (flags.load(std::memory_order_acquire) & Prepared) != 0; }
};

enum class EWaveEvent : uint8_t {
  // A header came back (played, or filled); its done flag is set.
  BlockDone,
  // The device was closed; the last notification of a device.
  Closed,
  // The device went away (a server that died, a card unplugged): every header it held
  // has come back; it goes on taking headers and returns them in real time, silent.
  Lost,
};

struct TWaveNotification {
  EWaveEvent event = EWaveEvent::BlockDone;
  EWaveDirection direction = EWaveDirection::Output;
  TWaveHeader* header = nullptr;
};

class IWaveNotify {
public:
  virtual ~IWaveNotify() = default;
  virtual void OnWaveEvent(const TWaveNotification& notification) = 0;
};

struct TWaveCounters {
  // Output: the device ran dry and was restarted. Input: recorded frames were lost
  // because no header was there to take them.
  uint32_t underruns = 0;
  uint32_t overruns = 0;
};

// An open device. Output starts playing with the first queued header (unless paused);
// input records once started. Destroying it resets it (every header comes back, in
// order, with its notification), sends Closed and returns when nothing more will come.
class IWaveDevice {
public:
  virtual ~IWaveDevice() = default;
  virtual EWaveDirection GetDirection() const = 0;
  // Makes a header usable with this device (and marks it done); false when it holds
  // no whole frame.
  virtual bool Prepare(TWaveHeader& header) = 0;
  virtual void Unprepare(TWaveHeader& header) = 0;
  // Hands a prepared, done header to the device; false (and the header untouched) when
  // it is not prepared or still queued.
  virtual bool Queue(TWaveHeader& header) = 0;
  // Output: holds playback (queued headers wait); input: stops recording.
  virtual void Pause() = 0;
  // Output: plays again after Pause; input: starts recording.
  virtual void Start() = 0;
  // Every queued header comes back at once (input: with what it recorded); playback
  // or recording stops until more is queued (output) or Start (input).
  virtual void Reset() = 0;
  virtual bool IsLost() = 0;
  virtual TWaveCounters GetCounters() = 0;
};

enum class EWaveOpenResult { Opened, InUse, Missing, Unsupported, Failed };

class IWaveDevices {
public:
  virtual ~IWaveDevices() = default;
  // The devices present now.
  virtual std::vector<TWaveDeviceInfo> ListOutputs() = 0;
  virtual std::vector<TWaveDeviceInfo> ListInputs() = 0;
  // Null and the reason when the device cannot be opened in the one format.
  virtual std::unique_ptr<IWaveDevice> Open(EWaveDirection direction, const std::string& name, IWaveNotify& notify,
                                            EWaveOpenResult& result) = 0;
  // Whether the system library beneath the DirectSound helper can be loaded.
  virtual bool IsSystemSoundLibraryPresent() = 0;
};

// Installs the device layer used by ports made from now on (null: no devices).
// Answers the previous one. The caller keeps ownership.
IWaveDevices* SetWaveDevices(IWaveDevices* devices);
IWaveDevices& GetWaveDevices();
