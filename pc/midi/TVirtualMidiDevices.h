// Virtual MIDI devices: named inputs into which a test (or a file or named pipe
// given by the user) feeds bytes, and outputs that keep what was sent to them (and
// append it to a file when one is given). Either can be made to fail: an input or
// output "in use" refuses to open, an output that refuses turns every send down.
//
// Users describe them in the environment variable THUDRA_VIRTUAL_MIDI, entries
// separated by ";":
//   in:NAME[=PATH][!busy]          an input; with PATH, the raw MIDI bytes read from
//                                  that file or named pipe (as they are written)
//   out:NAME[=PATH][!busy][!refuse] an output; with PATH, what is sent is appended
// for example THUDRA_VIRTUAL_MIDI="in:Pads=/tmp/pads.fifo;out:Monitor=/tmp/out.bin".
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IMidiBackend.h"

class TVirtualMidiDevices : public IMidiBackend {
public:
  static constexpr const char* environmentVariable = "THUDRA_VIRTUAL_MIDI";

  struct TOptions {
    bool inUse = false;
    bool refuseSend = false;
    std::string path;
  };

  TVirtualMidiDevices();
  ~TVirtualMidiDevices() override;
  TVirtualMidiDevices(const TVirtualMidiDevices&) = delete;
  TVirtualMidiDevices& operator=(const TVirtualMidiDevices&) = delete;

  // Adds the devices of a description in the form above; answers how many entries
  // could not be read (they are left out).
  int AddFromDescription(const std::string& description);
  void AddInput(const std::string& name) { AddInput(name, TOptions()); }
  void AddInput(const std::string& name, const TOptions& options);
  void AddOutput(const std::string& name) { AddOutput(name, TOptions()); }
  void AddOutput(const std::string& name, const TOptions& options);
  // The device goes away: an open input delivers nothing more, an open output
  // refuses every send; it is no longer listed.
  void Remove(const std::string& name);
  void SetInUse(const std::string& name, bool inUse);
  void SetRefuseSend(const std::string& name, bool refuse);

  // Delivers bytes through the open input of that name, on the caller's thread;
  // false when no such input is open.
  bool Inject(const std::string& input, const uint8_t* bytes, size_t count);
  bool Inject(const std::string& input, const std::vector<uint8_t>& bytes) {
    return Inject(input, bytes.data(), bytes.size());
  }
  bool IsOpen(const std::string& name);
  // What the output of that name was sent, byte by byte, and how many sends it took.
  std::vector<uint8_t> Captured(const std::string& output);
  size_t SendCount(const std::string& output);
  void ClearCaptured(const std::string& output);

  // IMidiBackend
  std::vector<std::string> ListInputs() override;
  std::vector<std::string> ListOutputs() override;
  std::unique_ptr<IMidiInputDevice> OpenInput(const std::string& name, int occurrence, IMidiInputSink& sink,
                                              EMidiOpenResult& result) override;
  std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string& name, int occurrence,
                                                EMidiOpenResult& result) override;

  struct TDevice;

private:
  std::shared_ptr<TDevice> Find(const std::string& name, bool input, int occurrence = 1);
  std::shared_ptr<TDevice> FindAny(const std::string& name);

  std::mutex lock;
  std::vector<std::shared_ptr<TDevice>> devices;
};
