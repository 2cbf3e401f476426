#include "SoundcardTestSupport.h"

#include <cstring>

#include "foundation/IRegistry.h"

TTestEnsemble::TTestEnsemble() { rateFactor.Set(1.0f, nullptr); }

// ---- The fake DirectSound library -------------------------------------------------------

TFakeDirectSound& TFakeDirectSound::Get() {
  static TFakeDirectSound library;
  return library;
}

void TFakeDirectSound::Reset(int32_t frames, std::vector<std::string> deviceNames) {
  *this = TFakeDirectSound();
  ringFrames = frames;
  ring.assign(size_t(frames) * 2, 0);
  names = std::move(deviceNames);
}

void TFakeDirectSound::Step(int64_t now) {
  if (!started) return;
  if (startedAt < 0) startedAt = now - 1;
  played = (now - startedAt) * 44100 / 1000;
  // A ring that ran dry plays on round: the writer is then far ahead.
  if (played > written) written += (played - written + ringFrames - 1) / ringFrames * ringFrames;
}

namespace {
TFakeDirectSound& Ds() { return TFakeDirectSound::Get(); }
int32_t DsGetNumDevices() { return static_cast<int32_t>(Ds().names.size()); }
const char* DsGetDeviceName(int32_t index) {
  return index >= 0 && size_t(index) < Ds().names.size() ? Ds().names[size_t(index)].c_str() : "";
}
int32_t DsOpen(int32_t index, void*) {
  Ds().open = index >= 0 && size_t(index) < Ds().names.size();
  return Ds().open ? 1 : 0;
}
void DsClose() { Ds().open = Ds().started = false; }
void DsStart() { Ds().started = true; }
void DsStop() { Ds().started = false; }
TDsRegions* DsLock(int32_t frames) {
  TFakeDirectSound& ds = Ds();
  ds.regions = {};
  const int64_t room = ds.ringFrames - (ds.written - ds.played);
  const int64_t wanted = std::min<int64_t>(frames, std::max<int64_t>(room, 0));
  const int64_t at = ds.written % ds.ringFrames;
  const int64_t first = std::min<int64_t>(wanted, ds.ringFrames - at);
  ds.regions.first = reinterpret_cast<intptr_t>(ds.ring.data() + at * 2);
  ds.regions.firstFrames = first;
  if (first < wanted) {
    ds.regions.second = reinterpret_cast<intptr_t>(ds.ring.data());
    ds.regions.secondFrames = wanted - first;
    ++ds.wraps;
  }
  ++ds.locks;
  return &ds.regions;
}
void DsUnLock() { Ds().written += Ds().regions.firstFrames + Ds().regions.secondFrames; }
int32_t DsGetNumSamplesAhead() {
  const int64_t ahead = Ds().written - Ds().played;
  return static_cast<int32_t>(((ahead % Ds().ringFrames) + Ds().ringFrames) % Ds().ringFrames);
}

char fakeLibrary;
}  // namespace

void* TFakeLibraryLoader::Load(const TStr& path) {
  const std::string text{std::string_view(path)};
  if (text.size() < 9 || text.compare(text.size() - 9, 9, "orbds.dll") != 0 || missing) return nullptr;
  return &fakeLibrary;
}

void* TFakeLibraryLoader::FindEntry(void* library, const char* name) {
  if (library != &fakeLibrary || missingEntry == name) return nullptr;
  struct TEntry {
    const char* name;
    void* entry;
  };
  const TEntry entries[] = {
      {"DsGetNumDevices", reinterpret_cast<void*>(&DsGetNumDevices)},
      {"DsGetDeviceName", reinterpret_cast<void*>(&DsGetDeviceName)},
      {"DsOpen", reinterpret_cast<void*>(&DsOpen)},
      {"DsClose", reinterpret_cast<void*>(&DsClose)},
      {"DsStart", reinterpret_cast<void*>(&DsStart)},
      {"DsStop", reinterpret_cast<void*>(&DsStop)},
      {"DsLock", reinterpret_cast<void*>(&DsLock)},
      {"DsUnLock", reinterpret_cast<void*>(&DsUnLock)},
      {"DsGetNumSamplesAhead", reinterpret_cast<void*>(&DsGetNumSamplesAhead)},
  };
  for (const TEntry& entry : entries)
    if (std::strcmp(entry.name, name) == 0) return entry.entry;
  return nullptr;
}

// ---- The fixture --------------------------------------------------------------------

void SoundcardFixture::SetUp() {
  previousBackend = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  layer = std::make_unique<TWaveDeviceLayer>(TWaveDeviceLayer::TOptions{false});
  layer->SetSimulatedSoundLibrary(false);
  previousDevices = SetWaveDevices(layer.get());
  previousTimer = SetMediaTimer(&layer->Clock());
  previousLoader = SetLibraryLoader(&loader);
  TFakeDirectSound::Get().Reset(4096, {});
  Clock().SetSettle([this] {
    TFakeDirectSound::Get().Step(Clock().Now());
    if (port) port->WaitUntilCounted();
  });
}

void SoundcardFixture::TearDown() {
  DestroyPort();
  Clock().SetSettle(nullptr);
  SetLibraryLoader(previousLoader);
  SetMediaTimer(previousTimer);
  SetWaveDevices(previousDevices);
  layer.reset();
  SetRegistryBackend(previousBackend);
}

TMultiMedia& SoundcardFixture::MakePort() {
  DestroyPort();
  port = std::make_unique<TMultiMedia>(&ensemble);
  return *port;
}

void SoundcardFixture::DestroyPort() {
  if (!port) return;
  if (port->IsRunning()) port->Stop();
  port.reset();
}

std::vector<std::string> SoundcardFixture::Messages() {
  std::vector<std::string> texts;
  for (size_t i = messagesSeen; i < presenter.shown.size(); ++i)
    texts.emplace_back(std::string_view(presenter.shown[i].text));
  messagesSeen = presenter.shown.size();
  return texts;
}

void SoundcardFixture::FillOutputs(float left, float right) {
  std::fill(port->GetOutputBuffer(0), port->GetOutputBuffer(0) + TAudioInOut::bufferFrames, left);
  std::fill(port->GetOutputBuffer(1), port->GetOutputBuffer(1) + TAudioInOut::bufferFrames, right);
}
