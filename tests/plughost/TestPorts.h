// Ports and services for the host's tests: an audio port that the test drives block
// by block (or whose device thread runs on its own), a MIDI port and a clock that
// record what reaches them, and the POSIX file services with a program folder of
// the test's choosing.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakePlugin.h"
#include "audio/AudioPortFactory.h"
#include "audio/TAudioInOut.h"
#include "foundation/IFileSystem.h"
#include "midi/TMidiClock.h"
#include "midi/TMidiInOut.h"

class TTestPort : public TAudioInOut {
public:
  explicit TTestPort(IAudioEnsemble* ensemble, int32_t type = AudioPortMultiMedia);
  ~TTestPort() override;

  // The factory that the tests hand to the ensemble: the test port registered as the
  // kinds of Register (prepared or not); Unregister in the end.
  static TAudioPortFactory& Factory();
  static void Register(int32_t type = AudioPortMultiMedia, bool prepares = true);
  static void Unregister(int32_t type = AudioPortMultiMedia);
  // The port that the factory built last.
  static TTestPort* Last();

  int32_t GetPortType() override { return type; }
  int32_t GetOutputCount() override { return 2; }
  int32_t GetInputCount() override { return 2; }
  void EnableInputChannel(int32_t channel) override { enabledInputs |= 1u << channel; }
  void EnableOutputChannel(int32_t channel) override { enabledOutputs |= 1u << channel; }
  int32_t IsAudioPort() override { return 1; }

  void SetInputPeaks(float minLeft, float maxLeft) {
    inputPeakMinLeft.store(minLeft);
    inputPeakMaxLeft.store(maxLeft);
  }
  // A device thread that calls Process until the device stops.
  void RunDeviceThread(bool on) { threaded = on; }
  bool DeviceRunning() const { return deviceRunning.load(); }

  uint32_t enabledInputs = 0;
  uint32_t enabledOutputs = 0;
  float inputValue = 0.25f;
  std::vector<float> written;  // left output, frame by frame
  bool recordOutput = false;
  int32_t appliedBlockSize = 0;
  // Runs inside ApplyBlockSize, while a block-size change has the port suspended.
  std::function<void()> whileApplyingBlockSize;

protected:
  void OpenDevice() override;
  void CloseDevice() override;
  void StopDevice() override;
  void StartDevice() override;
  void ApplyBlockSize(int32_t frames) override;
  void SelectConversion() override;
  void ReadFrame(TFrameRecord* frame) override;
  void WriteFrame(TFrameRecord* frame) override;

private:
  int32_t type;
  bool threaded = false;
  std::atomic<bool> deviceRunning{false};
  std::thread device;
};

class TRecordingMidi : public TMidiInOut {
public:
  explicit TRecordingMidi(IMidiHost* host) : TMidiInOut(host) {}
  ~TRecordingMidi() override;
  static IMidiInOut* Make(IMidiHost* host);
  static TRecordingMidi* Last();

  int32_t GetPortKind() override { return 42; }
  void Start() override { TCallLog::Get().Add("midi:Start"); }
  void Stop() override { TCallLog::Get().Add("midi:Stop"); }
  void HostHook1() override { TCallLog::Get().Add("midi:HostHook1"); }
  void HostHook2() override { TCallLog::Get().Add("midi:HostHook2"); }
  void SendShort(int32_t port, uint32_t message) override;
  int32_t IsUsable() override { return 1; }
  // An input event, as the port thread delivers it.
  void Inject(int32_t kind, int32_t channel, int32_t data1, int32_t data2) { Deliver(kind, channel, data1, data2); }

  std::vector<std::pair<int32_t, uint32_t>> Sent() const;

private:
  mutable std::mutex mutex;
  std::vector<std::pair<int32_t, uint32_t>> sent;
};

class TRecordingClock : public TMidiClock {
public:
  void SongPosition(int32_t samplePos, int32_t clocks) override;
  void Tick(int32_t samplePos) override;
  void Start(int32_t samplePos) override;
  void SetSampleRate(float rate) override;
  std::vector<std::string> Calls() const;

private:
  mutable std::mutex mutex;
  std::vector<std::string> calls;
};

// The POSIX file services with another program folder.
class TTestFileSystem : public IFileSystem {
public:
  explicit TTestFileSystem(const std::string& programFolder);
  ~TTestFileSystem() override;

  TFileHandle Open(const TStr& path, EFileMode mode, int& error) override { return base->Open(path, mode, error); }
  int64_t Read(TFileHandle h, void* b, int64_t n, int& e) override { return base->Read(h, b, n, e); }
  int64_t Write(TFileHandle h, const void* b, int64_t n, int& e) override;
  int64_t Seek(TFileHandle h, int64_t p, int& e) override { return base->Seek(h, p, e); }
  int64_t Tell(TFileHandle h) override { return base->Tell(h); }
  int64_t GetSize(TFileHandle h) override { return base->GetSize(h); }
  bool Close(TFileHandle h, int& e) override { return base->Close(h, e); }
  bool Exists(const TStr& path) override { return base->Exists(path); }
  bool Remove(const TStr& path) override { return base->Remove(path); }
  TStr GetProgramFolder() override { return folder; }
  TStr CreateTempFile(const TStr& f, const TStr& p) override { return base->CreateTempFile(f, p); }
  bool Run(const TStr& path) override { return base->Run(path); }
  IFolderSearch* Search(const TStr& f, const TStr& p) override { return base->Search(f, p); }
  TStr ErrorText(int error) override { return base->ErrorText(error); }

  // Writes fail (as on a full disk) once this many bytes were written in all; -1 never.
  int64_t failAfterBytes = -1;

private:
  IFileSystem* base;
  IFileSystem* previous;
  TStr folder;
  int64_t written = 0;
};

// A fresh folder below the test tree, removed with the object.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  const std::string& Path() const { return path; }
  std::string File(const std::string& name) const { return path + "/" + name; }

private:
  std::string path;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
