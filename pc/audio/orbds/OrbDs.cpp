// orbds.dll: the DirectSound helper library over ALSA's memory-mapped PCM interface.
// Its devices are the output PCMs that ALSA's configuration lists; the ring buffer
// that DirectSound would give is the PCM's own buffer, handed out through
// snd_pcm_mmap_begin and committed with snd_pcm_mmap_commit.
//
// A DirectSound buffer plays on round its ring when the writer falls behind, so the
// writer finds itself far ahead and waits until the play position comes round. Here
// an underrun stops the PCM; the library recovers it, fills the whole ring with
// silence and starts it again: the writer then sees the same full ring, and the
// listener hears silence instead of the ring's old contents.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "AlsaPcmList.h"
#include "audio/DirectSoundEntries.h"

#define ORBDS_ENTRY extern "C" __attribute__((visibility("default")))

namespace {
constexpr snd_pcm_uframes_t wantedPeriodFrames = 256;
// Room for 300 blocks of 256 frames, as far as the device allows.
constexpr snd_pcm_uframes_t wantedRingFrames = 300 * 256;
constexpr int bytesPerFrame = 4;

struct TLibrary {
  std::vector<TAlsaPcm> devices;
  std::vector<std::string> names;
  snd_pcm_t* pcm = nullptr;
  snd_pcm_uframes_t ringFrames = 0;
  bool started = false;
  TDsRegions regions;
  snd_pcm_uframes_t lockedOffset = 0;
  unsigned underruns = 0;
};

TLibrary library;

uint8_t* RingStart(const snd_pcm_channel_area_t* areas) {
  return static_cast<uint8_t*>(areas[0].addr) + areas[0].first / 8;
}

bool Configure(snd_pcm_t* pcm, snd_pcm_uframes_t& ringFrames) {
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t period = wantedPeriodFrames;
  int direction = 0;
  bool ok = snd_pcm_hw_params_any(pcm, hw) >= 0 &&
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_MMAP_INTERLEAVED) == 0 &&
            snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) == 0 &&
            snd_pcm_hw_params_set_channels(pcm, hw, 2) == 0 && snd_pcm_hw_params_set_rate(pcm, hw, 44100, 0) == 0;
  if (!ok) return false;
  snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction);
  snd_pcm_uframes_t largest = 0;
  snd_pcm_hw_params_get_buffer_size_max(hw, &largest);
  ringFrames = std::min(wantedRingFrames, largest);
  snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &ringFrames);
  if (snd_pcm_hw_params(pcm, hw) < 0) return false;
  snd_pcm_hw_params_get_buffer_size(hw, &ringFrames);
  snd_pcm_hw_params_get_period_size(hw, &period, &direction);
  snd_pcm_uframes_t boundary = 0;
  return snd_pcm_sw_params_current(pcm, sw) == 0 && snd_pcm_sw_params_get_boundary(sw, &boundary) == 0 &&
         snd_pcm_sw_params_set_avail_min(pcm, sw, period) == 0 &&
         snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary) == 0 &&
         snd_pcm_sw_params_set_stop_threshold(pcm, sw, ringFrames) == 0 && snd_pcm_sw_params(pcm, sw) == 0;
}

// Commits frames of silence at the write position, as far as there is room.
void CommitSilence(snd_pcm_uframes_t frames) {
  while (frames > 0) {
    const snd_pcm_channel_area_t* areas = nullptr;
    snd_pcm_uframes_t offset = 0, got = frames;
    if (snd_pcm_mmap_begin(library.pcm, &areas, &offset, &got) < 0 || got == 0) return;
    std::memset(RingStart(areas) + offset * bytesPerFrame, 0, got * bytesPerFrame);
    if (snd_pcm_mmap_commit(library.pcm, offset, got) < 0) return;
    frames -= got;
  }
}

void StartIfWanted() {
  if (library.started && snd_pcm_state(library.pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(library.pcm);
}

// After an underrun (or a suspend) the ring is silent and full, as a DirectSound ring
// that played on round would be far ahead.
void RecoverIfStopped() {
  const snd_pcm_state_t state = snd_pcm_state(library.pcm);
  if (state != SND_PCM_STATE_XRUN && state != SND_PCM_STATE_SUSPENDED) return;
  ++library.underruns;
  if (snd_pcm_recover(library.pcm, state == SND_PCM_STATE_XRUN ? -EPIPE : -ESTRPIPE, 1) < 0) return;
  snd_pcm_avail_update(library.pcm);
  CommitSilence(library.ringFrames);
  StartIfWanted();
}

snd_pcm_sframes_t Avail() {
  RecoverIfStopped();
  const snd_pcm_sframes_t avail = snd_pcm_avail_update(library.pcm);
  return avail < 0 ? 0 : avail;
}
}  // namespace

ORBDS_ENTRY int32_t DsGetNumDevices() {
  library.devices.clear();
  library.names.clear();
  for (const TAlsaPcm& pcm : ListAlsaPcms()) {
    if (!pcm.output) continue;
    library.devices.push_back(pcm);
    library.names.push_back(AlsaPcmTakesPortFormat(pcm.pcm, true, true) ? pcm.name : std::string());
  }
  return static_cast<int32_t>(library.devices.size());
}

ORBDS_ENTRY const char* DsGetDeviceName(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= library.names.size()) return "";
  return library.names[static_cast<size_t>(index)].c_str();
}

ORBDS_ENTRY void DsClose() {
  if (!library.pcm) return;
  snd_pcm_drop(library.pcm);
  snd_pcm_close(library.pcm);
  library.pcm = nullptr;
  library.started = false;
  library.regions = {};
}

ORBDS_ENTRY int32_t DsOpen(int32_t index, void*) {
  DsClose();
  if (index < 0 || static_cast<size_t>(index) >= library.devices.size()) return 0;
  PrepareAlsa();
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, library.devices[static_cast<size_t>(index)].pcm.c_str(), SND_PCM_STREAM_PLAYBACK,
                   SND_PCM_NONBLOCK) < 0)
    return 0;
  snd_pcm_uframes_t ringFrames = 0;
  if (!Configure(pcm, ringFrames)) {
    snd_pcm_close(pcm);
    return 0;
  }
  library.pcm = pcm;
  library.ringFrames = ringFrames;
  library.underruns = 0;
  return 1;
}

ORBDS_ENTRY void DsStart() {
  if (!library.pcm) return;
  library.started = true;
  RecoverIfStopped();
  StartIfWanted();
}

ORBDS_ENTRY void DsStop() {
  if (!library.pcm) return;
  library.started = false;
  snd_pcm_drop(library.pcm);
  snd_pcm_prepare(library.pcm);
}

ORBDS_ENTRY TDsRegions* DsLock(int32_t frames) {
  library.regions = {};
  if (!library.pcm || frames <= 0) return &library.regions;
  const snd_pcm_uframes_t wanted = std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(frames), Avail());
  const snd_pcm_channel_area_t* areas = nullptr;
  snd_pcm_uframes_t offset = 0, first = wanted;
  if (wanted == 0 || snd_pcm_mmap_begin(library.pcm, &areas, &offset, &first) < 0) return &library.regions;
  uint8_t* start = RingStart(areas);
  library.lockedOffset = offset;
  library.regions.first = reinterpret_cast<intptr_t>(start + offset * bytesPerFrame);
  library.regions.firstFrames = static_cast<intptr_t>(first);
  // What does not fit before the ring's end continues at its start.
  if (first < wanted && offset + first == library.ringFrames) {
    library.regions.second = reinterpret_cast<intptr_t>(start);
    library.regions.secondFrames = static_cast<intptr_t>(wanted - first);
  }
  return &library.regions;
}

ORBDS_ENTRY void DsUnLock() {
  if (!library.pcm || library.regions.firstFrames == 0) return;
  snd_pcm_mmap_commit(library.pcm, library.lockedOffset, static_cast<snd_pcm_uframes_t>(library.regions.firstFrames));
  if (library.regions.secondFrames > 0) {
    const snd_pcm_channel_area_t* areas = nullptr;
    snd_pcm_uframes_t offset = 0, second = static_cast<snd_pcm_uframes_t>(library.regions.secondFrames);
    if (snd_pcm_mmap_begin(library.pcm, &areas, &offset, &second) == 0) snd_pcm_mmap_commit(library.pcm, offset, second);
  }
  library.regions = {};
  StartIfWanted();
}

ORBDS_ENTRY int32_t DsGetNumSamplesAhead() {
  if (!library.pcm) return 0;
  const snd_pcm_sframes_t avail = Avail();
  const auto ring = static_cast<snd_pcm_sframes_t>(library.ringFrames);
  return static_cast<int32_t>(avail >= ring ? 0 : ring - avail);
}
