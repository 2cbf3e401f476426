// The driver port (type 8, "ASIO"): drives a driver of the access library VMASIO.dll.
// The driver calls the buffer switch on its own thread once per buffer half; the port
// converts its 16 processing outputs to the routed driver channels and runs the
// processing block there. It remembers, per driver name, the buffer size, the clock
// source and the output routing.
//
// Threads: everything on the user-interface thread except the three callbacks. The
// buffer switch runs on the driver's audio thread and neither allocates, locks nor
// waits; the rate and message callbacks run on the library's notification thread and
// only hand their news to the port's timer on the user-interface thread (a reset 100
// ms after its request, a new rate at the next tick). The run state is the hand-over:
// the user-interface thread sets it to -1 and waits until no switch is inside the
// processing block before it stops the driver; a start sets 2, so the first two
// switches only play their cleared halves. StopDevice and CloseDevice return only
// when no switch can enter the processing block any more.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "IASIO.h"
#include "TASIOLibrary.h"
#include "TAsioRateConverter.h"
#include "audio/TAudioInOut.h"
#include "foundation/TParamStr.h"

class IFrameWnd;

// The panels, installed by the dialogs layer (none: nothing opens, no rate is asked).
struct TASIOPanels {
  void (*showProperties)(IASIO& port, IFrameWnd* parent) = nullptr;
  void (*showRouting)(IASIO& port, IFrameWnd* parent) = nullptr;
  // The clock panel: true with the rate typed, false on Cancel.
  bool (*askClockRate)(IASIO& port, float& rate) = nullptr;
};

class TASIO : public TAudioInOut, public virtual IASIO {
public:
  static constexpr int32_t noRecordCode = -101;
  static constexpr int32_t smallestStoredSize = 16;
  static constexpr int32_t resetDelayMilliseconds = 100;

  // The factory's preparation for type 8: once per run (later calls answer the first
  // result) reads the "ASIOInit" guard, lists the drivers and succeeds when one of
  // them is not a left-out name.
  static bool Prepare();
  static void ForgetPreparation();  // for tests: the next Prepare runs again
  static void SetPanels(const TASIOPanels& panels);
  // The names the port leaves out of the driver table.
  static bool IsDroppedName(const char* name);

  explicit TASIO(IAudioEnsemble* ensemble);
  ~TASIO() override;

  // IAudioInOut
  int32_t GetPortType() override { return AudioPortASIO; }
  int32_t GetOutputCount() override { return info.outputCount; }
  int32_t GetInputCount() override { return info.inputCount; }
  void ClearBuffers() override;
  void EnableInputChannel(int32_t channel) override { Mark(routing.inputEnabled, channel, 1); }
  void EnableOutputChannel(int32_t channel) override { Mark(routing.outputEnabled, channel, 1); }
  void DisableInputChannel(int32_t channel) override { Mark(routing.inputEnabled, channel, 0); }
  void DisableOutputChannel(int32_t channel) override { Mark(routing.outputEnabled, channel, 0); }
  int32_t IsAudioPort() override { return 1; }
  void ShowSettings(IFrameWnd* parent) override;
  int32_t HasRouting() override { return 1; }
  void ShowRouting(IFrameWnd* parent) override;

  // IASIO
  int32_t GetDriverCount() override { return static_cast<int32_t>(drivers.size()); }
  TStr GetDriverName(int32_t index) override;
  int32_t GetDriverIndex() override { return driverIndex; }
  void SelectDriver(int32_t index) override;
  int32_t GetClockIndex() override { return currentClock; }
  void SetClock(int32_t index) override;
  const TAsioDriverInfo& GetDriverInfo() override { return info; }
  const TAsioChannelInfo* GetChannelInfo() override { return channelInfo.get(); }
  void GetRouting(TRouting& record) override { record = routing; }
  void SetRouting(const TRouting& record) override;
  int32_t GetPreferredBufferSize() override { return info.preferredBufferSize; }
  void SetPropertiesPanel(IASIOPanel* panel) override { propertiesPanel = panel; }
  void SetRoutingPanel(IASIOPanel* panel) override { routingPanel = panel; }
  void OpenControlPanel() override;

  // What tests look at.
  int32_t GetBufferSize() const { return bufferSize; }
  int32_t GetRunState() const { return runState.load(); }
  bool IsDisabled() const { return disabled; }
  bool HasDriverBuffers() const { return buffersCreated; }
  bool IsDeviceRunning() const { return deviceRunning.load(); }
  bool IsResetPending() const { return resetPending.load(); }
  // The buffer records made (outputs after inputs) and the slot each output serves (-1: none).
  const std::vector<TAsioBufferInfo>& GetBufferRecords() const { return records; }
  const std::vector<int32_t>& GetRecordSlots() const { return recordSlots; }
  // One tick of the port's timer (the timer service calls it every 50 ms).
  void OnTimerTick();

protected:
  void OpenDevice() override;
  void CloseDevice() override;
  void StopDevice() override;
  // After an open that made no buffers, a resume does not try again (and report again).
  void StartDevice() override;
  void ApplyBlockSize(int32_t frames) override;
  void SelectConversion() override;
  // Events reach the plug-in only while a driver runs.
  bool ProcessesAudio() override { return deviceRunning.load(std::memory_order_acquire); }
  // No driver input is routed: the inputs are silence.
  void ReadDeviceBlock(int32_t frames) override;
  // The whole block of the routed outputs into the driver's half of this switch.
  void WriteDeviceBlock(int32_t frames) override;

private:
  struct TRecordFormat {
    int32_t sampleType = Asio::float32LSB;
    int32_t halfBytes = 0;
    bool rightPeak = false;  // an odd channel number counted after the inputs
  };

  static void BufferSwitch(int32_t half, int32_t processNow);
  static void SampleRateChanged(double rate);
  static int32_t Message(int32_t selector, int32_t value, void* message, double* opt);
  static int32_t TimerTick(void* context);

  void Initialise();
  void InitialiseDriver();
  int32_t CreateDriverBuffers();
  void BuildBufferRecords();
  void ClearHalf(int32_t half);
  void ReportBufferError();
  void ResetDriver();
  void SaveSettings();
  void AdoptBlockSize(int32_t frames);
  void WaitForSwitch();
  void OnSwitch(int32_t half);
  void ConvertOutputs(int32_t half, int32_t frames);
  void ApplyRate(int32_t rate);
  void AdoptDriverRate();
  void ApplyClock(int32_t index);
  void ApplyBufferSize(int32_t frames);
  bool KnowsRate(int32_t clock) const;
  double RateFactor() const;
  TStr DriverValue(const char* suffix) const;
  static void Mark(int32_t* table, int32_t channel, int32_t value);

  TASIOLibrary library;
  std::vector<TStr> drivers;
  int32_t driverIndex = 0;
  TAsioDriverInfo info{};
  std::unique_ptr<TAsioChannelInfo[]> channelInfo;
  TRouting routing{};
  TAsioCallbacks callbacks{};

  std::vector<TAsioBufferInfo> records;
  std::vector<int32_t> recordSlots;
  std::vector<TRecordFormat> formats;
  std::vector<float> workArea;  // one channel at the driver's rate, for the rate factors
  TAsioRateConverter outputConverters[usedSlots];

  int32_t bufferSize = 0;
  int32_t pendingClock = -1;
  int32_t currentClock = 0;
  int32_t errorCode = 0;
  int32_t extClockRate = 0;
  bool noDriver = true;
  bool driverLoaded = false;
  bool disabled = false;
  bool initError = false;
  bool buffersCreated = false;
  bool bufferError = false;
  bool showNoDriver = true;
  bool showStartFailure = true;
  bool outputReady = false;
  bool reinitialising = false;
  bool openFailed = false;  // the last open made no buffers
  IASIOPanel* propertiesPanel = nullptr;
  IASIOPanel* routingPanel = nullptr;

  // Shared with the driver's threads.
  std::atomic<bool> deviceRunning{false};
  std::atomic<int32_t> runState{-1};
  std::atomic<int32_t> inSwitch{0};
  std::atomic<int32_t> currentHalf{0};
  std::atomic<bool> resetPending{false};
  std::atomic<int32_t> resetTicks{0};
  std::atomic<int32_t> pendingRate{0};
  // The processing frames of the buffers made (factor × buffer size); -1: none.
  std::atomic<int32_t> processFrames{-1};
};

namespace Msg {
extern TParamStr asioInitFailedBefore;   // "The initialisation of ASIO failt the last time. ..."
extern TParamStr noAsioDriver;           // "No ASIO Driver found."
extern TParamStr asioHardwareNotPresent; // "Hardware not present or available."
extern TParamStr asioDriverInUse;        // "ASIO Driver is in use by another application."
extern TParamStr asioInitError;          // "Couldn't initialize ASIO."
extern TParamStr asioStartError;         // "Couldn't start ASIO."
extern TParamStr asioBufferError;        // "Couldn't create audio buffer."
extern TParamStr asioTryPreferred;       // "Couldn't create audio buffer.\n   Try preferred Buffersize?"
extern TParamStr asioClockNotSupported;  // "Clockrate not supported"
extern TParamStr asioClockNotSet;        // "Couldn't set clockrate"
}  // namespace Msg
