// The instrument's 54 sounds, one per cell, synthesised once per process when the
// plug-in is first entered. Deterministic: the same bits on every run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kCellCount = 54;
constexpr int kFirstCellNote = 36;
constexpr double kBankSampleRate = 44100.0;

struct TCellSound {
  const char* name;       // "Closed Hi-Hat"
  const char* shortName;  // at most 9 characters, for the editor's cells
  int defaultChoke;       // choke group of the default kit (0: none)
  // The frames, followed by two zero frames so that interpolation never reads
  // past the end. length() counts the frames without the padding.
  std::vector<float> frames;
  int32_t Length() const { return static_cast<int32_t>(frames.size()) - 2; }
};

class TSampleBank {
public:
  // The process-wide bank, built on first use (thread-safe).
  static const TSampleBank& Shared();

  const TCellSound& Cell(int cell) const { return cells[cell]; }
  // The default kit's choke group of a cell, known without making the sounds.
  static int DefaultChoke(int cell);
  // Total number of frames held, for the curious.
  size_t TotalFrames() const;

private:
  TSampleBank();
  TCellSound cells[kCellCount];
};
