#include "AlsaPcmList.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace {
void Silent(const char*, int, const char*, int, const char*, ...) {}

std::string HintText(void* hint, const char* id) {
  char* text = snd_device_name_get_hint(hint, id);
  std::string copy = text ? text : "";
  std::free(text);
  return copy;
}
}  // namespace

void PrepareAlsa() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(Silent);
    // A JACK PCM would otherwise start a JACK server of its own.
    ::setenv("JACK_NO_START_SERVER", "1", 0);
  });
}

std::vector<TAlsaPcm> ListAlsaPcms() {
  PrepareAlsa();
  std::vector<TAlsaPcm> pcms;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return pcms;
  std::map<std::string, int> seen;
  for (void** hint = hints; *hint; ++hint) {
    TAlsaPcm pcm;
    pcm.pcm = HintText(*hint, "NAME");
    if (pcm.pcm.empty()) continue;
    const std::string io = HintText(*hint, "IOID");
    pcm.output = io.empty() || io == "Output";
    pcm.input = io.empty() || io == "Input";
    const int count = ++seen[pcm.pcm];
    pcm.name = count == 1 ? pcm.pcm : pcm.pcm + " " + std::to_string(count);
    pcms.push_back(pcm);
  }
  snd_device_name_free_hint(hints);
  return pcms;
}

bool AlsaPcmTakesPortFormat(const std::string& name, bool output, bool mapped) {
  PrepareAlsa();
  snd_pcm_t* pcm = nullptr;
  const int opened =
      snd_pcm_open(&pcm, name.c_str(), output ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (opened == -EBUSY) return true;
  if (opened < 0) return false;
  snd_pcm_hw_params_t* params = nullptr;
  bool takes = snd_pcm_hw_params_malloc(&params) == 0;
  takes = takes && snd_pcm_hw_params_any(pcm, params) >= 0 &&
          snd_pcm_hw_params_set_access(
                      pcm, params, mapped ? SND_PCM_ACCESS_MMAP_INTERLEAVED : SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
          snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE) == 0 &&
          snd_pcm_hw_params_set_channels(pcm, params, 2) == 0 &&
          snd_pcm_hw_params_set_rate(pcm, params, 44100, 0) == 0;
  if (params) snd_pcm_hw_params_free(params);
  snd_pcm_close(pcm);
  return takes;
}
