// Audio files: the analysis of a minute of audio (target: 100 times faster than real
// time, 0.6 s or less) and opening a WAV and an AIFF header (target: under 20 us).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audiofile/AudioFileFactory.h"
#include "audiofile/TAudioAnalysis.h"
#include "audiofile/TExtended.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
void Put16(std::vector<uint8_t>& out, uint32_t v, bool big) {
  if (big) out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)});
  else out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
}

void Put32(std::vector<uint8_t>& out, uint32_t v, bool big) {
  if (big) {
    Put16(out, v >> 16, true);
    Put16(out, v & 0xFFFF, true);
  } else {
    Put16(out, v & 0xFFFF, false);
    Put16(out, v >> 16, false);
  }
}

void PutId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

// A 16-bit stereo recording of a second, with the chunks the program writes.
std::string WriteBenchFile(bool aiff) {
  const std::string path =
      (std::filesystem::temp_directory_path() / (aiff ? "thudra-bench-header.aif" : "thudra-bench-header.wav")).string();
  const uint32_t frames = 44100;
  const uint32_t dataBytes = frames * 4;
  std::vector<uint8_t> out;
  if (!aiff) {
    PutId(out, "RIFF");
    Put32(out, 4 + 24 + 68 + 8 + dataBytes, false);
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    Put32(out, 16, false);
    for (uint32_t v : {1u, 2u}) Put16(out, v, false);
    Put32(out, 44100, false);
    Put32(out, 176400, false);
    for (uint32_t v : {4u, 16u}) Put16(out, v, false);
    PutId(out, "smpl");
    Put32(out, 60, false);
    for (uint32_t v : {0u, 0u, 0u, 60u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, 100u, 999u, 0u, 0u}) Put32(out, v, false);
    PutId(out, "data");
    Put32(out, dataBytes, false);
  } else {
    PutId(out, "FORM");
    Put32(out, 4 + 26 + 26 + 28 + 16 + dataBytes, true);
    PutId(out, "AIFF");
    PutId(out, "COMM");
    Put32(out, 18, true);
    Put16(out, 2, true);
    Put32(out, frames, true);
    Put16(out, 16, true);
    const TExtended rate = TExtended::FromDouble(44100);
    out.insert(out.end(), rate.Bytes(), rate.Bytes() + TExtended::byteCount);
    PutId(out, "MARK");
    Put32(out, 18, true);
    Put16(out, 2, true);
    for (uint32_t id : {1u, 2u}) {
      Put16(out, id, true);
      Put32(out, id * 100, true);
      Put16(out, 0, true);
    }
    PutId(out, "INST");
    Put32(out, 20, true);
    for (uint32_t v : {60u, 0u, 0u, 127u, 0u, 127u}) out.push_back(uint8_t(v));
    for (uint32_t v : {0u, 1u, 1u, 2u, 1u, 1u, 2u}) Put16(out, v, true);
    PutId(out, "SSND");
    Put32(out, 8 + dataBytes, true);
    Put32(out, 0, true);
    Put32(out, 0, true);
  }
  out.resize(out.size() + dataBytes, 0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  return path;
}

// Open on a file object that keeps its file open: reading and applying the header.
void OpenHeader(benchmark::State& state, bool aiff) {
  InstallPosixPlatform();
  EPtr<IFileName> name(IFileName::Create(TStr(WriteBenchFile(aiff))));
  EPtr<TChunkedAudioFile> file(OpenAudioFile(*name, 1024));
  for (auto _ : state) {
    file->Open(1024);
    benchmark::DoNotOptimize(file->GetLength());
  }
}

// The factory as the player uses it: the system opens the file as well.
void OpenThroughFactory(benchmark::State& state, bool aiff) {
  InstallPosixPlatform();
  EPtr<IFileName> name(IFileName::Create(TStr(WriteBenchFile(aiff))));
  for (auto _ : state) {
    EPtr<TChunkedAudioFile> file(OpenAudioFile(*name, 1024));
    benchmark::DoNotOptimize(file->GetLength());
  }
}

void BM_OpenWavHeader(benchmark::State& state) { OpenHeader(state, false); }
void BM_OpenAiffHeader(benchmark::State& state) { OpenHeader(state, true); }
void BM_OpenWavFileThroughFactory(benchmark::State& state) { OpenThroughFactory(state, false); }
void BM_OpenAiffFileThroughFactory(benchmark::State& state) { OpenThroughFactory(state, true); }

void BM_AnalyseOneMinute(benchmark::State& state) {
  const int32_t frames = 60 * 44100;
  TAudioBuf source;
  source.SetFormat(true, false, 32, 1, 44100, frames, 0);
  std::mt19937 random(3);
  std::normal_distribution<float> noise(0.0f, 0.02f);
  for (int32_t i = 0; i < frames; ++i)
    source.SetSample(i, 0.5f * std::sin(0.0627f * float(i)) + 0.2f * std::sin(0.0111f * float(i)) + noise(random), 0);
  TAudioAnalysis analysis;
  for (auto _ : state) {
    analysis.Analyse(source);
    benchmark::DoNotOptimize(analysis.GetTable());
  }
  state.counters["realtime_factor"] = benchmark::Counter(60.0, benchmark::Counter::kIsIterationInvariantRate);
}
}  // namespace

BENCHMARK(BM_OpenWavHeader);
BENCHMARK(BM_OpenAiffHeader);
BENCHMARK(BM_OpenWavFileThroughFactory);
BENCHMARK(BM_OpenAiffFileThroughFactory);
BENCHMARK(BM_AnalyseOneMinute)->Unit(benchmark::kMillisecond)->MinTime(2.0);
