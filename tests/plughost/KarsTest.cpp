// A real third-party VST 2 instrument that no one here wrote (Kars, a plucked-string
// synthesizer from Debian's dpf-plugins-vst), hosted as --plugin hosts it: through
// the platform's loader, without the product check, played through the test port.
// It proves our VST 2 declarations against someone else's plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "HostFixture.h"
#include "host/KEnsemble.h"
#include "pc/host/TDlLibraryLoader.h"

namespace {
constexpr const char* karsPath = "/usr/lib/vst/Kars-vst.so";

// The period of the strongest repetition of samples, in frames (normalised
// autocorrelation over the lags of 40 Hz to 2 kHz).
double PeriodOf(const std::vector<float>& samples, double rate) {
  const int minLag = static_cast<int>(rate / 2000.0);
  const int maxLag = static_cast<int>(rate / 40.0);
  const int n = static_cast<int>(samples.size()) - maxLag;
  double best = 0;
  int bestLag = 0;
  std::vector<double> score(maxLag + 2, 0.0);
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double sum = 0, a = 0, b = 0;
    for (int i = 0; i < n; ++i) {
      sum += samples[i] * samples[i + lag];
      a += samples[i] * samples[i];
      b += samples[i + lag] * samples[i + lag];
    }
    score[lag] = a > 0 && b > 0 ? sum / std::sqrt(a * b) : 0;
  }
  // The first lag that comes close to the best one: the fundamental, not a multiple.
  for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, score[lag]);
  for (int lag = minLag + 1; lag < maxLag; ++lag) {
    if (score[lag] >= 0.9 * best && score[lag] >= score[lag - 1] && score[lag] >= score[lag + 1]) {
      bestLag = lag;
      break;
    }
  }
  if (bestLag == 0) return 0;
  // Parabolic interpolation around the peak.
  const double l = score[bestLag - 1], c = score[bestLag], r = score[bestLag + 1];
  const double denominator = l - 2 * c + r;
  const double shift = denominator != 0 ? 0.5 * (l - r) / denominator : 0;
  return bestLag + shift;
}

class KarsTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    previous = SetLibraryLoader(&dl);
  }
  void TearDown() override {
    SetLibraryLoader(previous);
    HostFixture::TearDown();
  }
  TDlLibraryLoader dl;
  ILibraryLoader* previous = nullptr;
};

TEST_F(KarsTest, ANotePlaysAtItsPitchAndThePlugInTearsDownCleanly) {
  ASSERT_TRUE(std::filesystem::exists(karsPath)) << "dpf-plugins-vst is installed by scripts/install-deps";
  TVSTPlug::SetLibrary(karsPath, false);
  auto ensemble = std::make_unique<KEnsemble>(nullptr, sources);
  IVSTPlug* plug = ensemble->GetPlug();
  ASSERT_NE(plug, nullptr);
  ASSERT_TRUE(plug->IsLoaded()) << std::string_view(TDlLibraryLoader::LastError());
  auto* wrapper = dynamic_cast<TVSTPlug*>(plug);
  ASSERT_NE(wrapper, nullptr);
  EXPECT_EQ(wrapper->GetEffect()->magic, kEffectMagic);
  EXPECT_GE(wrapper->GetEffect()->numOutputs, 1);
  char product[TVSTPlug::productBufferBytes] = {};
  plug->GetProductString(product);
  EXPECT_GT(std::strlen(product), 0u);

  TTestPort* port = TTestPort::Last();
  ASSERT_NE(port, nullptr);
  port->SetBlockSize(256);
  port->Start();
  port->recordOutput = true;
  for (int i = 0; i < 4; ++i) port->Process();  // silence before the note
  double before = 0;
  for (float s : port->written) before = std::max(before, double(std::fabs(s)));
  EXPECT_EQ(before, 0.0);

  port->written.clear();
  ensemble->OnMidiInput(MidiNoteOn, 0, 69, 110);  // A4: 440 Hz
  for (int i = 0; i < 64; ++i) port->Process();   // 16384 frames, about 0.37 s
  ensemble->OnMidiInput(MidiNoteOff, 0, 69, 0);
  port->Process();

  double peak = 0;
  for (float s : port->written) peak = std::max(peak, double(std::fabs(s)));
  EXPECT_GT(peak, 0.01) << "the note is heard";
  const std::vector<float> window(port->written.begin() + 2048, port->written.begin() + 2048 + 8192);
  const double period = PeriodOf(window, 44100.0);
  ASSERT_GT(period, 0.0);
  const double frequency = 44100.0 / period;
  EXPECT_NEAR(frequency, 440.0, 440.0 * 0.03) << "the note sounds at its pitch";

  port->Stop();
  ensemble.reset();  // pause, stop, close and unload without a crash
}
}  // namespace
