#include "TestPorts.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "audio/AudioPortFactory.h"
#include "pc/foundation/TPosixFileSystem.h"

namespace {
std::atomic<TTestPort*> lastPort{nullptr};
std::atomic<TRecordingMidi*> lastMidi{nullptr};
bool prepareAnswer = true;

bool PrepareTestPort() { return prepareAnswer; }
TAudioInOut* MakeTestPort(IAudioEnsemble* ensemble) { return new TTestPort(ensemble, AudioPortMultiMedia); }
TAudioInOut* MakeTestAsioPort(IAudioEnsemble* ensemble) { return new TTestPort(ensemble, AudioPortASIO); }
}  // namespace

// ---- TTestPort ------------------------------------------------------------------

TTestPort::TTestPort(IAudioEnsemble* owner, int32_t portType) : TAudioInOut(owner), type(portType) {
  lastPort.store(this);
  TCallLog::Get().Add("port:construct");
}

TTestPort::~TTestPort() {
  StopDevice();
  TTestPort* self = this;
  lastPort.compare_exchange_strong(self, nullptr);
  TCallLog::Get().Add("port:destroy");
}

TAudioPortFactory& TTestPort::Factory() {
  static TAudioPortFactory factory;
  return factory;
}

void TTestPort::Register(int32_t portType, bool prepares) {
  prepareAnswer = prepares;
  Factory().Register(portType, &PrepareTestPort, portType == AudioPortASIO ? &MakeTestAsioPort : &MakeTestPort);
}

void TTestPort::Unregister(int32_t portType) { Factory().Unregister(portType); }

TTestPort* TTestPort::Last() { return lastPort.load(); }

void TTestPort::OpenDevice() { TCallLog::Get().Add("device:open"); }
void TTestPort::CloseDevice() { TCallLog::Get().Add("device:close"); }

void TTestPort::StopDevice() {
  if (device.joinable()) {
    deviceRunning.store(false);
    device.join();
  }
  deviceRunning.store(false);
  TCallLog::Get().Add("device:stop");
}

void TTestPort::StartDevice() {
  TCallLog::Get().Add("device:start");
  if (!threaded || device.joinable()) return;
  deviceRunning.store(true);
  device = std::thread([this] {
    while (deviceRunning.load()) Process();
  });
}

void TTestPort::ApplyBlockSize(int32_t frames) {
  appliedBlockSize = frames;
  if (whileApplyingBlockSize) whileApplyingBlockSize();
  TCallLog::Get().Add("device:blocksize:" + std::to_string(frames));
}

void TTestPort::SelectConversion() { TCallLog::Get().Add("device:conversion"); }

void TTestPort::ReadFrame(TFrameRecord* frame) {
  for (int32_t c = 0; c < channels; ++c) frame->scratch[0][c] = c < 2 ? inputValue : 0.0f;
}

void TTestPort::WriteFrame(TFrameRecord* frame) {
  if (recordOutput) written.push_back(*frame->channel[0] * frame->scratch[0][0]);
}

// ---- TRecordingMidi -------------------------------------------------------------------

TRecordingMidi::~TRecordingMidi() {
  TRecordingMidi* self = this;
  lastMidi.compare_exchange_strong(self, nullptr);
  TCallLog::Get().Add("midi:destroy");
}

IMidiInOut* TRecordingMidi::Make(IMidiHost* host) {
  TRecordingMidi* port = new TRecordingMidi(host);
  lastMidi.store(port);
  return port;
}

TRecordingMidi* TRecordingMidi::Last() { return lastMidi.load(); }

void TRecordingMidi::SendShort(int32_t port, uint32_t message) {
  std::lock_guard<std::mutex> guard(mutex);
  sent.emplace_back(port, message);
}

std::vector<std::pair<int32_t, uint32_t>> TRecordingMidi::Sent() const {
  std::lock_guard<std::mutex> guard(mutex);
  return sent;
}

// ---- TRecordingClock -------------------------------------------------------------------

void TRecordingClock::SongPosition(int32_t samplePos, int32_t clocks) {
  std::lock_guard<std::mutex> guard(mutex);
  calls.push_back("SongPosition " + std::to_string(samplePos) + " " + std::to_string(clocks));
}

void TRecordingClock::Tick(int32_t samplePos) {
  {
    std::lock_guard<std::mutex> guard(mutex);
    calls.push_back("Tick " + std::to_string(samplePos));
  }
  TMidiClock::Tick(samplePos);
}

void TRecordingClock::Start(int32_t samplePos) {
  std::lock_guard<std::mutex> guard(mutex);
  calls.push_back("Start " + std::to_string(samplePos));
}

void TRecordingClock::SetSampleRate(float rate) {
  {
    std::lock_guard<std::mutex> guard(mutex);
    calls.push_back("SetSampleRate " + std::to_string(static_cast<int>(rate)));
  }
  TMidiClock::SetSampleRate(rate);
}

std::vector<std::string> TRecordingClock::Calls() const {
  std::lock_guard<std::mutex> guard(mutex);
  return calls;
}

// ---- TTestFileSystem --------------------------------------------------------------------

TTestFileSystem::TTestFileSystem(const std::string& programFolder)
    : base(new TPosixFileSystem), previous(SetFileSystem(this)), folder(std::string_view(programFolder)) {}

TTestFileSystem::~TTestFileSystem() {
  SetFileSystem(previous);
  delete base;
}

int64_t TTestFileSystem::Write(TFileHandle handle, const void* buffer, int64_t bytes, int& error) {
  if (failAfterBytes >= 0 && written + bytes > failAfterBytes) {
    error = 28;  // no space left on the device
    return -1;
  }
  written += bytes;
  return base->Write(handle, buffer, bytes, error);
}

// ---- Files ----------------------------------------------------------------------------

TTempFolder::TTempFolder() {
  std::string pattern = std::string(THUDRA_TEST_DIR) + "/host-XXXXXX";
  std::filesystem::create_directories(THUDRA_TEST_DIR);
  char* made = mkdtemp(pattern.data());
  path = made ? made : pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
