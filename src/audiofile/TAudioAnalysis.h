// Boundaries where a mono signal repeats itself best, one every 5 to 30 ms, and the
// table that maps any position to the boundary in force there. The table is a
// buffer of one channel of 32-bit entries (marked float, the entries are integers
// written in place) whose sample rate field holds the step in frames.
#pragma once
#include <cstdint>

#include "TAudioBuf.h"

class IAudioAnalysis : public virtual IAudioBuf {
public:
  // Failure: "Out of Memory !!!" and null.
  static IAudioAnalysis* Create();

  // Builds the table from channel 0 of a float source; an integer source changes nothing.
  virtual void Analyse(IAudioBuf& source) = 0;
  virtual int32_t GetEntryCount() const = 0;
  // The first entry, or null when the table is empty.
  virtual const int32_t* GetTable() const = 0;
  // Frames per table entry.
  virtual int32_t GetStep() const = 0;
  // position < 1 gives 0; a position below the last entry the boundary in force
  // there; any other the last entry.
  virtual void MapPosition(int32_t& position) const = 0;
  // Maps the position to its boundary and answers in frames the distance to the
  // next different boundary of the table (5 when there is none).
  virtual void GetSegment(int32_t& position, float& frames) const = 0;
};

class TAudioAnalysis : public TAudioBuf, public virtual IAudioAnalysis {
public:
  void Analyse(IAudioBuf& source) override;
  int32_t GetEntryCount() const override { return GetHeldFrames(); }
  const int32_t* GetTable() const override;
  int32_t GetStep() const override { return GetSampleRate(); }
  void MapPosition(int32_t& position) const override;
  void GetSegment(int32_t& position, float& frames) const override;

  // A serialised table must have the table's format; anything else is "$1 is corrupt.".
  void Read(TInOut& in, int64_t maxBytes) override;

private:
  int32_t* Table();
  // The table index MapPosition uses for position; -1 for an empty table.
  int32_t IndexFor(int32_t position) const;
};
