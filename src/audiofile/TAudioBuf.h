// A block of sample frames in memory with its sample format.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "foundation/TInOut.h"

// Samples of any format: 32-bit floats, or signed integers of `bits` bits kept in
// (bits + 7) / 8 bytes each (little-endian in memory). Frames are valid from
// -margin to length + margin - 1.
class IAudioBuf : public virtual IBase {
public:
  static IAudioBuf* Create();

  virtual int32_t GetLength() const = 0;
  virtual int32_t GetChannels() const = 0;
  virtual int32_t GetSampleRate() const = 0;
  virtual bool IsInterleaved() const = 0;
  virtual int32_t GetBits() const = 0;
  virtual int32_t GetBytesPerSample() const = 0;
  virtual bool IsFloat() const = 0;
  // Kept in its place among the operations; does nothing.
  virtual void Reserved() = 0;
  virtual int32_t GetMargin() const = 0;
  virtual void SetSampleRate(int32_t rate) = 0;
  // Reallocates the data blocks for the new length; frames both lengths share are kept,
  // new frames are 0.
  virtual void SetLength(int32_t frames) = 0;
  // Stores the whole format, frees the data and allocates it again (all samples 0).
  // Float samples are always 32 bits. Failure: "Memory is low. Cannot finish
  // operation!" with the buffer left empty (length 0).
  virtual void SetFormat(bool isFloat, bool interleaved, int32_t bits, int32_t channels, int32_t rate,
                         int32_t frames, int32_t margin) = 0;
  // Null outside the frames and channels the buffer holds.
  virtual void* GetSamplePtr(int32_t frame, int32_t channel) = 0;
  // One pointer per channel (one in all when interleaved), each at frame 0.
  virtual void* const* GetData() const = 0;
  // Integer samples: the value is clamped to -1.0 ... 32767/32768 and stored as
  // value * (2^(bits-1) - 1) truncated towards zero. Channel -1 sets every channel.
  // Frames or channels outside the buffer are ignored.
  virtual void SetSample(int32_t frame, float value, int32_t channel) = 0;
  // The sample as a float (integers times GetScale()); 0 outside the buffer.
  virtual float GetSample(int32_t frame, int32_t channel) const = 0;
  virtual float GetScale() const = 0;
  // Every sample 0, then the margins are refreshed.
  virtual void Clear() = 0;
  // Copies count frames (-1: the source from sourceStart to its end) from the source,
  // converting the sample format, for the channels both buffers have. Nothing is
  // copied when the sample rates differ. Frames outside either buffer are skipped.
  virtual void CopyFrom(IAudioBuf& source, int32_t count, int32_t sourceStart, int32_t destStart) = 0;
  // Fills the margins from the buffer's own frames, so that reading past either end wraps.
  virtual void RefreshMargins() = 0;

  // The serialised form, numbers in the stream's byte order: length, channels,
  // sampleRate, interleaved, bits, isFloat; then, when not interleaved, each channel's
  // samples through the stream's 8-, 16- or 32-bit values.
  virtual void Write(TInOut& out) const = 0;
  // Reads a serialised form that must fit into maxBytes; anything that does not fit,
  // or a format that cannot be held, raises "$1 is corrupt." with the stream's name.
  virtual void Read(TInOut& in, int64_t maxBytes) = 0;
  virtual int64_t GetSerialisedSize() const = 0;
};

class TAudioBuf : public TBase, public virtual IAudioBuf {
public:
  // The header of the serialised form: six 32-bit numbers.
  static constexpr int64_t serialHeaderBytes = 24;

  TAudioBuf() = default;
  ~TAudioBuf() override;
  TAudioBuf(const TAudioBuf&) = delete;
  TAudioBuf& operator=(const TAudioBuf&) = delete;

  int32_t GetLength() const override { return length; }
  int32_t GetChannels() const override { return channels; }
  int32_t GetSampleRate() const override { return sampleRate; }
  bool IsInterleaved() const override { return interleaved != 0; }
  int32_t GetBits() const override { return bits; }
  int32_t GetBytesPerSample() const override { return (bits + 7) / 8; }
  bool IsFloat() const override { return isFloat != 0; }
  void Reserved() override {}
  int32_t GetMargin() const override { return margin; }
  void SetSampleRate(int32_t rate) override { sampleRate = rate; }
  void SetLength(int32_t frames) override;
  void SetFormat(bool newIsFloat, bool newInterleaved, int32_t newBits, int32_t newChannels, int32_t rate,
                 int32_t frames, int32_t newMargin) override;
  void* GetSamplePtr(int32_t frame, int32_t channel) override;
  void* const* GetData() const override { return data; }
  void SetSample(int32_t frame, float value, int32_t channel) override;
  float GetSample(int32_t frame, int32_t channel) const override;
  float GetScale() const override { return scale; }
  void Clear() override;
  void CopyFrom(IAudioBuf& source, int32_t count, int32_t sourceStart, int32_t destStart) override;
  void RefreshMargins() override;

  void Write(TInOut& out) const override;
  void Read(TInOut& in, int64_t maxBytes) override;
  int64_t GetSerialisedSize() const override;

  // Frames the data blocks hold, margins not counted. Files answer their file length
  // through GetLength, so the buffer's own code keeps to this one.
  int32_t GetHeldFrames() const { return length; }

private:
  int32_t BlockCount() const { return interleaved ? 1 : channels; }
  int64_t FrameStride() const;
  int64_t BlockBytes() const;
  uint8_t* SamplePtr(int32_t frame, int32_t channel) const;
  void StoreAt(uint8_t* sample, float value) const;
  float LoadAt(const uint8_t* sample) const;
  void ComputeScale();
  // Allocates zeroed blocks for the current format; on failure frees everything,
  // empties the buffer and raises "Memory is low. Cannot finish operation!".
  void Allocate();
  void FreeData();

  int32_t length = 0;
  int32_t channels = 2;
  int32_t sampleRate = 44100;
  int32_t interleaved = 0;
  int32_t bits = 32;
  int32_t isFloat = 1;
  int32_t margin = 0;
  float scale = 1.0f;
  // 2^(bits-1) - 1 for integer samples, the factor of SetSample.
  double fullScale = 1.0;
  void** data = nullptr;
};
