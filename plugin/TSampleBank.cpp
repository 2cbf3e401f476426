#include "TSampleBank.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>

namespace {

constexpr double kSr = kBankSampleRate;
constexpr double kPi = 3.14159265358979323846;

// xorshift32: the same noise on every machine.
class TNoise {
public:
  explicit TNoise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
  double Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<int32_t>(state) * (1.0 / 2147483648.0);
  }
  // Uniform in [low, high).
  double Range(double low, double high) { return low + (Next() * 0.5 + 0.5) * (high - low); }

private:
  uint32_t state;
};

// Second-order filter sections (transposed direct form II).
struct TBiquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;

  static TBiquad Make(double b0, double b1, double b2, double a0, double a1, double a2) {
    TBiquad f;
    f.b0 = b0 / a0;
    f.b1 = b1 / a0;
    f.b2 = b2 / a0;
    f.a1 = a1 / a0;
    f.a2 = a2 / a0;
    return f;
  }
  static TBiquad Bandpass(double hz, double q) {
    const double w = 2 * kPi * hz / kSr, alpha = std::sin(w) / (2 * q);
    return Make(alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w), 1 - alpha);
  }
  static TBiquad Highpass(double hz, double q) {
    const double w = 2 * kPi * hz / kSr, alpha = std::sin(w) / (2 * q), c = std::cos(w);
    return Make((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  static TBiquad Lowpass(double hz, double q) {
    const double w = 2 * kPi * hz / kSr, alpha = std::sin(w) / (2 * q), c = std::cos(w);
    return Make((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  double Run(double x) {
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

using TFilters = std::initializer_list<TBiquad>;
using TEnvelope = std::function<double(double)>;

TEnvelope Decay(double tau) {
  return [tau](double t) { return std::exp(-t / tau); };
}
// Starts at `from`, rises linearly to 1 at `rise` seconds, then decays with tau.
TEnvelope Swell(double from, double rise, double tau) {
  return [=](double t) { return t < rise ? from + (1 - from) * t / rise : std::exp(-(t - rise) / tau); };
}
// Bursts of the given starts, each decaying with tau; the last one with tailTau.
TEnvelope Bursts(std::vector<double> starts, double tau, double tailTau, double tailLevel) {
  return [=](double t) {
    double e = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
      if (t < starts[i]) break;
      const bool last = i + 1 == starts.size();
      e += (last ? tailLevel : 1.0) * std::exp(-(t - starts[i]) / (last ? tailTau : tau));
    }
    return e;
  };
}

// An envelope evaluated every few frames and interpolated in between (it is smooth
// at that scale, and exp per frame would dominate the making of the sounds).
class TSampledEnvelope {
public:
  explicit TSampledEnvelope(const TEnvelope& env) : env(env) {}
  double At(size_t frame) {
    const size_t segment = frame / step;
    if (segment != current) {
      current = segment;
      from = env(static_cast<double>(segment * step) / kSr);
      to = env(static_cast<double>((segment + 1) * step) / kSr);
    }
    return from + (to - from) * static_cast<double>(frame % step) / step;
  }

private:
  static constexpr size_t step = 8;
  const TEnvelope& env;
  size_t current = SIZE_MAX;
  double from = 0, to = 0;
};

// One sound being made, in double precision.
class TMaker {
public:
  TMaker(double seconds, uint32_t seed) : x(static_cast<size_t>(seconds * kSr), 0.0), noise(seed) {}

  size_t Frames() const { return x.size(); }
  double Time(size_t i) const { return static_cast<double>(i) / kSr; }
  TNoise& Random() { return noise; }

  // A drum membrane: a cosine whose pitch falls from f0 to f1 with pitchTau.
  void Sweep(double f0, double f1, double pitchTau, double amp, double ampTau, double start = 0) {
    const double ampStep = std::exp(-1.0 / (ampTau * kSr)), pitchStep = std::exp(-1.0 / (pitchTau * kSr));
    double phase = 0, level = amp, bend = 1;
    for (size_t i = Begin(start); i < x.size(); ++i) {
      x[i] += level * std::cos(phase);
      phase += 2 * kPi * (f1 + (f0 - f1) * bend) / kSr;
      level *= ampStep;
      bend *= pitchStep;
    }
  }

  // A cosine whose pitch follows a curve, with an envelope.
  void Glide(const std::function<double(double)>& hz, double amp, const TEnvelope& env) {
    double phase = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double t = Time(i);
      x[i] += amp * env(t) * std::cos(phase);
      phase += 2 * kPi * hz(t) / kSr;
    }
  }

  // A decaying partial, made by a damped rotating phasor (cheap and exact enough).
  void Partial(double hz, double amp, double tau, double phase = 0, double start = 0) {
    const double w = 2 * kPi * hz / kSr, damp = std::exp(-1.0 / (tau * kSr));
    const double c = std::cos(w) * damp, s = std::sin(w) * damp;
    double re = amp * std::cos(phase), im = amp * std::sin(phase);
    const size_t end = std::min(x.size(), Begin(start) + static_cast<size_t>(tau * 9.5 * kSr));  // down to -80 dB
    for (size_t i = Begin(start); i < end; ++i) {
      x[i] += re;
      const double r = re * c - im * s;
      im = re * s + im * c;
      re = r;
    }
  }

  // A cluster of partials with frequencies and phases drawn from the noise, run
  // side by side (independent recurrences keep the processor busy).
  void Cluster(int count, double lowHz, double highHz, double amp, double tauLow, double tauHigh) {
    std::vector<double> re, im, c, s;
    double longest = 0;
    for (int k = 0; k < count; ++k) {
      const double hz = noise.Range(lowHz, highHz);
      const double tau = tauLow + (tauHigh - tauLow) * (highHz - hz) / (highHz - lowHz);
      const double a = amp * noise.Range(0.4, 1.0), phase = noise.Range(0, 2 * kPi);
      const double w = 2 * kPi * hz / kSr, damp = std::exp(-1.0 / (tau * kSr));
      re.push_back(a * std::cos(phase));
      im.push_back(a * std::sin(phase));
      c.push_back(std::cos(w) * damp);
      s.push_back(std::sin(w) * damp);
      longest = std::max(longest, tau);
    }
    const size_t end = std::min(x.size(), static_cast<size_t>(longest * 9.5 * kSr));
    const size_t n = re.size();
    for (size_t i = 0; i < end; ++i) {
      double sum = 0;
      for (size_t k = 0; k < n; ++k) {
        sum += re[k];
        const double r = re[k] * c[k] - im[k] * s[k];
        im[k] = re[k] * s[k] + im[k] * c[k];
        re[k] = r;
      }
      x[i] += sum;
    }
  }

  void Noise(double amp, TFilters filters, const TEnvelope& env, double start = 0) {
    std::vector<TBiquad> chain(filters);
    TSampledEnvelope e(env);
    for (size_t i = Begin(start), first = i; i < x.size(); ++i) {
      double v = noise.Next();
      for (TBiquad& f : chain) v = f.Run(v);
      x[i] += amp * e.At(i - first) * v;
    }
  }

  // Square waves at the given frequencies, filtered, with an envelope: metal.
  void Metal(std::initializer_list<double> hz, double amp, TFilters filters, const TEnvelope& env) {
    std::vector<double> phase, step;
    for (double f : hz) {
      phase.push_back(noise.Range(0, 1));
      step.push_back(f / kSr);
    }
    std::vector<TBiquad> chain(filters);
    TSampledEnvelope e(env);
    for (size_t i = 0; i < x.size(); ++i) {
      double v = 0;
      for (size_t k = 0; k < phase.size(); ++k) {
        v += phase[k] < 0.5 ? 1.0 : -1.0;
        phase[k] += step[k];
        if (phase[k] >= 1) phase[k] -= 1;
      }
      for (TBiquad& f : chain) v = f.Run(v);
      x[i] += amp * e.At(i) * v / static_cast<double>(phase.size());
    }
  }

  // Clicks at the given times, each ringing through a resonant band.
  void Scrape(const std::vector<double>& times, const std::vector<double>& levels, double hz, double q,
              double amp) {
    std::vector<double> impulses(x.size(), 0.0);
    for (size_t k = 0; k < times.size(); ++k) {
      const size_t i = static_cast<size_t>(times[k] * kSr);
      if (i < impulses.size()) impulses[i] += levels[k];
    }
    TBiquad band = TBiquad::Bandpass(hz, q), second = TBiquad::Bandpass(hz * 1.9, q);
    for (size_t i = 0; i < x.size(); ++i) x[i] += amp * (band.Run(impulses[i]) + 0.4 * second.Run(impulses[i]));
  }

  void Saturate(double drive) {
    for (double& v : x) v = std::tanh(drive * v) / std::tanh(drive);
  }

  // Peak-normalised float frames with a short fade at the end and the padding.
  std::vector<float> Finish(double peak) {
    double top = 0;
    for (double v : x) top = std::max(top, std::fabs(v));
    const double gain = top > 0 ? peak / top : 0;
    const size_t fade = std::min<size_t>(x.size(), static_cast<size_t>(0.004 * kSr));
    std::vector<float> out(x.size() + 2, 0.0f);
    for (size_t i = 0; i < x.size(); ++i) {
      double v = x[i] * gain;
      const size_t left = x.size() - i;
      if (left <= fade) v *= static_cast<double>(left - 1) / static_cast<double>(fade);
      out[i] = static_cast<float>(v);
    }
    return out;
  }

private:
  size_t Begin(double start) const { return std::min(x.size(), static_cast<size_t>(start * kSr)); }

  std::vector<double> x;
  TNoise noise;
};

struct TRecipe {
  const char* name;
  const char* shortName;
  int choke;
  double seconds;
  double peak;
  void (*make)(TMaker&);
};

// ---- the recipes ------------------------------------------------------------

void Tom(TMaker& m, double hz, double seconds) {
  m.Sweep(hz * 1.6, hz, 0.06, 1.0, seconds * 0.35);
  m.Partial(hz * 1.6, 0.22, 0.12);
  m.Noise(0.3, {TBiquad::Lowpass(2500, 0.7)}, Decay(0.006));
}

void Hat(TMaker& m, double highpassHz, const TEnvelope& env) {
  m.Metal({205.3 * 1.45, 304.4 * 1.45, 369.6 * 1.45, 522.7 * 1.45, 540.0 * 1.45, 800.0 * 1.45}, 4.0,
          {TBiquad::Bandpass(10000, 0.8), TBiquad::Highpass(highpassHz, 0.7)}, env);
  m.Noise(0.25, {TBiquad::Highpass(8000, 0.7)}, env);
}

void Conga(TMaker& m, double hz, double tau, bool slap) {
  m.Sweep(hz * 1.12, hz, 0.012, 1.0, tau);
  m.Partial(hz * 1.52, 0.25, tau * 0.5);
  m.Noise(slap ? 0.7 : 0.3, {TBiquad::Bandpass(1600, 1.2)}, Decay(slap ? 0.008 : 0.004));
}

void Timbale(TMaker& m, double hz) {
  m.Sweep(hz * 1.08, hz, 0.015, 1.0, 0.25);
  m.Partial(hz * 2.31, 0.35, 0.3, 0.4);
  m.Partial(hz * 3.73, 0.25, 0.22, 1.1);
  m.Noise(0.3, {TBiquad::Bandpass(4000, 1.0)}, Decay(0.02));
}

void Agogo(TMaker& m, double hz) {
  m.Partial(hz, 1.0, 0.35);
  m.Partial(hz * 2.71, 0.45, 0.22, 0.5);
  m.Partial(hz * 5.1, 0.2, 0.12, 1.3);
  m.Noise(0.2, {TBiquad::Bandpass(3000, 1.0)}, Decay(0.003));
}

void WoodBlock(TMaker& m, double hz) {
  m.Partial(hz, 1.0, 0.05);
  m.Partial(hz * 2.75, 0.3, 0.02, 0.7);
  m.Noise(0.25, {TBiquad::Bandpass(hz * 2, 2.0)}, Decay(0.002));
}

void Whistle(TMaker& m, double seconds) {
  const TEnvelope env = [seconds](double t) {
    const double attack = t < 0.015 ? 0.3 + 0.7 * t / 0.015 : 1.0;
    const double release = t > seconds - 0.04 ? std::max(0.0, (seconds - t) / 0.04) : 1.0;
    return attack * release;
  };
  m.Glide([](double t) { return 2350 + 110 * std::sin(2 * kPi * 27 * t); }, 1.0, env);
  m.Noise(0.12, {TBiquad::Bandpass(2350, 3.0)}, env);
}

void Guiro(TMaker& m, double rate, double seconds, bool twoStrokes) {
  std::vector<double> times, levels;
  const double stroke = twoStrokes ? seconds * 0.42 : seconds * 0.75;
  for (int s = 0; s < (twoStrokes ? 2 : 1); ++s) {
    const double begin = s * seconds * 0.5;
    for (double t = 0; t < stroke; t += 1.0 / rate) {
      times.push_back(begin + t);
      levels.push_back(0.6 + 0.4 * std::sin(kPi * t / stroke));
    }
  }
  m.Scrape(times, levels, 3200, 6.0, 1.0);
  m.Noise(0.05, {TBiquad::Bandpass(3200, 2.0)}, [stroke](double t) { return t < stroke ? 1.0 : 0.0; });
}

void Cuica(TMaker& m, bool open) {
  if (open) {
    m.Glide([](double t) { return t < 0.12 ? 480 + 420 * t / 0.12 : 640 + 260 * std::exp(-(t - 0.12) / 0.1); }, 1.0,
            Decay(0.3));
  } else {
    m.Glide([](double t) { return 520 + 240 * std::min(1.0, t / 0.12); }, 1.0, Decay(0.06));
  }
  m.Glide([open](double t) { return 2 * (open ? 480 + 300 * std::min(1.0, t / 0.12) : 520 + 240 * std::min(1.0, t / 0.12)); },
          0.3, Decay(open ? 0.2 : 0.04));
}

void Triangle(TMaker& m, double tau) {
  const double ratios[] = {1, 2.67, 4.98, 6.2, 8.45, 10.9};
  const double amps[] = {1, 0.6, 0.5, 0.35, 0.3, 0.2};
  for (int k = 0; k < 6; ++k) m.Partial(1250 * ratios[k], amps[k], tau / (1 + 0.25 * k), 0.3 * k);
}

void Surdo(TMaker& m, double tau) {
  m.Sweep(82, 68, 0.04, 1.0, tau);
  m.Partial(68 * 1.6, 0.15, tau * 0.5);
  m.Noise(0.3, {TBiquad::Lowpass(1500, 0.7)}, Decay(0.005));
}

void Crash(TMaker& m, double low, double high, double tau) {
  m.Cluster(26, low, high, 0.35, tau * 1.3, tau * 0.6);
  m.Noise(0.9, {TBiquad::Highpass(low, 0.7)}, [tau](double t) { return 0.6 * std::exp(-t / tau) + 0.6 * std::exp(-t / 0.02); });
}

void Ride(TMaker& m, double low, double high) {
  m.Partial(high * 0.48, 0.5, 1.4);
  m.Partial(high * 0.7, 0.35, 1.1, 0.8);
  m.Cluster(18, low, high, 0.18, 1.9, 1.0);
  m.Noise(0.25, {TBiquad::Highpass(6000, 0.7)}, [](double t) { return 0.4 * std::exp(-t / 1.0) + std::exp(-t / 0.004); });
}

const TRecipe kRecipes[kCellCount] = {
    {"Kick 1", "Kick 1", 0, 0.9, 0.95,
     [](TMaker& m) {
       m.Sweep(160, 52, 0.035, 1.0, 0.32);
       m.Noise(0.35, {TBiquad::Lowpass(3000, 0.7)}, Decay(0.003));
       m.Saturate(1.2);
     }},
    {"Side Stick", "SideStick", 0, 0.3, 0.8,
     [](TMaker& m) {
       m.Partial(1720, 1.0, 0.025);
       m.Partial(2450, 0.5, 0.015, 0.6);
       m.Partial(520, 0.4, 0.04, 1.2);
       m.Noise(0.6, {TBiquad::Highpass(2000, 0.7)}, Decay(0.002));
     }},
    {"Snare 1", "Snare 1", 0, 0.7, 0.9,
     [](TMaker& m) {
       m.Sweep(200, 180, 0.05, 0.8, 0.09);
       m.Partial(330, 0.4, 0.06);
       m.Noise(0.9, {TBiquad::Highpass(1800, 0.7), TBiquad::Lowpass(9000, 0.7)},
               [](double t) { return std::exp(-t / 0.17) + 0.5 * std::exp(-t / 0.01); });
     }},
    {"Hand Clap", "Clap", 0, 0.6, 0.85,
     [](TMaker& m) {
       const TEnvelope env = Bursts({0.0, 0.011, 0.022, 0.034}, 0.0055, 0.14, 0.8);
       m.Noise(1.0, {TBiquad::Bandpass(1150, 1.8)}, env);
       m.Noise(0.4, {TBiquad::Bandpass(2400, 2.0)}, env);
     }},
    {"Snare 2", "Snare 2", 0, 0.5, 0.9,
     [](TMaker& m) {
       m.Sweep(240, 205, 0.03, 1.0, 0.07);
       m.Partial(410, 0.3, 0.05);
       m.Noise(0.6, {TBiquad::Highpass(2200, 0.7), TBiquad::Lowpass(10000, 0.7)}, Decay(0.12));
       m.Saturate(1.5);
     }},
    {"Low Floor Tom", "Floor Lo", 0, 1.1, 0.9, [](TMaker& m) { Tom(m, 80, 1.1); }},
    {"Closed Hi-Hat", "HH Closed", 1, 0.25, 0.6, [](TMaker& m) { Hat(m, 7000, Decay(0.022)); }},
    {"High Floor Tom", "Floor Hi", 0, 1.0, 0.9, [](TMaker& m) { Tom(m, 96, 1.0); }},
    {"Pedal Hi-Hat", "HH Pedal", 1, 0.35, 0.55, [](TMaker& m) { Hat(m, 5500, Decay(0.045)); }},
    {"Low Tom", "Tom Low", 0, 0.9, 0.9, [](TMaker& m) { Tom(m, 112, 0.9); }},
    {"Open Hi-Hat", "HH Open", 1, 1.6, 0.6, [](TMaker& m) { Hat(m, 7000, Decay(0.38)); }},
    {"Low-Mid Tom", "Tom LoMid", 0, 0.85, 0.9, [](TMaker& m) { Tom(m, 130, 0.85); }},
    {"Hi-Mid Tom", "Tom HiMid", 0, 0.8, 0.9, [](TMaker& m) { Tom(m, 150, 0.8); }},
    {"Crash Cymbal 1", "Crash 1", 0, 3.2, 0.7, [](TMaker& m) { Crash(m, 3000, 12000, 0.9); }},
    {"High Tom", "Tom High", 0, 0.75, 0.9, [](TMaker& m) { Tom(m, 176, 0.75); }},
    {"Ride Cymbal 1", "Ride 1", 0, 3.0, 0.6, [](TMaker& m) { Ride(m, 4000, 9000); }},
    {"China Cymbal", "China", 0, 2.8, 0.7,
     [](TMaker& m) {
       m.Metal({338, 481, 572, 800, 910, 1274}, 4.0, {TBiquad::Bandpass(3500, 0.7), TBiquad::Highpass(1500, 0.7)},
               Decay(0.8));
       m.Noise(0.5, {TBiquad::Bandpass(4500, 0.8)}, Decay(0.6));
       m.Saturate(2.0);
     }},
    {"Ride Bell", "Ride Bell", 0, 2.5, 0.6,
     [](TMaker& m) {
       const double hz[] = {720, 1064, 1580, 2210, 3050};
       for (int k = 0; k < 5; ++k) m.Partial(hz[k], 1.0 / (1 + k), 1.5 / (1 + 0.3 * k), 0.5 * k);
       m.Cluster(10, 4000, 8000, 0.08, 1.5, 0.8);
     }},
    {"Tambourine", "Tambourin", 0, 0.7, 0.6,
     [](TMaker& m) {
       m.Noise(1.0, {TBiquad::Highpass(6000, 0.7)}, Bursts({0.0, 0.017, 0.035}, 0.03, 0.22, 0.7));
       m.Cluster(8, 5500, 10500, 0.15, 0.25, 0.12);
     }},
    {"Splash Cymbal", "Splash", 0, 1.2, 0.65, [](TMaker& m) { Crash(m, 4500, 13000, 0.35); }},
    {"Cowbell", "Cowbell", 0, 0.7, 0.7,
     [](TMaker& m) {
       m.Metal({540, 800}, 1.0, {TBiquad::Bandpass(900, 1.0)},
               [](double t) { return 0.6 * std::exp(-t / 0.015) + 0.4 * std::exp(-t / 0.22); });
       m.Partial(540 * 3, 0.1, 0.1);
     }},
    {"Crash Cymbal 2", "Crash 2", 0, 3.6, 0.7, [](TMaker& m) { Crash(m, 2500, 10000, 1.1); }},
    {"Vibraslap", "Vibraslap", 0, 1.3, 0.6,
     [](TMaker& m) {
       double t = 0, gap = 0.028;
       while (t < 1.1) {
         const double level = std::exp(-t / 0.35);
         m.Partial(2300, level, 0.012, 0, t);
         m.Partial(3500, level * 0.6, 0.01, 0.5, t);
         m.Partial(5100, level * 0.3, 0.008, 1.0, t);
         t += gap;
         gap *= 1.02;
       }
       m.Partial(1100, 0.5, 0.3);
     }},
    {"Ride Cymbal 2", "Ride 2", 0, 3.0, 0.6, [](TMaker& m) { Ride(m, 3000, 7000); }},
    {"Hi Bongo", "Bongo Hi", 0, 0.45, 0.85,
     [](TMaker& m) {
       m.Sweep(480, 420, 0.02, 1.0, 0.09);
       m.Partial(420 * 1.6, 0.3, 0.05);
       m.Noise(0.4, {TBiquad::Bandpass(2000, 1.0)}, Decay(0.004));
     }},
    {"Low Bongo", "Bongo Lo", 0, 0.55, 0.85,
     [](TMaker& m) {
       m.Sweep(330, 290, 0.02, 1.0, 0.13);
       m.Partial(290 * 1.6, 0.3, 0.06);
       m.Noise(0.4, {TBiquad::Bandpass(1800, 1.0)}, Decay(0.004));
     }},
    {"Mute Hi Conga", "Conga Mut", 7, 0.3, 0.85, [](TMaker& m) { Conga(m, 330, 0.045, true); }},
    {"Open Hi Conga", "Conga Opn", 7, 0.7, 0.85, [](TMaker& m) { Conga(m, 330, 0.22, false); }},
    {"Low Conga", "Conga Low", 0, 0.8, 0.85, [](TMaker& m) { Conga(m, 220, 0.28, false); }},
    {"High Timbale", "Timbal Hi", 0, 0.9, 0.8, [](TMaker& m) { Timbale(m, 520); }},
    {"Low Timbale", "Timbal Lo", 0, 0.9, 0.8, [](TMaker& m) { Timbale(m, 410); }},
    {"High Agogo", "Agogo Hi", 0, 0.9, 0.7, [](TMaker& m) { Agogo(m, 930); }},
    {"Low Agogo", "Agogo Lo", 0, 0.9, 0.7, [](TMaker& m) { Agogo(m, 700); }},
    {"Cabasa", "Cabasa", 0, 0.3, 0.5,
     [](TMaker& m) { m.Noise(1.0, {TBiquad::Highpass(4500, 0.7)}, Swell(0.5, 0.006, 0.05)); }},
    {"Maracas", "Maracas", 0, 0.2, 0.5,
     [](TMaker& m) { m.Noise(1.0, {TBiquad::Bandpass(7000, 0.9)}, Swell(0.6, 0.003, 0.035)); }},
    {"Short Whistle", "Whistle S", 5, 0.25, 0.6, [](TMaker& m) { Whistle(m, 0.25); }},
    {"Long Whistle", "Whistle L", 5, 0.9, 0.6, [](TMaker& m) { Whistle(m, 0.9); }},
    {"Short Guiro", "Guiro S", 6, 0.25, 0.6, [](TMaker& m) { Guiro(m, 55, 0.25, false); }},
    {"Long Guiro", "Guiro L", 6, 0.7, 0.6, [](TMaker& m) { Guiro(m, 40, 0.7, true); }},
    {"Claves", "Claves", 0, 0.3, 0.8,
     [](TMaker& m) {
       m.Partial(2500, 1.0, 0.045);
       m.Partial(5300, 0.1, 0.02, 0.5);
     }},
    {"Hi Wood Block", "Wood Hi", 0, 0.3, 0.8, [](TMaker& m) { WoodBlock(m, 1660); }},
    {"Low Wood Block", "Wood Lo", 0, 0.3, 0.8, [](TMaker& m) { WoodBlock(m, 1170); }},
    {"Mute Cuica", "Cuica Mut", 3, 0.3, 0.7, [](TMaker& m) { Cuica(m, false); }},
    {"Open Cuica", "Cuica Opn", 3, 0.7, 0.7, [](TMaker& m) { Cuica(m, true); }},
    {"Mute Triangle", "Tri Mute", 2, 0.35, 0.5, [](TMaker& m) { Triangle(m, 0.07); }},
    {"Open Triangle", "Tri Open", 2, 3.0, 0.5, [](TMaker& m) { Triangle(m, 1.6); }},
    {"Shaker", "Shaker", 0, 0.35, 0.5,
     [](TMaker& m) { m.Noise(1.0, {TBiquad::Bandpass(6000, 0.7)}, Swell(0.3, 0.02, 0.06)); }},
    {"Jingle Bell", "Jingle", 0, 0.9, 0.5,
     [](TMaker& m) {
       const double starts[] = {0.0, 0.03, 0.07};
       const double hz[] = {3900, 5600, 7700, 9400};
       for (double s : starts)
         for (int k = 0; k < 4; ++k) m.Partial(hz[k] * (1 + 0.01 * s), 1.0 / (1 + k), 0.15, k, s);
       m.Noise(0.3, {TBiquad::Highpass(5000, 0.7)}, Bursts({0.0, 0.03, 0.07}, 0.01, 0.05, 1.0));
     }},
    {"Bell Tree", "Bell Tree", 0, 2.5, 0.5,
     [](TMaker& m) {
       for (int k = 0; k < 14; ++k) {
         const double hz = 4200 * std::pow(1900.0 / 4200.0, k / 13.0);
         m.Partial(hz, 0.6 + 0.03 * k, 0.6, 0.2 * k, k * 0.045);
         m.Partial(hz * 2.76, 0.2, 0.25, 0.5 * k, k * 0.045);
       }
     }},
    {"Castanets", "Castanets", 0, 0.2, 0.7,
     [](TMaker& m) {
       for (double s : {0.0, 0.022}) {
         m.Partial(2100, 1.0, 0.012, 0, s);
         m.Partial(3400, 0.3, 0.008, 0.7, s);
         m.Noise(0.5, {TBiquad::Highpass(3000, 0.7)}, Decay(0.002), s);
       }
     }},
    {"Mute Surdo", "Surdo Mut", 4, 0.5, 0.9, [](TMaker& m) { Surdo(m, 0.12); }},
    {"Open Surdo", "Surdo Opn", 4, 1.8, 0.9, [](TMaker& m) { Surdo(m, 0.75); }},
    {"Kick 2", "Kick 2", 0, 1.6, 0.95,
     [](TMaker& m) {
       m.Sweep(120, 46, 0.055, 1.0, 0.55);
       m.Noise(0.15, {TBiquad::Lowpass(1500, 0.7)}, Decay(0.004));
       m.Saturate(1.8);
     }},
    {"Rim Shot", "Rim Shot", 0, 0.6, 0.9,
     [](TMaker& m) {
       m.Sweep(210, 190, 0.04, 0.7, 0.07);
       m.Partial(1000, 0.5, 0.012);
       m.Partial(3200, 0.3, 0.008, 0.9);
       m.Noise(1.0, {TBiquad::Highpass(2000, 0.7)}, [](double t) { return std::exp(-t / 0.09) + std::exp(-t / 0.002); });
     }},
};

}  // namespace

TSampleBank::TSampleBank() {
  for (int cell = 0; cell < kCellCount; ++cell) {
    const TRecipe& r = kRecipes[cell];
    TMaker maker(r.seconds, 0x1234567u + 7919u * static_cast<uint32_t>(cell));
    r.make(maker);
    cells[cell].name = r.name;
    cells[cell].shortName = r.shortName;
    cells[cell].defaultChoke = r.choke;
    cells[cell].frames = maker.Finish(r.peak);
  }
}

int TSampleBank::DefaultChoke(int cell) { return cell >= 0 && cell < kCellCount ? kRecipes[cell].choke : 0; }

const TSampleBank& TSampleBank::Shared() {
  static const TSampleBank bank;
  return bank;
}

size_t TSampleBank::TotalFrames() const {
  size_t total = 0;
  for (const TCellSound& c : cells) total += static_cast<size_t>(c.Length());
  return total;
}
