// Test peer: writes a WAV or AIFF file through libsndfile, with libsndfile's own
// instrument chunk when a loop mode is given.
//   sndfile-instrument-writer OUT wav|aiff BITS CHANNELS RATE FRAMES [none|forward|pingpong START END BASENOTE]
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 7 && argc != 11) {
    std::fprintf(stderr, "usage: %s OUT wav|aiff BITS CHANNELS RATE FRAMES [MODE START END BASENOTE]\n", argv[0]);
    return 2;
  }
  const bool aiff = std::strcmp(argv[2], "aiff") == 0;
  const int bits = std::atoi(argv[3]);
  SF_INFO info{};
  info.channels = std::atoi(argv[4]);
  info.samplerate = std::atoi(argv[5]);
  const long frames = std::atol(argv[6]);
  const int subtype = bits == 8 ? (aiff ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_U8) : SF_FORMAT_PCM_16;
  info.format = (aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV) | subtype;
  SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
  if (!file) {
    std::fprintf(stderr, "%s\n", sf_strerror(nullptr));
    return 1;
  }
  if (argc == 11) {
    SF_INSTRUMENT instrument{};
    instrument.basenote = std::atoi(argv[10]);
    instrument.velocity_lo = 0;
    instrument.velocity_hi = 127;
    instrument.key_lo = 0;
    instrument.key_hi = 127;
    const char* mode = argv[7];
    if (std::strcmp(mode, "none") != 0) {
      instrument.loop_count = 1;
      instrument.loops[0].mode = std::strcmp(mode, "pingpong") == 0 ? SF_LOOP_ALTERNATING : SF_LOOP_FORWARD;
      instrument.loops[0].start = static_cast<unsigned>(std::atol(argv[8]));
      instrument.loops[0].end = static_cast<unsigned>(std::atol(argv[9]));
      instrument.loops[0].count = 0;
    }
    if (sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument) == SF_FALSE) {
      std::fprintf(stderr, "instrument refused\n");
      return 1;
    }
    // Lays the header down again with the instrument before any data.
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
  }
  std::vector<short> samples(static_cast<size_t>(frames) * info.channels);
  for (long i = 0; i < frames; ++i)
    for (int c = 0; c < info.channels; ++c)
      samples[size_t(i * info.channels + c)] = static_cast<short>(8000 * std::sin(0.05 * double(i) * (c + 1)));
  sf_writef_short(file, samples.data(), frames);
  sf_close(file);
  return 0;
}
