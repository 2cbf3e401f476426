// The records and the entry table of the driver-access library VMASIO.dll, shared by
// the library (pc/asio) and the driver port. Standard library only.
//
// The library is an ELF shared object in the program's folder. It exports one entry,
// AsioOrdinals, that answers a table of its ten operations in ordinal order. A
// library without that entry, or whose table is shorter or has a gap, counts as
// missing: then there are no drivers.
//
// Threads: operations 1 to 6, 9 and 10 are called on one thread at a time (the
// program's main thread). Operation 7 may also be called from inside the message
// callback, and operation 8 from inside the buffer-switch callback; the library then
// only marks what it must do and does no waiting. The callbacks arrive on the
// driver's threads: the buffer switch on its audio thread, the sample-rate change and
// the messages on a notification thread of the library's own, never on the caller's
// thread, and never after operation 5 has returned.
#pragma once
#include <cstddef>
#include <cstdint>

namespace Asio {
constexpr const char* libraryName = "VMASIO.dll";
constexpr const char* entryName = "AsioOrdinals";
constexpr int32_t ordinalCount = 10;

constexpr int32_t maxDrivers = 32;
constexpr int32_t driverNameBytes = 80;
constexpr int32_t maxChannels = 128;  // inputs and outputs together
constexpr int32_t channelNameBytes = 32;
constexpr int32_t maxClocks = 8;
constexpr int32_t clockNameBytes = 32;

// Results. Operation 2: 2 (output-ready supported), 1 (not), or one of the
// failures; operation 4: 0 or a failure; operation 9: a rate in Hz or noClock.
constexpr int32_t ok = 0;
constexpr int32_t outputReadySupported = 2;
constexpr int32_t outputReadyNotSupported = 1;
constexpr int32_t inUse = -5;                // operation 2: another program has the driver
constexpr int32_t hardwareNotPresent = -6;   // operation 2: no device (no JACK server)
constexpr int32_t initFailed = -1;           // operation 2: any other failure
constexpr int32_t notPresent = -1000;        // operation 4: the device went away
constexpr int32_t hardwareMalfunction = -999;
constexpr int32_t invalidParameter = -998;
constexpr int32_t invalidMode = -997;
constexpr int32_t noClock = -995;            // operation 9
constexpr int32_t noMemory = -994;

// Sample type codes; each format has a big-endian (low code) and a little-endian code.
enum ESampleType : int32_t {
  int16MSB = 0,
  int24MSB = 1,
  int32MSB = 2,
  float32MSB = 3,
  float64MSB = 4,
  int32MSB16 = 8,
  int32MSB18 = 9,
  int32MSB20 = 10,
  int32MSB24 = 11,
  int16LSB = 16,
  int24LSB = 17,
  int32LSB = 18,
  float32LSB = 19,
  float64LSB = 20,
  int32LSB16 = 24,
  int32LSB18 = 25,
  int32LSB20 = 26,
  int32LSB24 = 27,
};

// Bytes of one sample of that type; 0 for an unknown code.
constexpr int32_t SampleBytes(int32_t type) {
  switch (type & ~16) {
    case int16MSB: return 2;
    case int24MSB: return 3;
    case int32MSB: case float32MSB: case int32MSB16: case int32MSB18: case int32MSB20: case int32MSB24: return 4;
    case float64MSB: return 8;
    default: return 0;
  }
}

// Message selectors of the message callback.
enum ESelector : int32_t {
  selectorSupported = 1,
  engineVersion = 2,
  resetRequest = 3,
  bufferSizeChange = 4,
  resyncRequest = 5,
  latenciesChanged = 6,
  supportsTimeInfo = 7,
  supportsTimeCode = 8,
};
}  // namespace Asio

// One driver channel. 52 bytes; the channel-information array holds maxChannels of
// them, the inputs first, then the outputs.
struct TAsioChannelInfo {
  int32_t channel;     // number within its direction, from 0
  int32_t isInput;     // 1 input, 0 output
  int32_t isActive;    // 1 while a buffer of the channel exists
  int32_t group;
  int32_t sampleType;  // Asio::ESampleType
  char name[Asio::channelNameBytes];  // NUL-terminated
};

// What the library tells of the driver: filled by operation 2, updated by 4 and 9.
// The caller sets recordSize (the library refuses a record of another size) and
// channels (an array of Asio::maxChannels records, or null for none).
struct TAsioDriverInfo {
  int32_t recordSize;
  int32_t minBufferSize;
  int32_t maxBufferSize;
  int32_t preferredBufferSize;
  int32_t granularity;        // step between sizes; -1 powers of two
  int32_t inputCount;
  int32_t outputCount;
  int32_t inputLatency;       // frames
  int32_t outputLatency;      // frames
  int32_t sampleRate;         // Hz
  int32_t clockCount;
  int32_t clockIndex;         // the current clock source
  int32_t clockKnowsRate[Asio::maxClocks];  // 0: an external clock of unknown rate
  char clockName[Asio::maxClocks][Asio::clockNameBytes];
  TAsioChannelInfo* channels;
};

// One buffer pair. The caller fills isInput and channel; operation 4 fills the two
// halves, each of buffer-size samples of the channel's sample type.
struct TAsioBufferInfo {
  int32_t isInput;
  int32_t channel;
  void* buffers[2];
};

// The caller's callbacks, handed to operation 4 and used until operation 5.
struct TAsioCallbacks {
  void (*bufferSwitch)(int32_t half, int32_t processNow);
  void (*sampleRateChanged)(double rate);
  int32_t (*message)(int32_t selector, int32_t value, void* message, double* opt);
  void* (*bufferSwitchTimeInfo)(void* params, int32_t half, int32_t processNow);  // unused, may be null
};

// The value of operation 10: how the driver's panel shows itself. show is called on
// the caller's thread, inside operation 10.
struct TAsioPanelHost {
  void* context;
  void (*show)(void* context, const char* text, const char* caption);
};

// The second argument of operation 2: a NUL-terminated name under which the driver
// shows the program to the sound system (JACK's client name), or 0 for "Thudra".
using TAsioHandle = intptr_t;

using TAsioDriverNames = char[Asio::maxDrivers][Asio::driverNameBytes];

struct TAsioOrdinals {
  int32_t count;  // Asio::ordinalCount
  int32_t (*listDrivers)(TAsioDriverNames* names, int32_t* count);                            // 1
  int32_t (*initDriver)(const char* name, TAsioHandle handle, TAsioDriverInfo* info);         // 2
  int32_t (*exitDriver)();                                                                     // 3
  int32_t (*createBuffers)(TAsioBufferInfo* buffers, int32_t count, int32_t frames,
                           const TAsioCallbacks* callbacks, TAsioDriverInfo* info);            // 4
  int32_t (*disposeBuffers)();                                                                 // 5
  int32_t (*start)();                                                                          // 6
  int32_t (*stop)();                                                                           // 7
  int32_t (*outputReady)();                                                                    // 8
  int32_t (*selectClock)(TAsioDriverInfo* info, int32_t index);                               // 9
  int32_t (*controlPanel)(intptr_t value);                                                     // 10
};

using TAsioEntry = const TAsioOrdinals* (*)();

static_assert(sizeof(TAsioChannelInfo) == 52);
static_assert(sizeof(TAsioChannelInfo) * Asio::maxChannels == 6656);
static_assert(sizeof(void*) != 8 || sizeof(TAsioBufferInfo) == 24);
static_assert(offsetof(TAsioDriverInfo, clockKnowsRate) == 48);
static_assert(offsetof(TAsioDriverInfo, clockName) == 48 + 4 * Asio::maxClocks);
