#include "AudioDeviceTestSupport.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

TAlsaJackConfig::TAlsaJackConfig(const std::string& folder) : path(folder + "/asound.conf") {
  const std::string client = captureClient;
  std::ofstream out(path);
  out << "pcm.thudra_jack {\n"
         "  type jack\n"
         "  playback_ports { 0 \"" << client << ":in_1\" 1 \"" << client << ":in_2\" }\n"
         "  capture_ports { 0 \"" << client << ":out_1\" 1 \"" << client << ":out_2\" }\n"
         "}\n"
         "pcm." << pcmName << " {\n"
         "  type plug\n"
         "  slave.pcm \"thudra_jack\"\n"
         "  hint { show on description \"Thudra test device on JACK\" }\n"
         "}\n";
  out.close();
  ::setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  snd_config_update_free_global();
}

TAlsaJackConfig::~TAlsaJackConfig() {
  ::unsetenv("ALSA_CONFIG_PATH");
  snd_config_update_free_global();
}

TJackCapture::TJackCapture(double seconds, double toneHz, float level) {
  toneLevel.store(level);
  jack_status_t status{};
  client = jack_client_open(TAlsaJackConfig::captureClient, JackNoStartServer, &status);
  if (!client) return;
  rate = static_cast<int32_t>(jack_get_sample_rate(client));
  toneStep = 2 * M_PI * toneHz / rate;
  for (auto& channel : kept) channel.assign(static_cast<size_t>(seconds * rate), 0.0f);
  const char* inNames[2] = {"in_1", "in_2"};
  const char* outNames[2] = {"out_1", "out_2"};
  for (int c = 0; c < 2; ++c) {
    inputs[c] = jack_port_register(client, inNames[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    outputs[c] = jack_port_register(client, outNames[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  }
  jack_set_process_callback(client, &TJackCapture::Process, this);
  if (jack_activate(client) != 0) {
    jack_client_close(client);
    client = nullptr;
  }
}

TJackCapture::~TJackCapture() {
  if (!client) return;
  jack_deactivate(client);
  jack_client_close(client);
}

int TJackCapture::Process(jack_nframes_t count, void* self) {
  auto* capture = static_cast<TJackCapture*>(self);
  const size_t at = capture->frames.load(std::memory_order_relaxed);
  const size_t room = capture->kept[0].size() - at;
  const size_t take = std::min<size_t>(room, count);
  for (int c = 0; c < 2; ++c) {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(capture->inputs[c], count));
    std::copy(in, in + take, capture->kept[c].begin() + static_cast<std::ptrdiff_t>(at));
  }
  capture->frames.store(at + take, std::memory_order_release);
  auto* left = static_cast<float*>(jack_port_get_buffer(capture->outputs[0], count));
  auto* right = static_cast<float*>(jack_port_get_buffer(capture->outputs[1], count));
  const float level = capture->toneLevel.load(std::memory_order_acquire);
  for (jack_nframes_t i = 0; i < count; ++i) {
    left[i] = right[i] = level * static_cast<float>(std::sin(capture->tonePhase));
    capture->tonePhase = std::fmod(capture->tonePhase + capture->toneStep, 2 * M_PI);
  }
  return 0;
}

std::vector<float> TJackCapture::Channel(int channel) const {
  const size_t count = Frames();
  return std::vector<float>(kept[channel].begin(), kept[channel].begin() + static_cast<std::ptrdiff_t>(count));
}

std::vector<float> TJackCapture::Sounding(int channel, float level) const {
  const std::vector<float> samples = Channel(channel);
  size_t first = samples.size(), last = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::fabs(samples[i]) <= level) continue;
    first = std::min(first, i);
    last = i;
  }
  if (first > last) return {};
  return std::vector<float>(samples.begin() + static_cast<std::ptrdiff_t>(first),
                            samples.begin() + static_cast<std::ptrdiff_t>(last + 1));
}

void FillSine(int16_t* samples, size_t frames, uint64_t firstFrame, double hz, double level) {
  for (size_t i = 0; i < frames; ++i) {
    const double phase = 2 * M_PI * hz * static_cast<double>(firstFrame + i) / 44100.0;
    samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(std::lround(level * 32767.0 * std::sin(phase)));
  }
}

double RisingCrossingsPerSecond(const std::vector<float>& samples, int32_t rate) {
  if (samples.size() < 2 || rate <= 0) return 0;
  size_t crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
  return static_cast<double>(crossings) * rate / static_cast<double>(samples.size());
}

bool WaitForNotification(TWaveEventQueue& queue, TWaveNotification& notification, int32_t milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!queue.Pop(notification)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}
