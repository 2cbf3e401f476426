// libFuzzer target: the instrument's reader of drumkit.xml (the Hydrogen drumkit
// format) and the velocity map it builds for each instrument, given any bytes. It
// needs nothing but the reader: no files are opened, no thread is started.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TDrumkitXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TDrumkitSpec spec = ParseDrumkitXml(data, size, "/nonexistent/kit");
  std::vector<std::string> problems;
  for (const TDrumkitInstrument& instrument : spec.instruments) {
    const TVelocityMap map = MapVelocities(instrument.layers, instrument.name, problems);
    for (int v = 0; v < 128; ++v) {
      const auto& group = map.groups.at(map.groupOfVelocity[v]);
      if (group.empty() || group.front() >= instrument.layers.size()) __builtin_trap();
    }
    if (instrument.note < kDrumkitLowestNote || instrument.note > kDrumkitHighestNote) __builtin_trap();
    for (const TDrumkitLayer& layer : instrument.layers)
      if (layer.file.empty() || layer.file[0] == '/' || layer.min > layer.max) __builtin_trap();
  }
  return 0;
}
