#include "TDrumkitLoader.h"

#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "TDrumkitXml.h"

namespace fs = std::filesystem;

namespace {

constexpr sf_count_t kReadFrames = 65536;
constexpr float kLargestValue = 2.0f;  // float files may carry anything; beyond this is damage
constexpr double kLeadingSilence = 1e-4;  // -80 dB below the peak: trimmed from the start
constexpr double kOpenEnd = 1e-3;         // a sample still above -60 dB at its end gets a fade
constexpr double kEndFadeSeconds = 0.01;

// What a sample file holds, from its header, before anything is read.
struct TSampleFile {
  std::string path;
  std::string file;  // as the kit names it
  std::string problem;
  sf_count_t frames = 0;
  int channels = 0;
  int rate = 0;
  std::unique_ptr<TSample> sample;  // once read
};

std::string MiB(size_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

bool ReadXml(const fs::path& file, std::string& text, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    error = "has no drumkit.xml";
    return false;
  }
  const auto size = fs::file_size(file, ec);
  if (ec || size > TDrumkitLoader::maxXmlBytes) {
    error = "has a drumkit.xml larger than " + MiB(TDrumkitLoader::maxXmlBytes);
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  text.assign(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
    error = "has a drumkit.xml that cannot be read";
    return false;
  }
  return true;
}

// Looks at the header only. A file that is not a regular file is not opened at all
// (a named pipe would never answer).
void Probe(TSampleFile& f) {
  std::error_code ec;
  if (!fs::exists(f.path, ec)) {
    f.problem = "is missing";
    return;
  }
  if (!fs::is_regular_file(f.path, ec)) {
    f.problem = "is not a file";
    return;
  }
  if (fs::file_size(f.path, ec) == 0) {
    f.problem = "is empty";
    return;
  }
  SF_INFO info{};
  SNDFILE* sf = sf_open(f.path.c_str(), SFM_READ, &info);
  if (!sf) {
    f.problem = std::string("is not audio (") + sf_strerror(nullptr) + ")";
    return;
  }
  sf_close(sf);
  if (info.channels <= 0) {
    f.problem = "has no channels";
  } else if (info.frames <= 0) {
    f.problem = "holds no sound";
  } else if (info.samplerate < 1000 || info.samplerate > 768000) {
    f.problem = "has an unusable sample rate (" + std::to_string(info.samplerate) + " Hz)";
  } else {
    f.frames = info.frames;
    f.channels = info.channels;
    f.rate = info.samplerate;
  }
}

size_t OutputFrames(const TSampleFile& f, double rate) {
  return static_cast<size_t>(std::ceil(static_cast<double>(f.frames) * rate / f.rate)) + 16;
}
size_t KeptChannels(const TSampleFile& f) { return static_cast<size_t>(std::min(f.channels, 2)); }

// Reads the frames, keeping the first two channels.
bool ReadFrames(TSampleFile& f, std::vector<float>& out, const std::function<bool()>& cancelled) {
  SF_INFO info{};
  SNDFILE* sf = sf_open(f.path.c_str(), SFM_READ, &info);
  if (!sf) {
    f.problem = "cannot be read";
    return false;
  }
  const size_t keep = KeptChannels(f), channels = static_cast<size_t>(info.channels);
  const size_t limit = static_cast<size_t>(f.frames) * keep;  // as counted against the memory limit
  out.reserve(limit);
  std::vector<float> chunk(static_cast<size_t>(kReadFrames) * channels);
  bool stopped = false;
  for (;;) {
    if (cancelled && cancelled()) {
      stopped = true;
      break;
    }
    const sf_count_t n = sf_readf_float(sf, chunk.data(), kReadFrames);
    if (n <= 0) break;
    for (sf_count_t i = 0; i < n && out.size() < limit; ++i)
      for (size_t c = 0; c < keep; ++c) out.push_back(chunk[static_cast<size_t>(i) * channels + c]);
  }
  sf_close(sf);
  if (stopped) return false;
  if (out.empty()) {
    f.problem = "holds no sound";
    return false;
  }
  for (float& v : out) v = std::isfinite(v) ? std::clamp(v, -kLargestValue, kLargestValue) : 0.0f;
  return true;
}

bool Resample(const TSampleFile& f, double rate, std::vector<float>& frames) {
  const size_t keep = KeptChannels(f);
  const long inFrames = static_cast<long>(frames.size() / keep);
  std::vector<float> out(OutputFrames(f, rate) * keep);
  SRC_DATA data{};
  data.data_in = frames.data();
  data.data_out = out.data();
  data.input_frames = inFrames;
  data.output_frames = static_cast<long>(out.size() / keep);
  data.src_ratio = rate / f.rate;
  data.end_of_input = 1;
  if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, static_cast<int>(keep)) != 0 || data.output_frames_gen <= 0)
    return false;
  out.resize(static_cast<size_t>(data.output_frames_gen) * keep);
  frames.swap(out);
  return true;
}

// The sound starts at its first audible frame, and ends without a step.
void Tidy(std::vector<float>& frames, size_t channels, double rate) {
  float peak = 0;
  for (float v : frames) peak = std::max(peak, std::fabs(v));
  const size_t count = frames.size() / channels;
  size_t first = 0;
  while (first < count) {
    float level = 0;
    for (size_t c = 0; c < channels; ++c) level = std::max(level, std::fabs(frames[first * channels + c]));
    if (level >= peak * kLeadingSilence) break;
    ++first;
  }
  frames.erase(frames.begin(), frames.begin() + static_cast<ptrdiff_t>(first * channels));
  const size_t length = frames.size() / channels;
  float last = 0;
  for (size_t c = 0; c < channels && length > 0; ++c) last = std::max(last, std::fabs(frames[(length - 1) * channels + c]));
  if (last <= peak * kOpenEnd) return;
  const size_t fade = std::max<size_t>(1, std::min(length / 2, static_cast<size_t>(kEndFadeSeconds * rate)));
  for (size_t i = 0; i < fade; ++i) {
    const double g = 0.5 - 0.5 * std::cos(3.14159265358979 * static_cast<double>(i) / fade);
    for (size_t c = 0; c < channels; ++c) frames[(length - 1 - i) * channels + c] *= static_cast<float>(g);
  }
}

bool Read(TSampleFile& f, double rate, const std::function<bool()>& cancelled) {
  std::vector<float> frames;
  if (!ReadFrames(f, frames, cancelled)) return false;
  const size_t channels = KeptChannels(f);
  if (f.rate != static_cast<int>(rate) || std::floor(rate) != rate) {
    if (!Resample(f, rate, frames)) {
      f.problem = "cannot be converted to " + std::to_string(static_cast<int>(rate)) + " Hz";
      return false;
    }
  }
  float peak = 0;
  for (float v : frames) peak = std::max(peak, std::fabs(v));
  if (peak == 0) {
    f.problem = "is silent";
    return false;
  }
  Tidy(frames, channels, rate);
  f.sample = std::make_unique<TSample>();
  f.sample->frames = std::move(frames);
  f.sample->channels = static_cast<int>(channels);
  f.sample->rate = rate;
  f.sample->Pad();
  return true;
}

std::string KitName(const std::string& folder) {
  fs::path p(folder);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

}  // namespace

size_t TDrumkitLoader::DefaultMemoryLimit() {
  constexpr size_t limit = size_t{1} << 30;
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return limit;
  return std::min(limit, static_cast<size_t>(pages) * static_cast<size_t>(pageSize) / 4);
}

TDrumkitLoad TDrumkitLoader::Load(const std::string& folder, double rate, size_t memoryLimit,
                                  const std::function<bool()>& cancelled) {
  TDrumkitLoad result;
  const std::string kitName = KitName(folder);
  std::string xml, error;
  if (!ReadXml(fs::path(folder) / "drumkit.xml", xml, error)) {
    result.error = "The kit " + kitName + " " + error;
    return result;
  }
  TDrumkitSpec spec = ParseDrumkitXml(xml.data(), xml.size(), folder);
  if (!spec.readable) {
    result.error = "The kit " + kitName + " cannot be read: " + spec.problems.front();
    return result;
  }
  result.leftOut = spec.problems;

  // Every sample file once, however many layers name it.
  std::map<std::string, TSampleFile> files;
  for (const TDrumkitInstrument& instrument : spec.instruments)
    for (const TDrumkitLayer& layer : instrument.layers) {
      TSampleFile& f = files[layer.path];
      if (!f.path.empty()) continue;
      f.path = layer.path;
      f.file = layer.file;
      Probe(f);
      if (cancelled && cancelled()) return {};
    }

  size_t needed = 0, largestRead = 0;
  for (const auto& [path, f] : files) {
    if (!f.problem.empty()) continue;
    needed += (OutputFrames(f, rate) + 2) * KeptChannels(f) * sizeof(float);
    largestRead = std::max(largestRead, static_cast<size_t>(f.frames) * KeptChannels(f) * sizeof(float));
  }
  if (needed + largestRead > memoryLimit) {
    result.error = "The kit " + kitName + " needs " + MiB(needed + largestRead) + " of sample memory, more than the " +
                   MiB(memoryLimit) + " allowed";
    return result;
  }

  for (auto& [path, f] : files) {
    if (f.problem.empty() && Read(f, rate, cancelled)) ++result.samples;
    if (cancelled && cancelled()) return {};
  }

  auto kit = TKitSounds::Synthesized();
  kit->name = kitName;
  for (const TDrumkitInstrument& instrument : spec.instruments) {
    std::vector<TDrumkitLayer> layers;
    std::vector<const TSample*> samples;
    for (const TDrumkitLayer& layer : instrument.layers) {
      const TSampleFile& f = files[layer.path];
      if (!f.sample) {
        result.leftOut.push_back(instrument.name + ": the sample " + layer.file + " " + f.problem);
        continue;
      }
      layers.push_back(layer);
      samples.push_back(f.sample.get());
    }
    if (layers.empty()) {
      result.leftOut.push_back(instrument.name + ": none of its samples plays; the cell keeps its synthesized sound");
      continue;
    }
    const TVelocityMap map = MapVelocities(layers, instrument.name, result.leftOut);
    TCellSounds& cell = kit->cells[instrument.note - kFirstCellNote];
    cell.sampled = true;
    cell.name = instrument.name;
    cell.gain = instrument.gain;
    cell.pan = instrument.pan;
    cell.groups.clear();
    for (const auto& group : map.groups) {
      cell.groups.emplace_back();
      for (size_t i : group) cell.groups.back().push_back({samples[i], layers[i].gain});
    }
    std::copy(std::begin(map.groupOfVelocity), std::end(map.groupOfVelocity), cell.groupOfVelocity);
    ++result.instruments;
  }
  for (auto& [path, f] : files)
    if (f.sample) kit->owned.push_back(std::move(f.sample));
  result.kit = std::move(kit);
  return result;
}
