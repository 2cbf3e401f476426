// Loads a kit folder in the Hydrogen drumkit format into a kit of sounds: reads its
// drumkit.xml, reads the samples with libsndfile (WAV, AIFF, FLAC and whatever
// else it knows) and converts them with libsamplerate to the rate they will play
// at. Each instrument fills the cell of its MIDI note; the other cells keep the
// synthesised sounds, and so do instruments none of whose samples can be read.
//
// Before it allocates any sample memory the loader adds up what the kit needs; a
// kit that needs more than the limit (1 GiB, or a quarter of the machine's memory
// when that is less) is refused.
//
// Runs on the instrument's kit thread (or a test's); never on the audio thread.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TKitSounds.h"

struct TDrumkitLoad {
  std::unique_ptr<TKitSounds> kit;  // null when the kit was refused as a whole
  std::string error;                // why it was refused
  std::vector<std::string> leftOut; // what of it does not play, one line each
  int instruments = 0;              // instruments that fill a cell
  int samples = 0;                  // sample files read
};

class TDrumkitLoader {
public:
  static constexpr size_t maxXmlBytes = 16u << 20;
  static size_t DefaultMemoryLimit();

  // `cancelled` is asked between files (and while a long one is read); when it
  // answers true the load stops and answers an empty result.
  static TDrumkitLoad Load(const std::string& folder, double rate, size_t memoryLimit,
                           const std::function<bool()>& cancelled = {});
};
