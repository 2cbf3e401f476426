// The MIDI port over the system's MIDI devices: any number of open inputs and
// outputs, a thread of its own that receives input, forwards it to the outputs when
// MIDI through is on and hands it to the host, and the device lists for the
// settings panel.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "IMidiDevices.h"
#include "TMidiInOut.h"
#include "TMidiStreamParser.h"
#include "TPortQueue.h"
#include "foundation/TParamStr.h"
#include "foundation/TStr.h"
#include "foundation/TThread.h"

// The device lists and the open set, as the settings panel uses them. Lists are
// indexed from 0; device ids are the indexes of the available lists.
class IMultiMediaMidi : public virtual IBase {
public:
  virtual int32_t GetInCount() = 0;
  virtual void GetInName(int32_t index, TStr& name) = 0;
  virtual int32_t GetInstalledInCount() = 0;
  virtual void GetInstalledInName(int32_t index, TStr& name) = 0;
  // Opens the input unless it is open; 1 when it is open afterwards.
  virtual int32_t InstallIn(int32_t deviceId) = 0;
  virtual void RemoveIn(int32_t deviceId) = 0;
  virtual int32_t GetOutCount() = 0;
  virtual void GetOutName(int32_t index, TStr& name) = 0;
  virtual int32_t GetInstalledOutCount() = 0;
  virtual void GetInstalledOutName(int32_t index, TStr& name) = 0;
  virtual int32_t InstallOut(int32_t deviceId) = 0;
  virtual void RemoveOut(int32_t deviceId) = 0;
  // The device id of the first available device of that name; -1 when none has it.
  virtual int32_t FindIn(const TStr& name) = 0;
  virtual int32_t FindOut(const TStr& name) = 0;
};

class TMultiMediaMidi : public TThread, public TMidiInOut, public virtual IMultiMediaMidi {
public:
  static constexpr int32_t portKind = 5;
  static constexpr int32_t sysexBufferBytes = 128;
  static constexpr int32_t sysexBuffersPerInput = 3;
  static constexpr size_t queueCapacity = 65536;
  // Registry values Midi1... and MidiOut1... that saving clears before writing.
  static constexpr int32_t clearedPortValues = 64;
  static constexpr int32_t stopWaitMilliseconds = 500;
  static constexpr const char* inputValuePrefix = "Midi";
  static constexpr const char* outputValuePrefix = "MidiOut";

  // Messages of the port thread's queue.
  enum EPortMessage : uint32_t {
    shortMessageArrived = 0x3C3,
    bufferReturned = 0x3C4,
    stopRequest = 0x464,
    barrier = 0x465,
    sendRequest = 0x466,
  };

  // The device lists are taken from devices (the installed device layer when null)
  // once, here.
  explicit TMultiMediaMidi(IMidiHost* host, IMidiDevices* devices = nullptr);
  ~TMultiMediaMidi() override;

  // Two object-model bases meet here.
  void Release() override { delete this; }
  bool IsValid() const override { return true; }
  void Assign(const IBase&) override {}
  bool IsEqual(const IBase&) const override { return false; }

  // IMidiInOut
  int32_t GetPortKind() override { return portKind; }
  void Start() override;
  void Stop() override;
  void SendShort(int32_t port, uint32_t message) override;
  int32_t IsUsable() override { return 1; }

  // IMultiMediaMidi
  int32_t GetInCount() override;
  void GetInName(int32_t index, TStr& name) override;
  int32_t GetInstalledInCount() override;
  void GetInstalledInName(int32_t index, TStr& name) override;
  int32_t InstallIn(int32_t deviceId) override;
  void RemoveIn(int32_t deviceId) override;
  int32_t GetOutCount() override;
  void GetOutName(int32_t index, TStr& name) override;
  int32_t GetInstalledOutCount() override;
  void GetInstalledOutName(int32_t index, TStr& name) override;
  int32_t InstallOut(int32_t deviceId) override;
  void RemoveOut(int32_t deviceId) override;
  int32_t FindIn(const TStr& name) override;
  int32_t FindOut(const TStr& name) override;

  // The port thread's handling of one message (also measured by the benchmarks).
  void HandlePortMessage(const TPortMessage& message);
  // Input that could not be taken: the queue was full, or no buffer was free for
  // system-exclusive data. Counted over all inputs.
  uint32_t GetLostInputCount() const { return lostInput.load(std::memory_order_relaxed); }
  bool IsThreadRunning() const { return IsRunning(); }

protected:
  int32_t Run() override;

private:
  struct TSysexBuffer {
    uint8_t data[sysexBufferBytes] = {};
    int32_t bytesRecorded = 0;
    // With the device, to be filled; cleared while the port thread has it.
    std::atomic<bool> queued{false};
  };

  class TMidiInDevice : public IMidiInputSink, public TMidiStreamParser::IReceiver {
  public:
    TMidiInDevice(TMultiMediaMidi& port, int32_t deviceId, const TStr& name);
    void PrepareOpen();
    void OnMidiBytes(const uint8_t* bytes, size_t count, bool mayWait) override;
    void OnShortMessage(uint32_t message) override;
    void OnSysexByte(uint8_t byte) override;
    void OnSysexEnd() override;

    TMultiMediaMidi& port;
    const int32_t deviceId;
    const TStr name;
    std::unique_ptr<IMidiInputDevice> handle;
    TSysexBuffer buffers[sysexBuffersPerInput];

  private:
    TSysexBuffer* TakeBuffer();
    void ReturnBuffer();

    // The device thread's own state.
    TMidiStreamParser parser;
    TSysexBuffer* filling = nullptr;
    int32_t nextBuffer = 0;
    bool dropping = false;
    bool mayWait = true;
  };

  struct TMidiOutDevice {
    int32_t deviceId;
    TStr name;
    std::unique_ptr<IMidiOutputDevice> handle;
  };

  // The open outputs as the forwarding paths see them: two sets, one of them in use.
  // Readers (the port thread, senders on any thread) never wait; the user-interface
  // thread fills the other set, switches, and waits until no reader uses the old one.
  struct TOutputSet {
    std::vector<IMidiOutputDevice*> outputs;
    std::atomic<int32_t> readers{0};
  };
  class TOutputReader {
  public:
    explicit TOutputReader(TMultiMediaMidi& port);
    ~TOutputReader();
    TOutputReader(const TOutputReader&) = delete;
    TOutputReader& operator=(const TOutputReader&) = delete;
    const std::vector<IMidiOutputDevice*>& Outputs() const { return set->outputs; }

  private:
    TOutputSet* set;
  };

  bool Post(const TPortMessage& message, bool mayWait);
  void PostFromUserInterface(const TPortMessage& message);
  // Waits until the port thread has handled everything posted before.
  void PassBarrier();
  void PublishOutputs();
  void CloseInput(TMidiInDevice& device);
  bool OpenInput(TMidiInDevice& device);
  void OpenStoredPorts();
  void SavePortList();
  void RaisePriority();
  void SendNow(int32_t port, uint32_t message);
  void ForwardShort(uint32_t message);
  void ForwardLong(const uint8_t* bytes, size_t count);

  IMidiDevices& devices;
  std::atomic<int32_t> stopRequested{0};
  std::atomic<bool> closing{false};
  TPortQueue queue{queueCapacity};
  std::vector<std::unique_ptr<TMidiInDevice>> availableIn;
  std::vector<std::unique_ptr<TMidiOutDevice>> availableOut;
  // Changed on the user-interface thread under uiLock, which no forwarding path takes.
  std::mutex uiLock;
  std::vector<TMidiInDevice*> installedIn;
  std::vector<TMidiOutDevice*> installedOut;
  TOutputSet outputSets[2];
  std::atomic<int32_t> currentOutputs{0};
  std::atomic<uint32_t> barriersPosted{0};
  std::atomic<uint32_t> barriersPassed{0};
  std::atomic<uint32_t> lostInput{0};
};

namespace Msg {
// "Could not open the MIDI port $1.\nIt is probably in use by another program."
extern TParamStr cannotOpenMidiPort;
}  // namespace Msg
