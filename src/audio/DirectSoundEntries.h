// The nine entry points of the DirectSound helper library (orbds.dll), looked up by
// name when the library is loaded, and the record that DsLock answers.
//
// Threading: the library serves one open device; DsOpen, DsClose, DsStart and DsStop
// run on the port's main thread, DsLock, DsUnLock and DsGetNumSamplesAhead on its
// timer thread (and on the main thread while the timer is stopped), never two at once.
#pragma once
#include <cstdint>

// The region of the library's ring buffer that DsLock hands out: one piece, or two
// when it wraps at the ring's end (second is 0 when it does not). Lengths in frames.
// The four fields are integers of pointer size, so that they hold the pointers.
struct TDsRegions {
  intptr_t first = 0;
  intptr_t firstFrames = 0;
  intptr_t second = 0;
  intptr_t secondFrames = 0;
};

extern "C" {
using TDsGetNumDevices = int32_t (*)();
// The device's name; an empty name means the device cannot be used.
using TDsGetDeviceName = const char* (*)(int32_t index);
// Non-zero on success.
using TDsOpen = int32_t (*)(int32_t index, void* window);
using TDsClose = void (*)();
using TDsStart = void (*)();
using TDsStop = void (*)();
using TDsLock = TDsRegions* (*)(int32_t frames);
using TDsUnLock = void (*)();
// Frames written ahead of the play position.
using TDsGetNumSamplesAhead = int32_t (*)();
}
