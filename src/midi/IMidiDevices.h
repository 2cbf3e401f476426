// The MIDI devices of the system as the multimedia MIDI port sees them: inputs and
// outputs by stable name, inputs that deliver bytes on a thread of the device's own,
// outputs that send short and long messages. The platform side installs its device
// layer; without one there are no devices.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Receives what an open input delivers: whole messages or pieces of a system-
// exclusive message, in the order they arrived. Called on the device's thread, one
// thread per open input. mayWait says whether that thread may wait a moment when the
// receiver is behind (a thread of the system's real-time audio server may not).
class IMidiInputSink {
public:
  virtual ~IMidiInputSink() = default;
  virtual void OnMidiBytes(const uint8_t* bytes, size_t count, bool mayWait) = 0;
};

// An open input; destroying it closes the device, after which the sink is not
// called again.
class IMidiInputDevice {
public:
  virtual ~IMidiInputDevice() = default;
};

// An open output; destroying it closes the device.
class IMidiOutputDevice {
public:
  virtual ~IMidiOutputDevice() = default;
  // The packed short message (status in bits 0-7); false when the system refused it.
  virtual bool SendShort(uint32_t message) = 0;
  virtual bool SendLong(const uint8_t* bytes, size_t count) = 0;
};

enum class EMidiOpenResult { Opened, InUse, Missing, Failed };

class IMidiDevices {
public:
  virtual ~IMidiDevices() = default;
  // The names of the devices present now, unique within each list and the same
  // from one run to the next for the same device.
  virtual std::vector<std::string> ListInputs() = 0;
  virtual std::vector<std::string> ListOutputs() = 0;
  // Null and the reason when the device cannot be opened.
  virtual std::unique_ptr<IMidiInputDevice> OpenInput(const std::string& name, IMidiInputSink& sink,
                                                      EMidiOpenResult& result) = 0;
  virtual std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string& name, EMidiOpenResult& result) = 0;
};

// Installs the device layer used by ports made from now on (null: no devices).
// Answers the previous one. The caller keeps ownership.
IMidiDevices* SetMidiDevices(IMidiDevices* devices);
IMidiDevices& GetMidiDevices();
