#include "TSampleBank.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr double kSr = kBankSampleRate;
constexpr double kPi = 3.14159265358979323846;

// The hardness each layer is made with: 0 the softest touch, 1 the hardest hit.
constexpr double kLayerHardness[TCellSound::layerCount] = {0.2, 0.6, 1.0};

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
  static double Omega(double hz) { return 2 * kPi * std::min(hz, 0.45 * kSr) / kSr; }
  static TBiquad Bandpass(double hz, double q) {
    const double w = Omega(hz), alpha = std::sin(w) / (2 * q);
    return Make(alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w), 1 - alpha);
  }
  static TBiquad Highpass(double hz, double q = 0.7071) {
    const double w = Omega(hz), alpha = std::sin(w) / (2 * q), c = std::cos(w);
    return Make((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  static TBiquad Lowpass(double hz, double q = 0.7071) {
    const double w = Omega(hz), alpha = std::sin(w) / (2 * q), c = std::cos(w);
    return Make((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  // A peak of `db` at hz (negative for a dip).
  static TBiquad Peak(double hz, double q, double db) {
    const double w = Omega(hz), alpha = std::sin(w) / (2 * q), a = std::pow(10.0, db / 40);
    return Make(1 + alpha * a, -2 * std::cos(w), 1 - alpha * a, 1 + alpha / a, -2 * std::cos(w), 1 - alpha / a);
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
// A fast part and a slow part: level 1 decaying with fastTau plus `slowLevel`
// decaying with slowTau.
TEnvelope Decay2(double fastTau, double slowLevel, double slowTau) {
  return [=](double t) { return (1 - slowLevel) * std::exp(-t / fastTau) + slowLevel * std::exp(-t / slowTau); };
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

// Frames until exp(-t / tau) has fallen by `db`.
size_t FramesFor(double tau, double db = 80) { return static_cast<size_t>(tau * db / 8.686 * kSr) + 1; }

// What the layers of one cell share: the raw metal of each set of squares, which
// does not depend on the hardness.
struct TCellCache {
  std::map<std::pair<std::vector<double>, double>, std::vector<float>> metal;
};

// One sound being made, in double precision. `hard` is the layer's hardness.
class TMaker {
public:
  TMaker(double seconds, uint32_t seed, double hard, TCellCache& cache)
      : hard(hard), x(static_cast<size_t>(seconds * kSr), 0.0), noise(seed), cache(cache) {}

  const double hard;  // 0 soft .. 1 hardest
  // Between soft and hard by the hardness.
  double By(double soft, double hardest) const { return soft + (hardest - soft) * hard; }

  size_t Frames() const { return x.size(); }
  TNoise& Random() { return noise; }

  // A drum membrane's mode: a cosine whose pitch falls from f * (1 + bend) to f
  // with pitchTau, decaying with ampTau.
  void Membrane(double f, double bend, double pitchTau, double amp, double ampTau, double start = 0) {
    const double ampStep = std::exp(-1.0 / (ampTau * kSr)), pitchStep = std::exp(-1.0 / (pitchTau * kSr));
    double phase = 0, level = amp, b = bend;
    const size_t end = std::min(x.size(), Begin(start) + FramesFor(ampTau));
    for (size_t i = Begin(start); i < end; ++i) {
      x[i] += level * std::sin(phase);
      phase += 2 * kPi * f * (1 + b) / kSr;
      level *= ampStep;
      b *= pitchStep;
    }
  }

  // A cosine whose pitch follows a curve, with an envelope.
  void Glide(const std::function<double(double)>& hz, double amp, const TEnvelope& env) {
    double phase = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double t = static_cast<double>(i) / kSr;
      x[i] += amp * env(t) * std::sin(phase);
      phase += 2 * kPi * hz(t) / kSr;
    }
  }

  // A decaying partial, made by a damped rotating phasor (cheap and exact enough).
  void Partial(double hz, double amp, double tau, double phase = 0, double start = 0) {
    if (hz >= 0.48 * kSr) return;
    const double w = 2 * kPi * hz / kSr, damp = std::exp(-1.0 / (tau * kSr));
    const double c = std::cos(w) * damp, s = std::sin(w) * damp;
    double re = amp * std::sin(phase), im = amp * std::cos(phase);
    const size_t end = std::min(x.size(), Begin(start) + FramesFor(tau));
    for (size_t i = Begin(start); i < end; ++i) {
      x[i] += re;
      const double r = re * c - im * s;
      im = re * s + im * c;
      re = r;
    }
  }

  void Noise(double amp, TFilters filters, const TEnvelope& env, double start = 0, double seconds = 1e9) {
    std::vector<TBiquad> chain(filters);
    TSampledEnvelope e(env);
    const size_t first = Begin(start), end = std::min(x.size(), first + static_cast<size_t>(seconds * kSr));
    for (size_t i = first; i < end; ++i) {
      double v = noise.Next();
      for (TBiquad& f : chain) v = f.Run(v);
      x[i] += amp * e.At(i - first) * v;
    }
  }

  // A stick or beater: a burst of noise a few milliseconds long through a band.
  void Click(double amp, double hz, double q, double tau, double start = 0) {
    Noise(amp, {TBiquad::Bandpass(hz, q)}, Decay(tau), start, tau * 12);
  }

  // Square waves at the given frequencies, each pair also ring-modulated, through
  // the filters, with an envelope: the way drum machines make metal. The squares
  // are not band-limited on purpose: their folded harmonics thicken the wash.
  void Metal(const std::vector<double>& hz, double amp, TFilters filters, const TEnvelope& env, double ring = 0.5) {
    const std::vector<float>& raw = RawMetal(hz, ring);
    std::vector<TBiquad> chain(filters);
    TSampledEnvelope e(env);
    for (size_t i = 0; i < x.size(); ++i) {
      double v = raw[i];
      for (TBiquad& f : chain) v = f.Run(v);
      x[i] += amp * e.At(i) * v;
    }
  }

  // Many decaying partials with frequencies and phases drawn from the noise,
  // spread evenly in pitch between lowHz and highHz; the higher, the shorter.
  void Cluster(int count, double lowHz, double highHz, double amp, double tauLow, double tauHigh, double start = 0) {
    for (int k = 0; k < count; ++k) {
      const double at = (k + noise.Range(0, 1)) / count;
      const double hz = lowHz * std::pow(highHz / lowHz, at);
      Partial(hz, amp * noise.Range(0.5, 1.0), tauLow + (tauHigh - tauLow) * at, noise.Range(0, 2 * kPi), start);
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

  void Filter(TFilters filters) {
    std::vector<TBiquad> chain(filters);
    for (double& v : x)
      for (TBiquad& f : chain) v = f.Run(v);
  }

  // The sound as float frames: darker and slower to reach its peak the softer the
  // touch, peak-normalised, ending where it has fallen 80 dB below its peak, with a
  // short fade there and the padding.
  TSample Finish(double peak, double softAttack = 0.0025) {
    Soften();
    const size_t attack = static_cast<size_t>(By(softAttack, 0.0002) * kSr);
    for (size_t i = 0; i < attack && i < x.size(); ++i) x[i] *= 0.5 - 0.5 * std::cos(kPi * (i + 0.5) / attack);
    double top = 0;
    for (double v : x) top = std::max(top, std::fabs(v));
    const double gain = top > 0 ? peak / top : 0;
    const double floor = top * std::pow(10.0, -80.0 / 20);
    size_t end = x.size();
    while (end > 0 && std::fabs(x[end - 1]) < floor) --end;
    const size_t fade = std::min<size_t>(end, static_cast<size_t>(0.01 * kSr));
    TSample s;
    s.channels = 1;
    s.rate = kSr;
    s.frames.assign(end, 0.0f);
    for (size_t i = 0; i < end; ++i) {
      double v = x[i] * gain;
      const size_t left = end - i;
      if (left <= fade) v *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(left - 1) / fade);
      s.frames[i] = static_cast<float>(v);
    }
    s.Pad();
    return s;
  }

private:
  size_t Begin(double start) const { return std::min(x.size(), static_cast<size_t>(start * kSr)); }

  // The squares' sum, with the products of pairs, made once per cell: the phases are
  // 32-bit counters whose top bit is the square's sign.
  const std::vector<float>& RawMetal(const std::vector<double>& hz, double ring) {
    std::vector<float>& raw = cache.metal[{hz, ring}];
    if (raw.size() >= x.size()) return raw;
    TNoise start(0x5EED1234u);
    const size_t n = hz.size();
    std::vector<uint32_t> phase(n), step(n);
    for (size_t k = 0; k < n; ++k) {
      phase[k] = static_cast<uint32_t>(start.Range(0, 4294967295.0));
      step[k] = static_cast<uint32_t>(hz[k] / kSr * 4294967296.0);
    }
    const float scale = 1.0f / static_cast<float>(n), ringScale = static_cast<float>(ring) * scale;
    raw.assign(x.size(), 0.0f);
    for (size_t i = 0; i < raw.size(); ++i) {
      int32_t sum = 0, products = 0;
      for (size_t k = 0; k < n; ++k) {
        sum += 1 - 2 * static_cast<int32_t>(phase[k] >> 31);
        phase[k] += step[k];
      }
      for (size_t k = 0; k + 1 < n; k += 2) products += 1 - 2 * static_cast<int32_t>((phase[k] ^ phase[k + 1]) >> 31);
      raw[i] = static_cast<float>(sum) * scale + static_cast<float>(products) * ringScale;
    }
    return raw;
  }

  // A softer touch excites the highs less: a gentle low-pass whose corner rises with
  // the hardness (about 3 kHz for the softest layer), none for the hardest.
  void Soften() {
    const double corner = 1800 * std::pow(10.0, 1.15 * hard);
    if (corner > 0.4 * kSr) return;
    const double a = std::exp(-2 * kPi * corner / kSr);
    double y = 0;
    for (double& v : x) v = y = (1 - a) * v + a * y;
  }

  std::vector<double> x;
  TNoise noise;
  TCellCache& cache;
};

struct TRecipe {
  const char* name;
  const char* shortName;
  int choke;
  double seconds;  // room enough for the sound to die away; the rest is cut off
  double peak;
  void (*make)(TMaker&);
};

// ---- the recipes ------------------------------------------------------------

// A kick: a beater click, a short knock of the shell, and a body whose pitch
// settles quickly; harder hits click more and bend further.
void Kick(TMaker& m, double hz, double tau) {
  m.Membrane(hz, m.By(0.3, 1.3), 0.022, 1.0, tau);
  m.Membrane(hz * 1.6, 0.2, 0.02, m.By(0.05, 0.25), tau * 0.3);
  m.Partial(hz * 3.1, m.By(0.02, 0.18), 0.02, 0.5);
  m.Click(m.By(0.15, 2.6), 3500, 0.9, 0.0012);
  m.Click(m.By(0.1, 1.2), 1200, 1.2, 0.002);
  m.Saturate(m.By(1.0, 1.8));
}

// A snare: the head's modes with a little bend, the wires' noise, the stick.
void Snare(TMaker& m, double hz, double wireTau, double wireLevel) {
  m.Membrane(hz, 0.06, 0.02, 1.0, 0.06);
  m.Membrane(hz * 1.59, 0.05, 0.02, 0.5, 0.045);
  m.Partial(hz * 2.14, m.By(0.15, 0.35), 0.03, 0.3);
  m.Partial(hz * 2.65, m.By(0.08, 0.25), 0.025, 1.1);
  const double bright = m.By(4500, 11000);
  m.Noise(wireLevel, {TBiquad::Highpass(1400), TBiquad::Lowpass(bright)}, Decay2(0.02, 0.45, wireTau));
  m.Click(m.By(0.3, 1.4), 4500, 1.0, 0.0015);
}

// A tom: the fundamental bends down a semitone or two at the most, the upper modes
// die away sooner, the stick adds a short attack.
void Tom(TMaker& m, double hz, double tau) {
  m.Membrane(hz, m.By(0.05, 0.11), 0.08, 1.0, tau);
  m.Membrane(hz * 1.504, m.By(0.04, 0.08), 0.06, m.By(0.06, 0.8), tau * 0.5);
  m.Partial(hz * 1.982, m.By(0.02, 0.5), tau * 0.35, 0.7);
  m.Partial(hz * 2.44, m.By(0.01, 0.35), tau * 0.25, 1.9);
  m.Noise(m.By(0.05, 0.7), {TBiquad::Lowpass(m.By(1200, 5000))}, Decay(0.006), 0, 0.08);
  m.Click(m.By(0.05, 0.9), 2500, 0.8, 0.0015);
}

const std::vector<double> kHatHz = {317, 465, 540, 801, 1043, 1230, 1361, 1731};

// Hi-hats: detuned squares and noise through high bands; harder is brighter.
void Hat(TMaker& m, const TEnvelope& env, double lowHz) {
  const double bright = m.By(9000, 15000);
  m.Metal(kHatHz, 4.0, {TBiquad::Highpass(lowHz), TBiquad::Highpass(lowHz), TBiquad::Lowpass(bright)}, env, 0.7);
  m.Noise(m.By(0.3, 0.5), {TBiquad::Highpass(lowHz), TBiquad::Lowpass(bright)}, env);
  m.Click(m.By(0.1, 0.5), 9000, 1.0, 0.001);
}

// Cymbal metal: three sets of eight detuned squares, ring-modulated in pairs, all
// below 2 kHz so that above the cymbal's high-pass only their overtones, folded
// overtones and products sound, densely.
std::vector<double> CymbalHz(double scale, uint32_t seed) {
  TNoise n(seed);
  std::vector<double> hz;
  for (double f : kHatHz) hz.push_back(f * scale * n.Range(0.97, 1.03));
  for (double f : kHatHz) hz.push_back(f * scale * 1.17 * n.Range(0.97, 1.03));
  for (double f : kHatHz) hz.push_back(f * scale * 0.86 * n.Range(0.97, 1.03));
  return hz;
}

// A crashed cymbal: a wash from a few hundred hertz up, made of metal and noise,
// whose highs die away sooner than its middle and its lows; harder hits are
// brighter.
void Crash(TMaker& m, double scale, double tau, double lowHz) {
  const double bright = m.By(7000, 15000);
  const auto hz = CymbalHz(scale, 17);
  const TBiquad high = TBiquad::Highpass(3000);
  m.Metal(hz, 5.0, {high, high, high, TBiquad::Lowpass(7500), TBiquad::Lowpass(bright)}, Decay2(0.05, 0.6, tau), 0.8);
  m.Metal(hz, 4.0, {TBiquad::Highpass(7500), TBiquad::Highpass(7500), TBiquad::Lowpass(bright)},
          Decay2(0.04, 0.5, tau * 0.45), 0.8);
  m.Noise(0.65, {TBiquad::Highpass(2000), TBiquad::Lowpass(bright), TBiquad::Peak(5000, 0.7, 4)},
          Decay2(0.04, 0.5, tau * 0.7));
  // The body below: a darker wash that rings a little longer.
  m.Noise(0.4, {TBiquad::Highpass(lowHz), TBiquad::Lowpass(3000), TBiquad::Peak(lowHz * 3, 0.8, 5)},
          Decay2(0.08, 0.6, tau * 1.3));
  m.Click(m.By(0.2, 0.8), 6000, 0.8, 0.003);
}

// A ride: the stick's ping, then a quieter wash that rings long.
void Ride(TMaker& m, double scale, double pingHz, double tau) {
  const double bright = m.By(7000, 14000);
  const auto hz = CymbalHz(scale, 29);
  const TBiquad high = TBiquad::Highpass(3000);
  m.Metal(hz, 2.5, {high, high, high, TBiquad::Lowpass(bright)}, Decay2(0.03, 0.7, tau), 0.8);
  m.Noise(0.5, {TBiquad::Highpass(2200), TBiquad::Lowpass(bright), TBiquad::Peak(6000, 0.8, 4)},
          Decay2(0.02, 0.6, tau * 0.6));
  m.Noise(0.14, {TBiquad::Highpass(400), TBiquad::Lowpass(3000)}, Decay2(0.05, 0.6, tau));
  // The ping: the stick on the bow, a bright short knock with a hint of pitch.
  m.Click(m.By(0.8, 2.6), pingHz, 2.5, 0.004);
  m.Click(m.By(0.3, 1.4), pingHz * 2.1, 1.5, 0.002);
}

void Conga(TMaker& m, double hz, double tau, double slap) {
  m.Membrane(hz, m.By(0.02, 0.05), 0.015, 1.0, tau);
  m.Partial(hz * 1.52, m.By(0.08, 0.6), tau * 0.5, 0.4);
  m.Partial(hz * 2.05, m.By(0.02, 0.35), tau * 0.3, 1.2);
  // The slap: the hand's flat strike, bright and short.
  m.Click(slap * m.By(0.5, 3.2), 1800, 1.0, 0.004);
  m.Click(slap * m.By(0.2, 1.6), 3500, 1.2, 0.002);
  m.Cluster(8, 1200, 4000, slap * m.By(0.02, 0.08), 0.03, 0.015);
}

void Bongo(TMaker& m, double hz, double tau) {
  m.Membrane(hz, m.By(0.02, 0.06), 0.012, 1.0, tau);
  m.Partial(hz * 1.58, m.By(0.08, 0.5), tau * 0.45, 0.6);
  m.Partial(hz * 2.2, m.By(0.02, 0.25), tau * 0.3, 1.6);
  m.Click(m.By(0.4, 3.0), 2600, 1.0, 0.003);
  m.Click(m.By(0.1, 1.5), 5000, 1.2, 0.0015);
}

void Timbale(TMaker& m, double hz) {
  m.Membrane(hz, m.By(0.03, 0.06), 0.015, 1.0, 0.22);
  m.Partial(hz * 2.31, m.By(0.2, 0.4), 0.28, 0.4);
  m.Partial(hz * 3.73, m.By(0.12, 0.3), 0.2, 1.1);
  m.Partial(hz * 5.2, m.By(0.04, 0.15), 0.12, 2.0);
  m.Click(m.By(0.4, 1.2), 4000, 1.0, 0.003);
}

void Surdo(TMaker& m, double hz, double tau) {
  m.Membrane(hz, m.By(0.08, 0.16), 0.04, 1.0, tau);
  m.Membrane(hz * 1.6, 0.05, 0.03, m.By(0.05, 0.75), tau * 0.45);
  m.Partial(hz * 2.3, m.By(0.01, 0.4), tau * 0.3, 0.8);
  m.Noise(m.By(0.03, 0.8), {TBiquad::Lowpass(m.By(700, 3000))}, Decay(0.006), 0, 0.08);
  m.Click(m.By(0.02, 0.5), 1500, 0.8, 0.002);
}

void Agogo(TMaker& m, double hz) {
  m.Partial(hz, 1.0, 0.3);
  m.Partial(hz * 2.71, m.By(0.25, 0.55), 0.2, 0.5);
  m.Partial(hz * 5.1, m.By(0.06, 0.25), 0.1, 1.3);
  m.Click(m.By(0.15, 0.6), 3000, 1.0, 0.002);
}

void WoodBlock(TMaker& m, double hz) {
  m.Partial(hz, 1.0, 0.04);
  m.Partial(hz * 2.75, m.By(0.06, 0.6), 0.025, 0.7);
  m.Click(m.By(0.1, 0.9), hz * 2, 2.0, 0.0015);
}

void Whistle(TMaker& m, double seconds) {
  // The breath stops: the tone dies away within a few tens of milliseconds.
  const TEnvelope env = [seconds](double t) {
    const double attack = t < 0.015 ? 0.3 + 0.7 * t / 0.015 : 1.0;
    return attack * (t < seconds ? 1.0 : std::exp(-(t - seconds) / 0.01));
  };
  const auto pitch = [](double t) { return 2350 + 110 * std::sin(2 * kPi * 27 * t); };
  m.Glide(pitch, 1.0, env);
  // Blown harder, the whistle gets its overtones.
  m.Glide([&](double t) { return 2 * pitch(t); }, m.By(0.03, 0.45), env);
  m.Glide([&](double t) { return 3 * pitch(t); }, m.By(0.01, 0.2), env);
  m.Noise(m.By(0.06, 0.18), {TBiquad::Bandpass(2350, 3.0)}, env);
}

void Guiro(TMaker& m, double rate, double seconds, bool twoStrokes) {
  std::vector<double> times, levels;
  const double stroke = twoStrokes ? seconds * 0.42 : seconds * 0.75;
  for (int s = 0; s < (twoStrokes ? 2 : 1); ++s) {
    const double begin = s * seconds * 0.5;
    // Each stroke swells and fades: the stick slows at its ends.
    for (double t = 0.5 / rate; t < stroke; t += 1.0 / rate) {
      times.push_back(begin + t);
      levels.push_back(std::pow(std::sin(kPi * t / stroke), 0.7));
    }
  }
  m.Scrape(times, levels, m.By(2600, 3600), 10.0, 1.5);
  m.Noise(m.By(0.02, 0.08), {TBiquad::Bandpass(m.By(2600, 4500), 2.0)},
          [stroke](double t) { return t < stroke ? 1.0 : std::exp(-(t - stroke) / 0.008); });
}

void Cuica(TMaker& m, bool open) {
  if (open) {
    m.Glide([](double t) { return t < 0.12 ? 480 + 420 * t / 0.12 : 640 + 260 * std::exp(-(t - 0.12) / 0.1); }, 1.0,
            Decay(0.15));
  } else {
    m.Glide([](double t) { return 520 + 240 * std::min(1.0, t / 0.12); }, 1.0, Decay(0.05));
  }
  const double tau = open ? 0.1 : 0.03;
  m.Glide([open](double t) { return 2 * (open ? 480 + 300 * std::min(1.0, t / 0.12) : 520 + 240 * std::min(1.0, t / 0.12)); },
          m.By(0.06, 0.6), Decay(tau));
  m.Glide([open](double t) { return 3 * (open ? 480 + 300 * std::min(1.0, t / 0.12) : 520 + 240 * std::min(1.0, t / 0.12)); },
          m.By(0.01, 0.35), Decay(tau));
  m.Click(m.By(0.05, 0.4), 2500, 1.0, 0.002);
}

void Triangle(TMaker& m, double tau) {
  const double ratios[] = {1, 2.67, 4.98, 6.2, 8.45, 10.9};
  const double amps[] = {1, 0.6, 0.5, 0.35, 0.3, 0.2};
  for (int k = 0; k < 6; ++k)
    m.Partial(1250 * ratios[k], amps[k] * (k == 0 ? 1.0 : m.By(0.35, 1.0)), tau / (1 + 0.25 * k), 0.3 * k);
  m.Click(m.By(0.1, 0.5), 7000, 1.0, 0.001);
}

const TRecipe kRecipes[kCellCount] = {
    {"Kick 1", "Kick 1", 0, 1.2, 0.72, [](TMaker& m) { Kick(m, 58, 0.085); }},
    {"Side Stick", "SideStick", 0, 0.5, 0.8,
     [](TMaker& m) {
       m.Partial(1720, 1.0, 0.022);
       m.Partial(2450, m.By(0.1, 0.8), 0.016, 0.6);
       m.Partial(520, 0.45, 0.035, 1.2);
       m.Click(m.By(0.2, 2.0), 4000, 0.8, 0.0015);
     }},
    {"Snare 1", "Snare 1", 0, 1.4, 0.7, [](TMaker& m) { Snare(m, 185, 0.14, 0.9); }},
    {"Hand Clap", "Clap", 0, 1.0, 0.85,
     [](TMaker& m) {
       const TEnvelope env = Bursts({0.0, 0.011, 0.022, 0.034}, 0.0055, 0.11, 0.8);
       m.Noise(1.0, {TBiquad::Bandpass(m.By(950, 1300), 1.6)}, env);
       m.Noise(m.By(0.2, 0.6), {TBiquad::Bandpass(m.By(2000, 3000), 1.8)}, env);
     }},
    {"Snare 2", "Snare 2", 0, 1.2, 0.7,
     [](TMaker& m) {
       Snare(m, 225, 0.11, 0.75);
       m.Saturate(m.By(1.0, 1.6));
     }},
    {"Low Floor Tom", "Floor Lo", 0, 2.6, 0.68, [](TMaker& m) { Tom(m, 82, 0.3); }},
    {"Closed Hi-Hat", "HH Closed", 1, 0.6, 0.6, [](TMaker& m) { Hat(m, Decay2(m.By(0.02, 0.028), 0.15, 0.06), 6500); }},
    {"High Floor Tom", "Floor Hi", 0, 2.4, 0.68, [](TMaker& m) { Tom(m, 98, 0.28); }},
    {"Pedal Hi-Hat", "HH Pedal", 1, 0.6, 0.55,
     [](TMaker& m) {
       Hat(m, Decay2(0.018, 0.1, 0.05), 5000);
       m.Noise(m.By(0.15, 0.3), {TBiquad::Bandpass(900, 1.5)}, Decay(0.01), 0, 0.15);
     }},
    {"Low Tom", "Tom Low", 0, 2.2, 0.68, [](TMaker& m) { Tom(m, 115, 0.26); }},
    {"Open Hi-Hat", "HH Open", 1, 2.6, 0.6, [](TMaker& m) { Hat(m, Decay2(0.03, 0.75, m.By(0.26, 0.32)), 6000); }},
    {"Low-Mid Tom", "Tom LoMid", 0, 2.0, 0.68, [](TMaker& m) { Tom(m, 134, 0.24); }},
    {"Hi-Mid Tom", "Tom HiMid", 0, 1.9, 0.68, [](TMaker& m) { Tom(m, 155, 0.22); }},
    {"Crash Cymbal 1", "Crash 1", 0, 4.2, 0.7, [](TMaker& m) { Crash(m, 1.0, 0.5, 300); }},
    {"High Tom", "Tom High", 0, 1.8, 0.68, [](TMaker& m) { Tom(m, 180, 0.2); }},
    {"Ride Cymbal 1", "Ride 1", 0, 4.5, 0.6, [](TMaker& m) { Ride(m, 0.95, 4200, 0.55); }},
    {"China Cymbal", "China", 0, 3.2, 0.7,
     [](TMaker& m) {
       Crash(m, 0.8, 0.38, 400);
       m.Filter({TBiquad::Peak(2500, 0.8, 6), TBiquad::Peak(9000, 0.7, -6)});
       m.Saturate(m.By(1.5, 3.0));
     }},
    {"Ride Bell", "Ride Bell", 0, 3.5, 0.6,
     [](TMaker& m) {
       const double hz[] = {720, 1064, 1580, 2210, 3050};
       for (int k = 0; k < 5; ++k)
         m.Partial(hz[k], (k == 0 ? 1.0 : m.By(0.25, 1.2)) / (1 + k), 0.45 / (1 + 0.3 * k), 0.5 * k);
       m.Click(m.By(0.3, 1.0), 5000, 1.5, 0.003);
       m.Noise(0.05, {TBiquad::Highpass(3000)}, Decay(0.3));
     }},
    {"Tambourine", "Tambourin", 0, 1.2, 0.6,
     [](TMaker& m) {
       m.Noise(1.0, {TBiquad::Highpass(m.By(4500, 6500)), TBiquad::Lowpass(m.By(9000, 15000))},
               Bursts({0.0, 0.017, 0.035}, 0.03, 0.12, 0.7));
       m.Cluster(10, 5500, 10500, m.By(0.06, 0.12), 0.15, 0.08);
     }},
    {"Splash Cymbal", "Splash", 0, 2.4, 0.65, [](TMaker& m) { Crash(m, 1.1, 0.22, 500); }},
    {"Cowbell", "Cowbell", 0, 1.0, 0.7,
     [](TMaker& m) {
       m.Metal({540, 800}, 1.0, {TBiquad::Bandpass(m.By(800, 1100), 1.0)}, Decay2(0.015, 0.4, 0.11), 0.0);
       m.Partial(540 * 3, m.By(0.04, 0.14), 0.06);
       m.Click(m.By(0.1, 0.4), 3000, 1.0, 0.002);
     }},
    {"Crash Cymbal 2", "Crash 2", 0, 4.8, 0.7, [](TMaker& m) { Crash(m, 0.9, 0.6, 250); }},
    {"Vibraslap", "Vibraslap", 0, 1.6, 0.6,
     [](TMaker& m) {
       double t = 0, gap = 0.028;
       while (t < 1.0) {
         const double level = std::exp(-t / 0.3);
         m.Partial(2300, level, 0.012, 0, t);
         m.Partial(3500, level * m.By(0.3, 0.7), 0.01, 0.5, t);
         m.Partial(5100, level * m.By(0.1, 0.4), 0.008, 1.0, t);
         t += gap;
         gap *= 1.02;
       }
       m.Partial(1100, 0.4, 0.15);
     }},
    {"Ride Cymbal 2", "Ride 2", 0, 4.5, 0.6, [](TMaker& m) { Ride(m, 0.77, 3400, 0.6); }},
    {"Hi Bongo", "Bongo Hi", 0, 0.8, 0.7, [](TMaker& m) { Bongo(m, 420, 0.08); }},
    {"Low Bongo", "Bongo Lo", 0, 1.0, 0.7, [](TMaker& m) { Bongo(m, 290, 0.11); }},
    {"Mute Hi Conga", "Conga Mut", 7, 0.6, 0.7, [](TMaker& m) { Conga(m, 330, 0.04, 1.0); }},
    {"Open Hi Conga", "Conga Opn", 7, 1.6, 0.7, [](TMaker& m) { Conga(m, 330, 0.2, 0.9); }},
    {"Low Conga", "Conga Low", 0, 1.8, 0.7, [](TMaker& m) { Conga(m, 220, 0.24, 1.1); }},
    {"High Timbale", "Timbal Hi", 0, 2.0, 0.7, [](TMaker& m) { Timbale(m, 520); }},
    {"Low Timbale", "Timbal Lo", 0, 2.0, 0.7, [](TMaker& m) { Timbale(m, 410); }},
    {"High Agogo", "Agogo Hi", 0, 2.4, 0.7, [](TMaker& m) { Agogo(m, 930); }},
    {"Low Agogo", "Agogo Lo", 0, 2.4, 0.7, [](TMaker& m) { Agogo(m, 700); }},
    {"Cabasa", "Cabasa", 0, 0.6, 0.5,
     [](TMaker& m) {
       m.Noise(1.0, {TBiquad::Highpass(m.By(3500, 5500)), TBiquad::Lowpass(m.By(9000, 15000))},
               Swell(0.5, 0.006, 0.045));
     }},
    {"Maracas", "Maracas", 0, 0.5, 0.5,
     [](TMaker& m) {
       m.Noise(1.0, {TBiquad::Bandpass(m.By(5500, 8000), 0.9)}, Swell(0.6, 0.003, 0.03));
     }},
    {"Short Whistle", "Whistle S", 5, 0.45, 0.6, [](TMaker& m) { Whistle(m, 0.25); }},
    {"Long Whistle", "Whistle L", 5, 1.15, 0.6, [](TMaker& m) { Whistle(m, 0.9); }},
    {"Short Guiro", "Guiro S", 6, 0.35, 0.6, [](TMaker& m) { Guiro(m, 55, 0.25, false); }},
    {"Long Guiro", "Guiro L", 6, 0.8, 0.6, [](TMaker& m) { Guiro(m, 40, 0.7, true); }},
    {"Claves", "Claves", 0, 0.5, 0.8,
     [](TMaker& m) {
       m.Partial(2500, 1.0, 0.04);
       m.Partial(5300, m.By(0.04, 0.55), 0.03, 0.5);
       m.Click(m.By(0.05, 0.8), 6000, 1.0, 0.001);
     }},
    {"Hi Wood Block", "Wood Hi", 0, 0.5, 0.8, [](TMaker& m) { WoodBlock(m, 1660); }},
    {"Low Wood Block", "Wood Lo", 0, 0.5, 0.8, [](TMaker& m) { WoodBlock(m, 1170); }},
    {"Mute Cuica", "Cuica Mut", 3, 0.6, 0.7, [](TMaker& m) { Cuica(m, false); }},
    {"Open Cuica", "Cuica Opn", 3, 1.4, 0.7, [](TMaker& m) { Cuica(m, true); }},
    {"Mute Triangle", "Tri Mute", 2, 0.6, 0.5, [](TMaker& m) { Triangle(m, 0.06); }},
    {"Open Triangle", "Tri Open", 2, 4.0, 0.5, [](TMaker& m) { Triangle(m, 0.5); }},
    {"Shaker", "Shaker", 0, 0.6, 0.5,
     [](TMaker& m) {
       m.Noise(1.0, {TBiquad::Bandpass(m.By(4500, 7000), 0.7)}, Swell(0.3, 0.02, 0.045));
     }},
    {"Jingle Bell", "Jingle", 0, 1.4, 0.5,
     [](TMaker& m) {
       const double starts[] = {0.0, 0.03, 0.07};
       const double hz[] = {3900, 5600, 7700, 9400};
       for (double s : starts)
         for (int k = 0; k < 4; ++k) m.Partial(hz[k] * (1 + 0.01 * s), (k == 0 ? 1.0 : m.By(0.2, 1.3)) / (1 + k), 0.12, k, s);
       m.Noise(m.By(0.15, 0.4), {TBiquad::Highpass(5000)}, Bursts({0.0, 0.03, 0.07}, 0.01, 0.05, 1.0));
     }},
    {"Bell Tree", "Bell Tree", 0, 4.0, 0.5,
     [](TMaker& m) {
       for (int k = 0; k < 14; ++k) {
         const double hz = 4200 * std::pow(1900.0 / 4200.0, k / 13.0);
         m.Partial(hz, 0.6 + 0.03 * k, 0.4, 0.3 + 0.2 * k, k * 0.045);
         m.Partial(hz * 2.76, m.By(0.03, 0.45), 0.2, 0.5 + 0.5 * k, k * 0.045);
       }
     }},
    {"Castanets", "Castanets", 0, 0.4, 0.7,
     [](TMaker& m) {
       for (double s : {0.0, 0.022}) {
         m.Partial(2100, 1.0, 0.012, 0.3, s);
         m.Partial(3400, m.By(0.08, 0.7), 0.01, 0.7, s);
         m.Click(m.By(0.1, 1.2), 5000, 0.8, 0.0015, s);
       }
     }},
    {"Mute Surdo", "Surdo Mut", 4, 1.0, 0.7, [](TMaker& m) { Surdo(m, 68, 0.09); }},
    {"Open Surdo", "Surdo Opn", 4, 3.4, 0.7, [](TMaker& m) { Surdo(m, 68, 0.42); }},
    {"Kick 2", "Kick 2", 0, 1.5, 0.72, [](TMaker& m) { Kick(m, 52, 0.105); }},
    {"Rim Shot", "Rim Shot", 0, 1.0, 0.7,
     [](TMaker& m) {
       m.Membrane(205, 0.05, 0.02, 0.7, 0.07);
       m.Partial(1000, m.By(0.3, 0.6), 0.012);
       m.Partial(3200, m.By(0.12, 0.4), 0.008, 0.9);
       m.Noise(0.6, {TBiquad::Highpass(1800), TBiquad::Lowpass(m.By(6000, 12000))}, Decay(0.08));
       m.Click(m.By(0.5, 1.6), 4500, 1.0, 0.0015);
     }},
};

// The loudness of a sound: its loudest 10 ms (RMS).
double Loudness(const TSample& s) {
  constexpr int32_t window = 441;
  double loudest = 0;
  for (int32_t start = 0; start < s.Length(); start += window / 2) {
    double sum = 0;
    const int32_t end = std::min(s.Length(), start + window);
    for (int32_t i = start; i < end; ++i) sum += double(s.At(i)) * s.At(i);
    loudest = std::max(loudest, sum / window);
  }
  return std::sqrt(loudest);
}

// The softer layers are set by loudness, not by peak (a soft hit is less peaky):
// 3 dB and 1 dB below the hard layer, before the velocity curve.
constexpr double kLayerLoudness[TCellSound::layerCount] = {0.708, 0.891, 1.0};

void MakeCell(TCellSound& cell, int index) {
  const TRecipe& r = kRecipes[index];
  cell.name = r.name;
  cell.shortName = r.shortName;
  cell.defaultChoke = r.choke;
  TCellCache cache;
  for (int layer = TCellSound::layerCount - 1; layer >= 0; --layer) {
    TMaker maker(r.seconds, 0x1234567u + 7919u * static_cast<uint32_t>(index) + 104729u * static_cast<uint32_t>(layer),
                 kLayerHardness[layer], cache);
    r.make(maker);
    cell.layers[layer] = maker.Finish(r.peak);
  }
  const double hardLoudness = Loudness(cell.layers[TCellSound::layerCount - 1]);
  for (int layer = 0; layer + 1 < TCellSound::layerCount; ++layer) {
    TSample& s = cell.layers[layer];
    double gain = kLayerLoudness[layer] * hardLoudness / std::max(Loudness(s), 1e-9);
    float peak = 0;
    for (float v : s.frames) peak = std::max(peak, std::fabs(v));
    gain = std::min(gain, 0.99 / std::max(peak, 1e-9f));
    for (float& v : s.frames) v = static_cast<float>(v * gain);
  }
}

}  // namespace

// The cells are made on two threads: the sounds are independent of each other.
TSampleBank::TSampleBank() {
  std::thread second([this] {
    for (int cell = 1; cell < kCellCount; cell += 2) MakeCell(cells[cell], cell);
  });
  for (int cell = 0; cell < kCellCount; cell += 2) MakeCell(cells[cell], cell);
  second.join();
}

int TSampleBank::DefaultChoke(int cell) { return cell >= 0 && cell < kCellCount ? kRecipes[cell].choke : 0; }
const char* TSampleBank::Name(int cell) { return cell >= 0 && cell < kCellCount ? kRecipes[cell].name : ""; }
const char* TSampleBank::ShortName(int cell) {
  return cell >= 0 && cell < kCellCount ? kRecipes[cell].shortName : "";
}

int TSampleBank::LayerOfVelocity(int velocity) { return velocity <= 55 ? 0 : velocity <= 105 ? 1 : 2; }

const TSampleBank& TSampleBank::Shared() {
  static const TSampleBank bank;
  return bank;
}

size_t TSampleBank::TotalFrames() const {
  size_t total = 0;
  for (const TCellSound& c : cells)
    for (const TSample& s : c.layers) total += static_cast<size_t>(s.Length());
  return total;
}

size_t TSampleBank::TotalBytes() const {
  size_t total = 0;
  for (const TCellSound& c : cells)
    for (const TSample& s : c.layers) total += s.Bytes();
  return total;
}
