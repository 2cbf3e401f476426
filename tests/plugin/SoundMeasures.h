// What the listening tests measure in a rendered sound: levels and envelopes,
// averaged power spectra (Welch: Hann windows of 2048 frames, half overlapping),
// the spectral centroid, spectral lines against their octave band, pitch; and
// WAV files and sox spectrograms for a person to look at.
#pragma once
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>
#include <vector>

namespace sound {

constexpr double kRate = 44100.0;
constexpr size_t kFft = 2048;
constexpr double kPi = 3.14159265358979323846;

inline double Db(double ratio) { return 20.0 * std::log10(std::max(ratio, 1e-20)); }

inline void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2 * kPi / static_cast<double>(len);
    const std::complex<double> w(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk(1);
      for (size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        wk *= w;
      }
    }
  }
}

// Power per bin (kFft / 2 + 1 bins of kRate / kFft hertz) of x[from, to). A stretch
// shorter than one window gets one window of its own length, flat for its first
// three quarters (the stretch begins with the attack); a longer one is
// covered by half-overlapping windows from half a window before `from` on, so that
// its first frames (the attack) count as much as the others.
inline std::vector<double> Spectrum(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  std::vector<double> power(kFft / 2 + 1, 0.0);
  std::vector<std::complex<double>> a(kFft);
  auto add = [&](long start, size_t length, bool flatStart) {
    for (size_t i = 0; i < kFft; ++i) {
      const long at = start + static_cast<long>(i);
      const double phase = (static_cast<double>(i) + 0.5) / length;
      double w = i < length ? 0.5 - 0.5 * std::cos(2 * kPi * phase) : 0.0;
      if (flatStart && i < length) w = phase < 0.75 ? 1.0 : 0.5 + 0.5 * std::cos(kPi * (phase - 0.75) / 0.25);
      a[i] = at >= static_cast<long>(from) && at < static_cast<long>(to) ? x[static_cast<size_t>(at)] * w : 0.0;
    }
    Fft(a);
    for (size_t k = 0; k < power.size(); ++k) power[k] += std::norm(a[k]);
  };
  if (to - from <= kFft) {
    add(static_cast<long>(from), to - from, true);
    return power;
  }
  int segments = 0;
  for (long start = static_cast<long>(from) - static_cast<long>(kFft / 2); start < static_cast<long>(to);
       start += kFft / 2, ++segments)
    add(start, kFft, false);
  for (double& p : power) p /= segments;
  return power;
}

inline double BinHz(size_t k) { return static_cast<double>(k) * kRate / kFft; }

inline double Centroid(const std::vector<double>& power) {
  double weighted = 0, total = 0;
  for (size_t k = 1; k < power.size(); ++k) {
    weighted += BinHz(k) * power[k];
    total += power[k];
  }
  return total > 0 ? weighted / total : 0;
}

// The share of the power between lowHz and highHz.
inline double Share(const std::vector<double>& power, double lowHz, double highHz) {
  double part = 0, total = 0;
  for (size_t k = 1; k < power.size(); ++k) {
    total += power[k];
    if (BinHz(k) >= lowHz && BinHz(k) < highHz) part += power[k];
  }
  return total > 0 ? part / total : 0;
}

struct TLine {
  double aboveMedianDb = -100;  // the strongest bin against its octave band's median
  double hz = 0;
};

// The strongest spectral line of the octave bands from 250 Hz to 16 kHz that hold
// a real part of the sound (within 30 dB of the strongest band).
inline TLine WorstLine(const std::vector<double>& power) {
  std::vector<std::pair<size_t, size_t>> bands;
  for (double low = 250; low < 16000; low *= 2)
    bands.push_back({static_cast<size_t>(std::ceil(low * kFft / kRate)), static_cast<size_t>(2 * low * kFft / kRate)});
  std::vector<double> energy;
  for (const auto& [a, b] : bands) {
    double e = 0;
    for (size_t k = a; k < b; ++k) e += power[k];
    energy.push_back(e);
  }
  const double strongest = *std::max_element(energy.begin(), energy.end());
  TLine worst;
  for (size_t i = 0; i < bands.size(); ++i) {
    if (energy[i] < strongest * 1e-3) continue;
    std::vector<double> bins(power.begin() + static_cast<ptrdiff_t>(bands[i].first),
                             power.begin() + static_cast<ptrdiff_t>(bands[i].second));
    std::vector<double> sorted = bins;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const auto top = std::max_element(bins.begin(), bins.end());
    const double above = 10 * std::log10(*top / median);
    if (above > worst.aboveMedianDb) {
      worst.aboveMedianDb = above;
      worst.hz = BinHz(bands[i].first + static_cast<size_t>(top - bins.begin()));
    }
  }
  return worst;
}

// RMS of windows of `window` frames, in dB re full scale.
inline std::vector<double> Envelope(const std::vector<float>& x, size_t window) {
  std::vector<double> env;
  for (size_t start = 0; start < x.size(); start += window) {
    double sum = 0;
    const size_t end = std::min(x.size(), start + window);
    for (size_t i = start; i < end; ++i) sum += double(x[i]) * x[i];
    env.push_back(10 * std::log10(std::max(sum / static_cast<double>(end - start), 1e-30)));
  }
  return env;
}

inline double PeakAbs(const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX) {
  double peak = 0;
  for (size_t i = from; i < std::min(to, x.size()); ++i) peak = std::max(peak, std::fabs(double(x[i])));
  return peak;
}

inline size_t PeakIndex(const std::vector<float>& x) {
  size_t at = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (std::fabs(x[i]) > std::fabs(x[at])) at = i;
  return at;
}

// The frame after the last one that is not zero.
inline size_t SoundEnd(const std::vector<float>& x) {
  size_t end = x.size();
  while (end > 0 && x[end - 1] == 0.0f) --end;
  return end;
}

inline double Rms(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0;
  to = std::min(to, x.size());
  for (size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

// The frequency of the strongest spectral peak of x[from, to) between minHz and
// maxHz (a Hann window, zero-padded to 16384 points, the peak interpolated).
inline double PeakHz(const std::vector<float>& x, size_t from, size_t to, double minHz, double maxHz) {
  constexpr size_t n = 16384;
  to = std::min(to, x.size());
  std::vector<std::complex<double>> a(n);
  const size_t length = std::min(to - from, n);
  for (size_t i = 0; i < length; ++i)
    a[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * kPi * (static_cast<double>(i) + 0.5) / length));
  Fft(a);
  const size_t low = static_cast<size_t>(minHz * n / kRate), high = static_cast<size_t>(maxHz * n / kRate);
  size_t best = low;
  for (size_t k = low; k <= high; ++k)
    if (std::norm(a[k]) > std::norm(a[best])) best = k;
  const double l = std::log(std::norm(a[best - 1]) + 1e-30), c = std::log(std::norm(a[best]) + 1e-30),
               r = std::log(std::norm(a[best + 1]) + 1e-30);
  const double shift = (l - 2 * c + r) != 0 ? 0.5 * (l - r) / (l - 2 * c + r) : 0;
  return (static_cast<double>(best) + shift) * kRate / n;
}

inline bool WriteWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(kRate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  std::vector<float> frames;
  for (size_t i = 0; i < left.size(); ++i) {
    frames.push_back(left[i]);
    frames.push_back(i < right.size() ? right[i] : 0.0f);
  }
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(left.size()));
  sf_close(f);
  return true;
}

inline bool Spectrogram(const std::string& wav, const std::string& png, const std::string& title) {
  const std::string command = "sox '" + wav + "' -n remix 1 spectrogram -x 900 -y 257 -z 90 -t '" + title + "' -o '" +
                              png + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace sound
