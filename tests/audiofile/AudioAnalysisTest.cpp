#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "AudioFileFixtures.h"
#include "audiofile/AudioFileFactory.h"
#include "audiofile/TAnalysisChunk.h"
#include "audiofile/TAudioAnalysis.h"

namespace {
TAudioBuf& MonoFloats(TAudioBuf& buffer, const std::vector<float>& samples, int32_t rate = 44100) {
  buffer.SetFormat(true, false, 32, 1, rate, int32_t(samples.size()), 0);
  for (size_t i = 0; i < samples.size(); ++i) buffer.SetSample(int32_t(i), samples[i], 0);
  return buffer;
}

std::vector<int32_t> Table(const TAudioAnalysis& analysis) {
  return std::vector<int32_t>(analysis.GetTable(), analysis.GetTable() + analysis.GetEntryCount());
}

// The analysis written out plainly: every sum in its own loop, samples past the end 0.
std::vector<int32_t> PlainAnalysis(const std::vector<float>& x, int32_t rate) {
  const int64_t frames = int64_t(x.size());
  const int64_t step = int64_t(rate * 0.005);
  const int64_t window = int64_t(rate * 0.03);
  auto at = [&](int64_t i) { return i < frames ? x[size_t(i)] : 0.0f; };
  std::vector<int32_t> table(size_t(frames / step + 2));
  int64_t p = 0, q = 0, e = 0;
  for (int64_t position = step; position < frames;) {
    float best = 0;
    int64_t bestOffset = position;
    for (int64_t o = position; o < p + window; ++o) {
      float sum = 0;
      for (int64_t k = 0; k < step; ++k) sum += at(p + k) * at(o + k);
      if (sum > best) {
        best = sum;
        bestOffset = o;
      }
    }
    p = bestOffset;
    while (e < p / step) table[size_t(e++)] = int32_t(q);
    q = p;
    position = p + step;
  }
  while (e * step < frames) table[size_t(e++)] = int32_t(q);
  table[size_t(e)] = int32_t(frames);
  return table;
}

std::vector<float> PulseTrain(size_t frames, size_t period) {
  std::vector<float> x(frames, 0.0f);
  for (size_t i = 0; i < frames; i += period) x[i] = 1.0f;
  return x;
}
}  // namespace

TEST(AudioAnalysis, SilenceGivesABoundaryEveryFiveMilliseconds) {
  TAudioBuf source;
  MonoFloats(source, std::vector<float>(44100, 0.0f));
  TAudioAnalysis analysis;
  analysis.Analyse(source);
  EXPECT_EQ(analysis.GetStep(), 220);
  ASSERT_EQ(analysis.GetEntryCount(), 44100 / 220 + 2);
  const std::vector<int32_t> table = Table(analysis);
  for (int32_t i = 0; i <= 200; ++i) EXPECT_EQ(table[size_t(i)], 220 * i) << i;
  EXPECT_EQ(table.back(), 44100);
}

TEST(AudioAnalysis, SourceShorterThanOneStep) {
  TAudioBuf source;
  MonoFloats(source, std::vector<float>(100, 0.5f));
  TAudioAnalysis analysis;
  analysis.Analyse(source);
  EXPECT_EQ(Table(analysis), (std::vector<int32_t>{0, 100}));
}

TEST(AudioAnalysis, PeriodicSignalGetsBoundariesAtItsPeriod) {
  const std::vector<float> x = PulseTrain(4410, 300);
  TAudioBuf source;
  TAudioAnalysis analysis;
  analysis.Analyse(MonoFloats(source, x));
  const std::vector<int32_t> table = Table(analysis);
  ASSERT_EQ(table.size(), size_t(4410 / 220 + 2));
  EXPECT_EQ(table, PlainAnalysis(x, 44100));
  for (size_t i = 1; i + 1 < table.size(); ++i) EXPECT_EQ(table[i] % 300, 0) << i;

  int32_t position = 650;
  analysis.MapPosition(position);
  EXPECT_EQ(position, 600);
  position = 650;
  float frames = 0;
  analysis.GetSegment(position, frames);
  EXPECT_EQ(position, 600);
  EXPECT_EQ(frames, 300.0f);
  for (int32_t early : {0, -7}) {
    position = early;
    analysis.MapPosition(position);
    EXPECT_EQ(position, 0);
  }
  position = 100000;
  analysis.GetSegment(position, frames);
  EXPECT_EQ(position, 4410);
  EXPECT_EQ(frames, 5.0f);
}

TEST(AudioAnalysis, AgreesWithThePlainComputationOnNoisyPeriodicSignals) {
  std::mt19937 random(11);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  for (int32_t rate : {44100, 22050, 8000}) {
    std::vector<float> x(size_t(rate / 4));
    for (size_t i = 0; i < x.size(); ++i) x[i] = float((i * 7919) % 257) / 257.0f - 0.5f + noise(random);
    TAudioBuf source;
    TAudioAnalysis analysis;
    analysis.Analyse(MonoFloats(source, x, rate));
    EXPECT_EQ(Table(analysis), PlainAnalysis(x, rate)) << rate;
  }
}

TEST(AudioAnalysis, IntegerSourceChangesNothing) {
  TAudioBuf source;
  source.SetFormat(false, false, 16, 1, 44100, 1000, 0);
  TAudioAnalysis analysis;
  analysis.Analyse(source);
  EXPECT_EQ(analysis.GetEntryCount(), 0);
  int32_t position = 500;
  analysis.MapPosition(position);
  EXPECT_EQ(position, 0);
  float frames = 0;
  analysis.GetSegment(position, frames);
  EXPECT_EQ(frames, 5.0f);
}

TEST(AudioAnalysis, TravelsWithWavAndAiffFilesInTheAnalChunk) {
  for (const char* suffix : {".wav", ".aif"}) {
    const std::string path = TestPath(suffix);
    EPtr<IFileName> name(IFileName::Create(TStr(path)));
    std::vector<int32_t> written;
    {
      EPtr<TChunkedAudioFile> file(CreateAudioFile(*name, 16, 1, 44100));
      TAudioBuf source;
      auto* analysis = new TAudioAnalysis;
      analysis->Analyse(MonoFloats(source, PulseTrain(2000, 250)));
      written = Table(*analysis);
      file->SetAnalysis(analysis);
      file->SetLength(2000);
      file->WriteHeader();
    }
    EPtr<TChunkedAudioFile> reread(OpenPath(path));
    ASSERT_TRUE(reread) << suffix;
    ASSERT_NE(reread->GetAnalysis(), nullptr);
    EXPECT_EQ(reread->GetAnalysis()->GetStep(), 220);
    EXPECT_EQ(std::vector<int32_t>(reread->GetAnalysis()->GetTable(),
                                   reread->GetAnalysis()->GetTable() + reread->GetAnalysis()->GetEntryCount()),
              written);
    const TFileChunk* anal = reread->GetRoot()->FindSubChunk("Anal");
    ASSERT_NE(anal, nullptr);
    EXPECT_EQ(anal->GetSize(), 24u + 4u * written.size());
    // A new analysis replaces the chunk of the old one.
    reread->SetAnalysis(new TAudioAnalysis);
    int32_t count = 0;
    for (const TFileChunk* c = reread->GetRoot()->GetFirstSubChunk(); c; c = c->GetNextSibling())
      count += c->GetID() == "Anal";
    EXPECT_EQ(count, 1);
    reread->SetAnalysis(nullptr);
    EXPECT_EQ(reread->GetRoot()->FindSubChunk("Anal"), nullptr);
  }
}

TEST(AudioAnalysis, AnalysisThatDoesNotFitItsChunkIsCorrupt) {
  TBytes table = LE();
  table.U32(1000).U32(1).U32(220).U32(0).U32(32).U32(1).Zeros(40);  // 1000 entries in 40 bytes
  TBytes anal = LE();
  anal.Chunk("Anal", table);
  EXPECT_EQ(OpenError(SimpleWav(1, 44100, 16, 100, &anal)), MessagePath() + " is corrupt.");
  TBytes stepless = LE();
  stepless.U32(2).U32(1).U32(0).U32(0).U32(32).U32(1).U32(0).U32(100);
  TBytes badStep = LE();
  badStep.Chunk("Anal", stepless);
  EXPECT_EQ(OpenError(SimpleWav(1, 44100, 16, 100, &badStep)), MessagePath() + " is corrupt.");
}
