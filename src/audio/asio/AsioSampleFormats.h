// The driver port's sample formats: a block of one driver buffer in its sample type
// to and from 32-bit float. Reading scales integers by 2^-(bits-1) (the container
// types by their named width); writing multiplies the gain, clips to -1.0 .. 1.0 and
// truncates v × (2^(bits-1) - 1). The big-endian and little-endian codes of a type are
// read and written alike, in the machine's byte order.
//
// Threads: the audio thread; nothing allocates, locks or waits.
#pragma once
#include <cstdint>

namespace AsioSamples {
// Whether the port knows the type.
bool IsKnown(int32_t type);

// count samples of the buffer, from sample first, into target as floats. min and
// max follow the smallest and largest value read.
void Read(int32_t type, const void* buffer, int32_t first, float* target, int32_t count, float& min, float& max);

// count floats from source, each × gain, into the buffer from sample first. min and
// max follow the values before clipping.
void Write(int32_t type, void* buffer, int32_t first, const float* source, int32_t count, float gain, float& min,
           float& max);
}  // namespace AsioSamples
