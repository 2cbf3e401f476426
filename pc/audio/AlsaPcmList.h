// The PCMs that ALSA's configuration lists (the device-name hints of the "pcm"
// interface), shared by the wave device layer and the DirectSound helper library.
#pragma once
#include <string>
#include <vector>

struct TAlsaPcm {
  // The hint's NAME, unique in the list (a repeated one gets " 2", " 3" ...).
  std::string name;
  // The name to open (the hint's NAME as it is).
  std::string pcm;
  bool output = true;
  bool input = true;
};

// Once per process before ALSA is used: ALSA's own error printing off (the layer
// reports what matters) and no sound server started by a listing or an open.
void PrepareAlsa();
std::vector<TAlsaPcm> ListAlsaPcms();
// Opens the PCM without starting it and tests 44100 Hz, S16_LE, 2 channels,
// interleaved (read and written, or through its memory map). A busy PCM counts as
// taking it (its open says "in use" later).
bool AlsaPcmTakesPortFormat(const std::string& pcm, bool output, bool mapped = false);
