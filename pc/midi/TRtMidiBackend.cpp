#include "TRtMidiBackend.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "MidiBytes.h"
#include "MidiDeviceNames.h"

namespace {

void Silent(const char*) {}
void Ignore(RtMidiError::Type, const std::string&, void*) {}

// The JACK library reports a missing server on the error stream; the program
// reports nothing of the kind.
void SilenceJack() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&Silent);
    jack_set_info_function(&Silent);
  });
}

RtMidi::Api ApiOf(TRtMidiBackend::EApi api) {
  return api == TRtMidiBackend::EApi::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

// The index of the occurrence-th port of that stable name, or -1.
template <class TRtMidi, class TStable>
int FindPort(TRtMidi& midi, const std::string& name, int occurrence, TStable stable) {
  const unsigned count = midi.getPortCount();
  for (unsigned i = 0; i < count; ++i) {
    const std::string system = midi.getPortName(i);
    if (IsOwnPort(system) || stable(system) != name) continue;
    if (--occurrence == 0) return static_cast<int>(i);
  }
  return -1;
}

class TRtMidiInput : public IMidiInputDevice {
public:
  TRtMidiInput(std::unique_ptr<RtMidiIn> opened, IMidiInputSink& target, bool threadMayWait)
      : input(std::move(opened)) {
    // The device's thread may run before this object exists; what it reads is
    // handed over through these.
    mayWait.store(threadMayWait, std::memory_order_relaxed);
    sink.store(&target, std::memory_order_release);
  }
  ~TRtMidiInput() override {
    try {
      input->closePort();
    } catch (const RtMidiError&) {
    }
    input.reset();  // ends the client and its thread: no callback after this
  }
  TRtMidiInput(const TRtMidiInput&) = delete;
  TRtMidiInput& operator=(const TRtMidiInput&) = delete;

  void Listen() { input->setCallback(&TRtMidiInput::Arrived, this); }

private:
  static void Arrived(double, std::vector<unsigned char>* message, void* context) {
    auto* self = static_cast<TRtMidiInput*>(context);
    IMidiInputSink* target = self->sink.load(std::memory_order_acquire);
    if (target && message && !message->empty())
      target->OnMidiBytes(message->data(), message->size(), self->mayWait.load(std::memory_order_relaxed));
  }

  std::unique_ptr<RtMidiIn> input;
  std::atomic<IMidiInputSink*> sink{nullptr};
  std::atomic<bool> mayWait{false};
};

class TRtMidiOutput : public IMidiOutputDevice {
public:
  explicit TRtMidiOutput(std::unique_ptr<RtMidiOut> opened) : output(std::move(opened)) {
    output->setErrorCallback(&TRtMidiOutput::Refused, this);
  }
  ~TRtMidiOutput() override {
    try {
      output->closePort();
    } catch (const RtMidiError&) {
    }
  }
  TRtMidiOutput(const TRtMidiOutput&) = delete;
  TRtMidiOutput& operator=(const TRtMidiOutput&) = delete;

  bool SendShort(uint32_t message) override {
    uint8_t bytes[3];
    const size_t count = ShortMessageBytes(message, bytes);
    return count > 0 && SendLong(bytes, count);
  }
  bool SendLong(const uint8_t* bytes, size_t count) override {
    refused = false;
    try {
      output->sendMessage(bytes, count);
    } catch (const RtMidiError&) {
      return false;
    }
    return !refused;
  }

private:
  static void Refused(RtMidiError::Type, const std::string&, void* context) {
    static_cast<TRtMidiOutput*>(context)->refused = true;
  }

  std::unique_ptr<RtMidiOut> output;
  bool refused = false;
};

}  // namespace

bool TRtMidiBackend::ServerPresent(EApi api) {
  if (api == EApi::Alsa) return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
  SilenceJack();
  jack_status_t status;
  jack_client_t* client = jack_client_open(ownClientName, JackNoStartServer, &status);
  if (!client) return false;
  jack_client_close(client);
  return true;
}

std::string TRtMidiBackend::StableName(const std::string& systemName) const {
  return api == EApi::Alsa ? WithoutClientAndPortNumbers(systemName) : systemName;
}

template <class TRtMidi>
static std::vector<std::string> ListPorts(TRtMidiBackend::EApi api, const TRtMidiBackend& backend,
                                          std::string (TRtMidiBackend::*stable)(const std::string&) const) {
  std::vector<std::string> names;
  if (!TRtMidiBackend::ServerPresent(api)) return names;
  try {
    TRtMidi midi(ApiOf(api), ownClientName);
    midi.setErrorCallback(&Ignore, nullptr);
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      const std::string system = midi.getPortName(i);
      if (!system.empty() && !IsOwnPort(system)) names.push_back((backend.*stable)(system));
    }
  } catch (const RtMidiError&) {
    names.clear();
  }
  return names;
}

std::vector<std::string> TRtMidiBackend::ListInputs() {
  return ListPorts<RtMidiIn>(api, *this, &TRtMidiBackend::StableName);
}

std::vector<std::string> TRtMidiBackend::ListOutputs() {
  return ListPorts<RtMidiOut>(api, *this, &TRtMidiBackend::StableName);
}

std::unique_ptr<IMidiInputDevice> TRtMidiBackend::OpenInput(const std::string& name, int occurrence,
                                                            IMidiInputSink& sink, EMidiOpenResult& result) {
  result = EMidiOpenResult::Missing;
  if (!ServerPresent(api)) return nullptr;
  try {
    auto input = std::make_unique<RtMidiIn>(ApiOf(api), ownClientName);
    input->setErrorCallback(&Ignore, nullptr);
    const int port = FindPort(*input, name, occurrence, [this](const std::string& s) { return StableName(s); });
    if (port < 0) return nullptr;
    input->ignoreTypes(false, false, false);
    result = EMidiOpenResult::Failed;
    RtMidiIn* raw = input.get();
    auto device = std::make_unique<TRtMidiInput>(std::move(input), sink, api == EApi::Alsa);
    device->Listen();
    raw->openPort(static_cast<unsigned>(port), "in");
    if (!raw->isPortOpen()) return nullptr;
    result = EMidiOpenResult::Opened;
    return device;
  } catch (const RtMidiError&) {
    return nullptr;
  }
}

std::unique_ptr<IMidiOutputDevice> TRtMidiBackend::OpenOutput(const std::string& name, int occurrence,
                                                              EMidiOpenResult& result) {
  result = EMidiOpenResult::Missing;
  if (!ServerPresent(api)) return nullptr;
  try {
    auto output = std::make_unique<RtMidiOut>(ApiOf(api), ownClientName);
    output->setErrorCallback(&Ignore, nullptr);
    const int port = FindPort(*output, name, occurrence, [this](const std::string& s) { return StableName(s); });
    if (port < 0) return nullptr;
    result = EMidiOpenResult::Failed;
    output->openPort(static_cast<unsigned>(port), "out");
    if (!output->isPortOpen()) return nullptr;
    result = EMidiOpenResult::Opened;
    return std::make_unique<TRtMidiOutput>(std::move(output));
  } catch (const RtMidiError&) {
    return nullptr;
  }
}
