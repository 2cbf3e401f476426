#include "MidiTestSupport.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>

TBytes VarLen(uint64_t value) {
  TBytes groups{static_cast<uint8_t>(value & 0x7F)};
  while (value >>= 7) groups.insert(groups.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
  return groups;
}

TBytes SmfHeader(int32_t format, int32_t tracks, int32_t division) {
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          static_cast<uint8_t>(format >> 8),
          static_cast<uint8_t>(format),
          static_cast<uint8_t>(tracks >> 8),
          static_cast<uint8_t>(tracks),
          static_cast<uint8_t>(division >> 8),
          static_cast<uint8_t>(division)};
}

TBytes SmfTrack(const TBytes& body) {
  const auto n = static_cast<uint32_t>(body.size());
  TBytes track{'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  track.insert(track.end(), body.begin(), body.end());
  return track;
}

TBytes Join(std::initializer_list<TBytes> parts) {
  TBytes all;
  for (const TBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TBytes At(uint32_t delta, std::initializer_list<uint8_t> bytes) {
  TBytes piece = VarLen(delta);
  piece.insert(piece.end(), bytes.begin(), bytes.end());
  return piece;
}

TBytes Tempo(uint32_t delta, uint32_t microseconds) {
  return At(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microseconds >> 16), static_cast<uint8_t>(microseconds >> 8),
                    static_cast<uint8_t>(microseconds)});
}

void TRecordingHost::OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  std::lock_guard<std::mutex> lock(mutex);
  events.push_back({kind, channel, data1, data2});
}

std::vector<TEventRecord> TRecordingHost::Events() {
  std::lock_guard<std::mutex> lock(mutex);
  return events;
}

size_t TRecordingHost::Count() {
  std::lock_guard<std::mutex> lock(mutex);
  return events.size();
}

void TRecordingHost::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  events.clear();
}

bool TRecordingHost::WaitFor(size_t count, int32_t milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (Count() < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TTempDir::TTempDir() {
  std::random_device random;
  for (;;) {
    path = (std::filesystem::temp_directory_path() / ("thudra-midi-" + std::to_string(random()))).string();
    if (std::filesystem::create_directory(path)) break;
  }
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void WriteFile(const std::string& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TBytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    if (output) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) { return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0; }

#include "foundation/IRegistry.h"

void MidiPortFixture::SetUp() {
  previousBackend = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  TMidiDeviceLayer::TOptions options;
  options.alsa = false;
  options.jack = false;
  layer = std::make_unique<TMidiDeviceLayer>(options);
  previousDevices = SetMidiDevices(layer.get());
}

void MidiPortFixture::TearDown() {
  SetMidiDevices(previousDevices);
  layer.reset();
  SetRegistryBackend(previousBackend);
}

void MidiPortFixture::Store(const char* name, const char* value) { IRegistry::SetString(name, value); }

std::string MidiPortFixture::Stored(const char* name) {
  return std::string(std::string_view(IRegistry::GetString(name, TStr())));
}

#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>

// fork and exec rather than posix_spawn: the child is told to end (SIGTERM, so that
// a JACK server still cleans up) with the test process, so that a test that dies
// leaves no server or client running.
TChildProcess::TChildProcess(const std::vector<std::string>& argv, const std::string& outputPath) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output >= 0) {
      ::dup2(output, 1);
      ::dup2(output, 2);
      ::close(output);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  pid = child;
}

void TChildProcess::Kill() {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  int status;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

bool TChildProcess::Exited() {
  if (pid <= 0) return true;
  int status;
  if (::waitpid(pid, &status, WNOHANG) != pid) return false;
  pid = -1;
  return true;
}

void TChildProcess::Stop(int32_t waitMilliseconds) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < waitMilliseconds / 10; ++i) {
    if (Exited()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  int status;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

TJackServer::TJackServer(int period) : periodFrames(period) {
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  if (!TakeSlot()) {
    log = "every JACK test server slot is taken\n";
    return;
  }
  for (int attempt = 1; attempt <= 2 && !running; ++attempt) running = StartOnce(attempt);
  if (running) ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
}

bool TJackServer::TakeSlot() {
  constexpr int slots = 6;
  for (int slot = 1; slot <= slots; ++slot) {
    const std::string path = "/tmp/thudra-jack-test-" + std::to_string(slot) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      slotLock = fd;
      name = "thudra-test-" + std::to_string(slot);
      return true;
    }
    ::close(fd);
  }
  return false;
}

// Only with no JACK server running at all (a killed one may linger unreaped) are the
// registry's entries all stale; then it may go, and the next server makes a new one.
static bool ClearStaleRegistry() {
  const char* liveServer =
      "ps -eo stat=,comm= | awk '$1 !~ /^Z/ && ($2 == \"jackd\" || $2 == \"jackdbus\")' | grep -q .";
  if (RunCommand(liveServer) == 0) return false;
  return ::unlink("/dev/shm/jack-shm-registry") == 0;
}

bool TJackServer::StartOnce(int attempt) {
  const std::string logPath = "/tmp/" + name + ".log";
  server = std::make_unique<TChildProcess>(
      std::vector<std::string>{"jackd", "--no-realtime", "-t", "2000", "-n", name, "-d", "dummy", "-r", "48000", "-p",
                               std::to_string(periodFrames)},
      logPath);
  bool up = false;
  bool ended = !server->Started();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!up && !ended && std::chrono::steady_clock::now() < until) {
    up = RunCommand("jack_lsp -s '" + name + "' >/dev/null 2>&1") == 0;
    ended = !up && server->Exited();
    if (!up && !ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string printed;
  RunCommand("cat '" + logPath + "' 2>&1", &printed);
  ::unlink(logPath.c_str());
  log += "attempt " + std::to_string(attempt) + (ended ? " (the server ended)" : up ? "" : " (timed out)") + ":\n" +
         printed;
  if (!up) {
    server.reset();
    if (printed.find("Too many servers") != std::string::npos)
      log += ClearStaleRegistry() ? "(the stale server registry was removed)\n"
                                  : "(other JACK servers are running; the registry was left alone)\n";
  }
  return up;
}

void TJackServer::Kill() {
  if (server) server->Kill();
  server.reset();
  running = false;
}

TJackServer::~TJackServer() {
  ::unsetenv("JACK_DEFAULT_SERVER");
  // A server that ends on SIGTERM leaves its registry entry free.
  if (server) server->Stop(10000);
  server.reset();
  if (slotLock >= 0) ::close(slotLock);
}

bool TJackServer::WaitForPort(const std::string& port, int32_t milliseconds) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    std::string ports;
    RunCommand("jack_lsp -s '" + name + "' 2>/dev/null", &ports);
    if (ports.find(port + "\n") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}
