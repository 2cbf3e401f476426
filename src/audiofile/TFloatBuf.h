// Audio as one array of 32-bit floats per channel. Owned arrays come from one
// process-wide growable heap; a buffer can also be laid over arrays someone else
// owns, and single channels can be swapped for outside arrays for a while.
#pragma once
#include <cstdint>

#include "TAudioBuf.h"
#include "foundation/Base.h"
#include "foundation/IHeap.h"

class TFloatBuf : public TBase {
public:
  static constexpr int32_t maxSubstituted = 16;

  // Owning: a channel table of channelCapacity entries (failure: "Out of Memory !!!")
  // and zeroed arrays of frames floats for the channels in use.
  TFloatBuf(int32_t channels, int32_t channelCapacity, int32_t sampleRate, int32_t frames);
  // Laid over channelArray (channelCapacity entries, each array of externalCapacity
  // floats); nothing is allocated.
  TFloatBuf(int32_t channels, int32_t channelCapacity, int32_t sampleRate, int32_t frames, int32_t externalCapacity,
            float** channelArray);
  ~TFloatBuf() override;
  TFloatBuf(const TFloatBuf&) = delete;
  TFloatBuf& operator=(const TFloatBuf&) = delete;

  // Up to the capacity only the count changes. Beyond it an owning buffer gets new
  // zeroed arrays of n frames for its channels (contents are lost); a buffer over
  // outside arrays changes only within their capacity.
  void SetFrames(int32_t n);
  // Channels gained get an array (owning buffers) of the buffer's capacity, zeroed;
  // at most channelCapacity channels.
  void SetChannels(int32_t n);
  void Resize(int32_t frames, int32_t channels);
  // Zeroes count floats (-1: the frames in use) from start; outside the frames in use
  // nothing is touched, nor a channel without array.
  void Clear(int32_t channel, int32_t count = -1, int32_t start = 0);
  // Channels 0 to 15: the channel uses array until RestoreChannels; substituting again
  // keeps the first saved array.
  void Substitute(int32_t channel, float* array);
  void RestoreChannels();
  // count -1: the frames in use. Only from a source with this buffer's sample rate and
  // channel count; frames outside this buffer's frames are skipped.
  void CopyFrom(IAudioBuf& source, int32_t count, int32_t sourceStart, int32_t destinationStart);

  int32_t GetFrames() const { return frames; }
  int32_t GetCapacity() const { return capacity; }
  int32_t GetChannels() const { return channels; }
  int32_t GetSampleRate() const { return sampleRate; }
  void SetSampleRate(int32_t rate) { sampleRate = rate; }
  int32_t GetChannelCapacity() const { return channelCapacity; }
  int32_t GetExternalCapacity() const { return externalCapacity; }
  bool OwnsMemory() const { return ownsMemory; }
  bool IsSubstituted(int32_t c) const { return c >= 0 && c < maxSubstituted && substituted[c]; }
  // The channel's array (null when it has none or is out of range).
  float* GetChannel(int32_t c) const { return c >= 0 && c < channelCapacity && channel ? channel[c] : nullptr; }
  float* const* GetChannelArray() const { return channel; }

  // The heap of every owned channel array, made on first use and kept for the process.
  static IHeap* SharedHeap();

private:
  float* AllocateArray(int32_t count);
  void AllocateArrays();
  void FreeArrays();

  int32_t frames = 0;
  int32_t capacity = 0;
  int32_t channels = 0;
  int32_t sampleRate = 0;
  int32_t channelCapacity = 0;
  int32_t externalCapacity = 0;
  bool ownsMemory = false;
  float** channel = nullptr;
  float* saved[maxSubstituted] = {};
  bool substituted[maxSubstituted] = {};
};
