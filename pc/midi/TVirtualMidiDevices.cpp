#include "TVirtualMidiDevices.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "MidiBytes.h"

struct TVirtualMidiDevices::TDevice {
  std::string name;
  bool input = true;
  TOptions options;
  bool gone = false;
  // Held while bytes are delivered or sent, so that closing waits for a delivery.
  std::mutex lock;
  IMidiInputSink* sink = nullptr;
  bool open = false;
  std::vector<uint8_t> captured;
  size_t sends = 0;
  int file = -1;
};

namespace {

using TDevice = TVirtualMidiDevices::TDevice;

std::string Trimmed(const std::string& text) {
  const size_t from = text.find_first_not_of(" \t");
  if (from == std::string::npos) return std::string();
  return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

// Reads the file or named pipe of an input and delivers what arrives.
class TFileFeed {
public:
  explicit TFileFeed(std::shared_ptr<TDevice> feeding) : device(std::move(feeding)), thread([this] { Run(); }) {}
  ~TFileFeed() {
    stop.store(true);
    thread.join();
  }
  TFileFeed(const TFileFeed&) = delete;
  TFileFeed& operator=(const TFileFeed&) = delete;

private:
  void Run() {
    int file = -1;
    uint8_t bytes[1024];
    while (!stop.load()) {
      if (file < 0) file = ::open(device->options.path.c_str(), O_RDONLY | O_NONBLOCK);
      if (file < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      pollfd ready{file, POLLIN, 0};
      if (::poll(&ready, 1, 50) <= 0) continue;
      const ssize_t got = ::read(file, bytes, sizeof bytes);
      if (got > 0) {
        std::lock_guard<std::mutex> guard(device->lock);
        if (device->sink) device->sink->OnMidiBytes(bytes, static_cast<size_t>(got), true);
      } else {
        // The end of a file (more may be appended) or a pipe without writer.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    if (file >= 0) ::close(file);
  }

  std::shared_ptr<TDevice> device;
  std::atomic<bool> stop{false};
  std::thread thread;
};

class TVirtualInput : public IMidiInputDevice {
public:
  explicit TVirtualInput(std::shared_ptr<TDevice> opened) : device(std::move(opened)) {
    if (!device->options.path.empty()) feed = std::make_unique<TFileFeed>(device);
  }
  ~TVirtualInput() override {
    feed.reset();
    std::lock_guard<std::mutex> guard(device->lock);
    device->sink = nullptr;
    device->open = false;
  }
  TVirtualInput(const TVirtualInput&) = delete;
  TVirtualInput& operator=(const TVirtualInput&) = delete;

private:
  std::shared_ptr<TDevice> device;
  std::unique_ptr<TFileFeed> feed;
};

class TVirtualOutput : public IMidiOutputDevice {
public:
  explicit TVirtualOutput(std::shared_ptr<TDevice> opened) : device(std::move(opened)) {}
  ~TVirtualOutput() override {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->file >= 0) ::close(device->file);
    device->file = -1;
    device->open = false;
  }
  TVirtualOutput(const TVirtualOutput&) = delete;
  TVirtualOutput& operator=(const TVirtualOutput&) = delete;

  bool SendShort(uint32_t message) override {
    uint8_t bytes[3];
    return Send(bytes, ShortMessageBytes(message, bytes));
  }
  bool SendLong(const uint8_t* bytes, size_t count) override { return Send(bytes, count); }

private:
  bool Send(const uint8_t* bytes, size_t count) {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->gone || device->options.refuseSend) return false;
    device->captured.insert(device->captured.end(), bytes, bytes + count);
    ++device->sends;
    if (device->file >= 0 && ::write(device->file, bytes, count) != static_cast<ssize_t>(count)) return false;
    return true;
  }

  std::shared_ptr<TDevice> device;
};

}  // namespace

TVirtualMidiDevices::TVirtualMidiDevices() = default;
TVirtualMidiDevices::~TVirtualMidiDevices() = default;

int TVirtualMidiDevices::AddFromDescription(const std::string& description) {
  int unreadable = 0;
  size_t from = 0;
  while (from <= description.size()) {
    size_t end = description.find(';', from);
    if (end == std::string::npos) end = description.size();
    const std::string entry = Trimmed(description.substr(from, end - from));
    from = end + 1;
    if (entry.empty()) continue;
    const size_t colon = entry.find(':');
    const std::string kind = colon == std::string::npos ? std::string() : Trimmed(entry.substr(0, colon));
    std::string rest = colon == std::string::npos ? std::string() : entry.substr(colon + 1);
    TOptions options;
    bool readable = kind == "in" || kind == "out";
    for (size_t bang = rest.rfind('!'); bang != std::string::npos; bang = rest.rfind('!')) {
      const std::string flag = Trimmed(rest.substr(bang + 1));
      if (flag == "busy") options.inUse = true;
      else if (flag == "refuse" && kind == "out") options.refuseSend = true;
      else readable = false;
      rest.erase(bang);
    }
    const size_t equals = rest.find('=');
    if (equals != std::string::npos) {
      options.path = Trimmed(rest.substr(equals + 1));
      rest.erase(equals);
    }
    const std::string name = Trimmed(rest);
    if (!readable || name.empty()) {
      ++unreadable;
      continue;
    }
    if (kind == "in") AddInput(name, options);
    else AddOutput(name, options);
  }
  return unreadable;
}

void TVirtualMidiDevices::AddInput(const std::string& name, const TOptions& options) {
  auto device = std::make_shared<TDevice>();
  device->name = name;
  device->input = true;
  device->options = options;
  std::lock_guard<std::mutex> guard(lock);
  devices.push_back(device);
}

void TVirtualMidiDevices::AddOutput(const std::string& name, const TOptions& options) {
  auto device = std::make_shared<TDevice>();
  device->name = name;
  device->input = false;
  device->options = options;
  std::lock_guard<std::mutex> guard(lock);
  devices.push_back(device);
}

std::shared_ptr<TDevice> TVirtualMidiDevices::Find(const std::string& name, bool input, int occurrence) {
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& device : devices)
    if (!device->gone && device->input == input && device->name == name && --occurrence == 0) return device;
  return nullptr;
}

std::shared_ptr<TDevice> TVirtualMidiDevices::FindAny(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& device : devices)
    if (!device->gone && device->name == name) return device;
  return nullptr;
}

void TVirtualMidiDevices::Remove(const std::string& name) {
  std::vector<std::shared_ptr<TDevice>> removed;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& device : devices)
      if (device->name == name && !device->gone) removed.push_back(device);
  }
  for (const auto& device : removed) {
    std::lock_guard<std::mutex> guard(device->lock);
    device->gone = true;
    device->sink = nullptr;
  }
}

void TVirtualMidiDevices::SetInUse(const std::string& name, bool inUse) {
  if (auto device = FindAny(name)) {
    std::lock_guard<std::mutex> guard(device->lock);
    device->options.inUse = inUse;
  }
}

void TVirtualMidiDevices::SetRefuseSend(const std::string& name, bool refuse) {
  if (auto device = Find(name, false)) {
    std::lock_guard<std::mutex> guard(device->lock);
    device->options.refuseSend = refuse;
  }
}

bool TVirtualMidiDevices::Inject(const std::string& input, const uint8_t* bytes, size_t count) {
  auto device = Find(input, true);
  if (!device) return false;
  std::lock_guard<std::mutex> guard(device->lock);
  if (!device->sink) return false;
  device->sink->OnMidiBytes(bytes, count, true);
  return true;
}

bool TVirtualMidiDevices::IsOpen(const std::string& name) {
  auto device = FindAny(name);
  if (!device) return false;
  std::lock_guard<std::mutex> guard(device->lock);
  return device->open;
}

std::vector<uint8_t> TVirtualMidiDevices::Captured(const std::string& output) {
  auto device = Find(output, false);
  if (!device) return {};
  std::lock_guard<std::mutex> guard(device->lock);
  return device->captured;
}

size_t TVirtualMidiDevices::SendCount(const std::string& output) {
  auto device = Find(output, false);
  if (!device) return 0;
  std::lock_guard<std::mutex> guard(device->lock);
  return device->sends;
}

void TVirtualMidiDevices::ClearCaptured(const std::string& output) {
  if (auto device = Find(output, false)) {
    std::lock_guard<std::mutex> guard(device->lock);
    device->captured.clear();
    device->sends = 0;
  }
}

std::vector<std::string> TVirtualMidiDevices::ListInputs() {
  std::vector<std::string> names;
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& device : devices)
    if (!device->gone && device->input) names.push_back(device->name);
  return names;
}

std::vector<std::string> TVirtualMidiDevices::ListOutputs() {
  std::vector<std::string> names;
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& device : devices)
    if (!device->gone && !device->input) names.push_back(device->name);
  return names;
}

std::unique_ptr<IMidiInputDevice> TVirtualMidiDevices::OpenInput(const std::string& name, int occurrence,
                                                                 IMidiInputSink& sink, EMidiOpenResult& result) {
  auto device = Find(name, true, occurrence);
  if (!device) {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->options.inUse || device->open) {
      result = EMidiOpenResult::InUse;
      return nullptr;
    }
    device->open = true;
    device->sink = &sink;
  }
  result = EMidiOpenResult::Opened;
  return std::make_unique<TVirtualInput>(device);
}

std::unique_ptr<IMidiOutputDevice> TVirtualMidiDevices::OpenOutput(const std::string& name, int occurrence,
                                                                   EMidiOpenResult& result) {
  auto device = Find(name, false, occurrence);
  if (!device) {
    result = EMidiOpenResult::Missing;
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(device->lock);
  if (device->options.inUse || device->open) {
    result = EMidiOpenResult::InUse;
    return nullptr;
  }
  if (!device->options.path.empty()) {
    device->file = ::open(device->options.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK, 0644);
    if (device->file < 0) {
      result = EMidiOpenResult::Failed;
      return nullptr;
    }
  }
  device->open = true;
  result = EMidiOpenResult::Opened;
  return std::make_unique<TVirtualOutput>(device);
}
