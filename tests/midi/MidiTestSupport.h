// Helpers shared by the MIDI tests: Standard MIDI File bytes built by hand, a host
// that records what the player or a port delivers, temporary files, and external
// programs run by the tests.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/Base.h"
#include "midi/TMFPlayer.h"

using TBytes = std::vector<uint8_t>;
using TEventRecord = std::array<int32_t, 4>;  // kind, channel, data1, data2

// Variable-length number as a file stores it.
TBytes VarLen(uint64_t value);
// "MThd" with its six bytes.
TBytes SmfHeader(int32_t format, int32_t tracks, int32_t division);
// "MTrk", the length, the body.
TBytes SmfTrack(const TBytes& body);
TBytes Join(std::initializer_list<TBytes> parts);
// A body piece: delta, then the bytes.
TBytes At(uint32_t delta, std::initializer_list<uint8_t> bytes);
inline TBytes EndOfTrack(uint32_t delta = 0) { return At(delta, {0xFF, 0x2F, 0x00}); }
TBytes Tempo(uint32_t delta, uint32_t microseconds);

// The host of the player (and of MIDI ports): records every event; its playback
// switch and its readiness are the test's to set.
class TRecordingHost : public TBase, public virtual IMFPlayerHost {
public:
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override;
  int32_t IsPlaybackOn() override { return playback.load(); }
  int32_t IsHostReady() override { return ready.load(); }
  void SetPlayback(int32_t on) override {
    playback.store(on);
    ++playbackSwitches;
  }

  std::vector<TEventRecord> Events();
  size_t Count();
  void Clear();
  // Waits until at least count events arrived; false after the time-out.
  bool WaitFor(size_t count, int32_t milliseconds = 5000);

  std::atomic<int32_t> playback{1};
  std::atomic<int32_t> ready{1};
  std::atomic<int32_t> playbackSwitches{0};

private:
  std::mutex mutex;
  std::vector<TEventRecord> events;
};

// A folder of its own below the system's temporary folder, removed at the end.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path; }
  std::string File(const std::string& name) const { return path + "/" + name; }

private:
  std::string path;
};

void WriteFile(const std::string& path, const TBytes& bytes);
TBytes ReadFile(const std::string& path);
// Runs a shell command; answers its exit status and (when wanted) its output.
int RunCommand(const std::string& command, std::string* output = nullptr);
bool HaveProgram(const std::string& name);

#include <gtest/gtest.h>

#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "pc/midi/TMidiDeviceLayer.h"

// Settings in memory, message boxes that the test reads, and a device layer with
// virtual devices only (no ALSA, no JACK).
class MidiPortFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  TVirtualMidiDevices& Virtual() { return layer->Virtual(); }
  static void Store(const char* name, const char* value);
  static std::string Stored(const char* name);

  TScriptedPresenter messages;
  TMemoryRegistry registry;
  TRecordingHost host;
  std::unique_ptr<TMidiDeviceLayer> layer;

private:
  IRegistryBackend* previousBackend = nullptr;
  IMidiDevices* previousDevices = nullptr;
};

// A program started by a test, ended (SIGTERM, then SIGKILL) when the object goes.
class TChildProcess {
public:
  // argv[0] is looked up in PATH; stdout and stderr go to outputPath (or /dev/null).
  TChildProcess(const std::vector<std::string>& argv, const std::string& outputPath = "/dev/null");
  ~TChildProcess() { Stop(); }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;
  bool Started() const { return pid > 0; }
  // True once the program has ended (it is reaped then).
  bool Exited();
  // SIGTERM, then SIGKILL after waitMilliseconds.
  void Stop(int32_t waitMilliseconds = 3000);
  void Kill();

private:
  int pid = -1;
};

// A JACK server of the test's own (dummy backend, a unique name); JACK clients of
// this process find it through JACK_DEFAULT_SERVER while it lives. Its period is
// long (1024 frames, 21 ms), so that a client slowed down by a sanitizer or a loaded
// machine does not miss a cycle, and the MIDI events in it. No JACK client of the
// test process starts a server of its own.
//
// JACK keeps a registry of at most eight servers in /dev/shm, and a server that was
// killed keeps its entry until a server of the same name starts. So the names come
// from a few slots, each held with a lock file while its server runs, and reused.
class TJackServer {
public:
  // periodFrames: JACK's buffer size (the audio tests' latency measurement uses a short one).
  explicit TJackServer(int periodFrames = 1024);
  ~TJackServer();
  TJackServer(const TJackServer&) = delete;
  TJackServer& operator=(const TJackServer&) = delete;
  bool Running() const { return running; }
  const std::string& Name() const { return name; }
  // What the server printed, for the message of a test whose server did not start.
  const std::string& Log() const { return log; }
  // Waits until the JACK port exists (jack_lsp); false after the time-out.
  bool WaitForPort(const std::string& port, int32_t milliseconds = 5000) const;
  // The server dies at once (SIGKILL), as a crashed server would; its slot is reused.
  void Kill();

private:
  bool StartOnce(int attempt);
  bool TakeSlot();

  int slotLock = -1;
  std::string name;
  std::string log;
  int periodFrames = 1024;
  std::unique_ptr<TChildProcess> server;
  bool running = false;
};
