// Hand-made kit folders in the Hydrogen drumkit format for the tests: sample files
// written with libsndfile (a decaying sine of a given pitch and level), and a
// drumkit.xml written from a short description.
#pragma once
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testkit {

struct TTone {
  double hz = 440;
  double amp = 0.5;
  double seconds = 0.3;
  int rate = 44100;
  int channels = 1;
  int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  double silence = 0;  // seconds of silence before the tone
};

// The tone's frames as written (interleaved), before the file's own quantisation.
inline std::vector<float> ToneFrames(const TTone& t) {
  const size_t lead = static_cast<size_t>(t.silence * t.rate);
  const size_t n = lead + static_cast<size_t>(t.seconds * t.rate);
  std::vector<float> frames(n * static_cast<size_t>(t.channels), 0.0f);
  for (size_t i = lead; i < n; ++i) {
    const double time = static_cast<double>(i - lead) / t.rate;
    const double v = t.amp * std::exp(-time / (t.seconds / 8)) * std::sin(2 * 3.14159265358979 * t.hz * time + 0.5);
    for (int c = 0; c < t.channels; ++c) frames[i * static_cast<size_t>(t.channels) + static_cast<size_t>(c)] =
        static_cast<float>(c == 1 ? -v : v);
  }
  return frames;
}

inline bool WriteTone(const std::filesystem::path& path, const TTone& t) {
  SF_INFO info{};
  info.samplerate = t.rate;
  info.channels = t.channels;
  info.format = t.format;
  std::filesystem::create_directories(path.parent_path());
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const std::vector<float> frames = ToneFrames(t);
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size() / static_cast<size_t>(t.channels)));
  sf_close(f);
  return true;
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct TLayerSpec {
  std::string file;
  double min = 0, max = 1;
  double gain = 1;
};

struct TInstrumentSpec {
  std::string name;
  int note;
  std::vector<TLayerSpec> layers;
  double gain = 1;
  double pan = 0;
};

// A drumkit.xml in the current form: instruments with a component holding layers.
inline std::string KitXml(const std::string& name, const std::vector<TInstrumentSpec>& instruments) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">\n <name>" +
                    name + "</name>\n <instrumentList>\n";
  int id = 0;
  for (const TInstrumentSpec& i : instruments) {
    xml += "  <instrument>\n   <id>" + std::to_string(id++) + "</id>\n   <name>" + i.name +
           "</name>\n   <volume>1</volume>\n   <gain>" + std::to_string(i.gain) + "</gain>\n   <pan>" +
           std::to_string(i.pan) + "</pan>\n   <midiOutNote>" + std::to_string(i.note) +
           "</midiOutNote>\n   <instrumentComponent>\n    <component_id>0</component_id>\n    <gain>1</gain>\n";
    for (const TLayerSpec& l : i.layers)
      xml += "    <layer>\n     <filename>" + l.file + "</filename>\n     <min>" + std::to_string(l.min) +
             "</min>\n     <max>" + std::to_string(l.max) + "</max>\n     <gain>" + std::to_string(l.gain) +
             "</gain>\n     <pitch>0</pitch>\n    </layer>\n";
    xml += "   </instrumentComponent>\n  </instrument>\n";
  }
  return xml + " </instrumentList>\n</drumkit_info>\n";
}

// The kit folder that the instrument finds under $XDG_DATA_HOME.
inline std::filesystem::path UserKitFolder(const std::filesystem::path& dataHome, const std::string& name) {
  return dataHome / "hydrogen" / "data" / "drumkits" / name;
}

}  // namespace testkit
