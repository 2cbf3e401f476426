// Helpers of the audio device tests: an ALSA configuration of the test's own with a
// real, paced PCM on the test's JACK server, a JACK client that captures what that
// PCM plays and plays a tone into what it records, and waiting on notifications.
#pragma once
#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/TWaveEventQueue.h"

// Writes <folder>/asound.conf and points ALSA_CONFIG_PATH at it (ALSA reads its
// configuration again): the PCM "thudra_test" is a plug PCM over a JACK PCM whose
// ports connect to the capture client's ports (the JACK PCM takes float samples
// only, the plug converts the port's 16-bit samples and 44.1 kHz).
class TAlsaJackConfig {
public:
  static constexpr const char* pcmName = "thudra_test";
  static constexpr const char* captureClient = "thudra-capture";

  explicit TAlsaJackConfig(const std::string& folder);
  ~TAlsaJackConfig();
  TAlsaJackConfig(const TAlsaJackConfig&) = delete;
  TAlsaJackConfig& operator=(const TAlsaJackConfig&) = delete;
  const std::string& Path() const { return path; }

private:
  std::string path;
};

// The JACK client "thudra-capture" on the test's server: keeps what arrives at its
// inputs in_1 and in_2 (up to seconds of it) and plays a sine on out_1 and out_2.
class TJackCapture {
public:
  TJackCapture(double seconds, double toneHz, float toneLevel);
  ~TJackCapture();
  TJackCapture(const TJackCapture&) = delete;
  TJackCapture& operator=(const TJackCapture&) = delete;

  bool Opened() const { return client != nullptr; }
  int32_t SampleRate() const { return rate; }
  size_t Frames() const { return frames.load(std::memory_order_acquire); }
  std::vector<float> Channel(int channel) const;
  // The samples from the first to the last one above level (none when none is).
  std::vector<float> Sounding(int channel, float level) const;
  void Clear() { frames.store(0, std::memory_order_release); }
  // The tone's level from the next cycle on; answers the frame count at that moment.
  size_t SetToneLevel(float level) {
    toneLevel.store(level, std::memory_order_release);
    return Frames();
  }

private:
  static int Process(jack_nframes_t count, void* self);

  jack_client_t* client = nullptr;
  jack_port_t* inputs[2] = {};
  jack_port_t* outputs[2] = {};
  int32_t rate = 0;
  std::vector<float> kept[2];
  std::atomic<size_t> frames{0};
  double tonePhase = 0;
  double toneStep = 0;
  std::atomic<float> toneLevel{0};
};

// Sine frames (left = right) of 16-bit samples, level 0..1, at 44100 Hz.
void FillSine(int16_t* samples, size_t frames, uint64_t firstFrame, double hz, double level);
// Crossings of zero from below per second of 16-bit or float samples at rate.
double RisingCrossingsPerSecond(const std::vector<float>& samples, int32_t rate);
// Takes the next notification, waiting up to milliseconds; false when none came.
bool WaitForNotification(TWaveEventQueue& queue, TWaveNotification& notification, int32_t milliseconds);
