#include "TDrumkitXml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::string Trim(const char* text) {
  std::string s = text ? text : "";
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Shown in messages: printable, and not endless.
std::string Shown(const std::string& text) {
  std::string s;
  for (char c : text) s += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return s.size() > 60 ? s.substr(0, 57) + "..." : s;
}

// A number written in the C locale's way, whatever the process's locale is.
bool Number(const std::string& text, double& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool Integer(const std::string& text, long& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string Format(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

class TReader {
public:
  TReader(const std::string& folder, std::vector<std::string>& problems) : folder(folder), problems(problems) {}

  void Instrument(const pugi::xml_node& node, size_t index, std::vector<TDrumkitInstrument>& out,
                  std::vector<std::string>& takenBy);

private:
  float Gain(const pugi::xml_node& node, const char* field, const std::string& who);
  float Pan(const pugi::xml_node& node, const std::string& who);
  pugi::xml_node LayerParent(const pugi::xml_node& instrument, const std::string& who);
  bool Layer(const pugi::xml_node& node, const std::string& who, TDrumkitLayer& layer);
  bool SafeFile(const std::string& file, const std::string& who);
  void Problem(const std::string& text) { problems.push_back(text); }

  const std::string& folder;
  std::vector<std::string>& problems;
};

// A gain that is missing is 1; one that is not a number or negative is 1 and said;
// one above the limit is held at the limit and said.
float TReader::Gain(const pugi::xml_node& node, const char* field, const std::string& who) {
  const pugi::xml_node child = node.child(field);
  if (!child) return 1.0f;
  double v = 1;
  if (!Number(Trim(child.child_value()), v) || v < 0) {
    Problem(who + ": the " + field + " \"" + Shown(Trim(child.child_value())) + "\" is not a gain; 1 is used");
    return 1.0f;
  }
  if (v > kDrumkitMaxGain) {
    Problem(who + ": the " + field + " " + Format(v) + " is too high; " + Format(kDrumkitMaxGain) + " is used");
    return kDrumkitMaxGain;
  }
  return static_cast<float>(v);
}

// "pan" from -1 to 1, or the older "pan_L" and "pan_R" levels from 0 to 1.
float TReader::Pan(const pugi::xml_node& node, const std::string& who) {
  double pan = 0;
  if (const pugi::xml_node p = node.child("pan")) {
    if (!Number(Trim(p.child_value()), pan)) {
      Problem(who + ": the pan \"" + Shown(Trim(p.child_value())) + "\" is not a number; centre is used");
      pan = 0;
    }
  } else if (node.child("pan_L") || node.child("pan_R")) {
    double left = 1, right = 1;
    if (!Number(Trim(node.child_value("pan_L")), left)) left = 1;
    if (!Number(Trim(node.child_value("pan_R")), right)) right = 1;
    pan = std::clamp(right, 0.0, 1.0) - std::clamp(left, 0.0, 1.0);
  }
  return static_cast<float>(std::clamp(pan, -1.0, 1.0));
}

// The element whose <layer> children play: the first sample set (component) that
// has layers, else the instrument itself.
pugi::xml_node TReader::LayerParent(const pugi::xml_node& instrument, const std::string& who) {
  pugi::xml_node chosen;
  int sets = 0;
  for (const pugi::xml_node& c : instrument.children("instrumentComponent")) {
    if (!c.child("layer")) continue;
    ++sets;
    if (!chosen) chosen = c;
  }
  if (sets > 1) Problem(who + ": only the first of its " + std::to_string(sets) + " sample sets plays");
  return chosen ? chosen : instrument;
}

bool TReader::SafeFile(const std::string& file, const std::string& who) {
  if (file.empty()) {
    Problem(who + ": a layer names no sample file; it is left out");
    return false;
  }
  if (file.size() > 1024) {
    Problem(who + ": a sample file name is too long; the layer is left out");
    return false;
  }
  const bool absolute = file[0] == '/' || (file.size() > 1 && file[1] == ':');
  if (absolute) {
    Problem(who + ": the sample path " + Shown(file) + " is absolute; the layer is left out");
    return false;
  }
  size_t start = 0;
  while (start <= file.size()) {
    const size_t slash = std::min(file.find('/', start), file.size());
    if (file.compare(start, slash - start, "..") == 0 && slash - start == 2) {
      Problem(who + ": the sample path " + Shown(file) + " leaves the kit folder; the layer is left out");
      return false;
    }
    start = slash + 1;
  }
  return true;
}

bool TReader::Layer(const pugi::xml_node& node, const std::string& who, TDrumkitLayer& layer) {
  layer.file = Trim(node.child_value("filename"));
  std::replace(layer.file.begin(), layer.file.end(), '\\', '/');
  if (!SafeFile(layer.file, who)) return false;
  layer.path = folder.empty() ? layer.file : folder + "/" + layer.file;
  layer.min = 0;
  layer.max = 1;
  const pugi::xml_node min = node.child("min"), max = node.child("max");
  if ((min && !Number(Trim(min.child_value()), layer.min)) || (max && !Number(Trim(max.child_value()), layer.max)) ||
      layer.min < 0 || layer.max > 1 || layer.min > layer.max) {
    Problem(who + ": the velocity range " + Shown(Trim(min.child_value())) + " - " + Shown(Trim(max.child_value())) +
            " of " + Shown(layer.file) + " is not within 0 - 1; the layer is left out");
    return false;
  }
  layer.gain = Gain(node, "gain", who);
  return true;
}

void TReader::Instrument(const pugi::xml_node& node, size_t index, std::vector<TDrumkitInstrument>& out,
                         std::vector<std::string>& takenBy) {
  TDrumkitInstrument instrument;
  instrument.name = Trim(node.child_value("name"));
  if (instrument.name.size() > 64) instrument.name.resize(64);
  if (instrument.name.empty()) instrument.name = "Instrument " + std::to_string(index + 1);
  const std::string who = Shown(instrument.name);

  // Without a note the kit's order gives it: the first instrument on 36, and so on.
  long note = static_cast<long>(kDrumkitLowestNote + index);
  if (const pugi::xml_node n = node.child("midiOutNote")) {
    if (!Integer(Trim(n.child_value()), note)) {
      Problem(who + ": the MIDI note \"" + Shown(Trim(n.child_value())) + "\" is not a number; it is left out");
      return;
    }
  }
  if (note < kDrumkitLowestNote || note > kDrumkitHighestNote) {
    Problem(who + ": the MIDI note " + std::to_string(note) + " is outside 36 - 89; it is left out");
    return;
  }
  instrument.note = static_cast<int>(note);
  std::string& owner = takenBy[static_cast<size_t>(note - kDrumkitLowestNote)];
  if (!owner.empty()) {
    Problem(who + ": the MIDI note " + std::to_string(note) + " already plays " + owner + "; it is left out");
    return;
  }

  float gain = Gain(node, "volume", who) * Gain(node, "gain", who);
  const pugi::xml_node parent = LayerParent(node, who);
  if (parent != node) gain *= Gain(parent, "gain", who);
  instrument.gain = std::min(gain, kDrumkitMaxGain);
  instrument.pan = Pan(node, who);

  size_t count = 0;
  for (const pugi::xml_node& l : parent.children("layer")) {
    if (++count > kDrumkitMaxLayers) {
      Problem(who + ": more than " + std::to_string(kDrumkitMaxLayers) + " layers; the rest is left out");
      break;
    }
    TDrumkitLayer layer;
    if (Layer(l, who, layer)) instrument.layers.push_back(layer);
  }
  // The oldest form: one sample file named on the instrument itself.
  if (count == 0 && node.child("filename")) {
    TDrumkitLayer layer;
    if (Layer(node, who, layer)) instrument.layers.push_back(layer);
  }
  if (instrument.layers.empty()) {
    Problem(who + ": no layer can play; the cell keeps its synthesized sound");
    return;
  }
  owner = who;
  out.push_back(std::move(instrument));
}

std::string VelocityRange(int first, int last) {
  return first == last ? std::to_string(first) : std::to_string(first) + " - " + std::to_string(last);
}

}  // namespace

TDrumkitSpec ParseDrumkitXml(const void* bytes, size_t size, const std::string& folder) {
  TDrumkitSpec spec;
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      bytes && size > 0 ? doc.load_buffer(bytes, size, pugi::parse_default, pugi::encoding_auto)
                        : doc.load_string("");
  if (!parsed) {
    spec.problems.push_back(std::string("drumkit.xml is not XML (") + parsed.description() + " at byte " +
                            std::to_string(parsed.offset) + ")");
    return spec;
  }
  const pugi::xml_node root = doc.child("drumkit_info");
  if (!root) {
    spec.problems.push_back("drumkit.xml describes no drumkit (drumkit_info is missing)");
    return spec;
  }
  spec.readable = true;
  spec.name = Trim(root.child_value("name"));
  if (spec.name.size() > 64) spec.name.resize(64);

  TReader reader(folder, spec.problems);
  std::vector<std::string> takenBy(kDrumkitHighestNote - kDrumkitLowestNote + 1);
  size_t index = 0;
  for (const pugi::xml_node& node : root.child("instrumentList").children("instrument")) {
    if (index == kDrumkitMaxInstruments) {
      spec.problems.push_back("more than " + std::to_string(kDrumkitMaxInstruments) +
                              " instruments; the rest is left out");
      break;
    }
    reader.Instrument(node, index++, spec.instruments, takenBy);
  }
  if (index == 0) spec.problems.push_back("drumkit.xml lists no instrument");
  return spec;
}

TVelocityMap MapVelocities(const std::vector<TDrumkitLayer>& layers, const std::string& instrument,
                           std::vector<std::string>& problems) {
  constexpr double same = 1e-6, tolerance = 1e-6, overlapWidth = 1e-4;
  TVelocityMap map;
  std::vector<std::pair<double, double>> ranges;
  for (size_t i = 0; i < layers.size(); ++i) {
    size_t g = 0;
    while (g < ranges.size() &&
           !(std::fabs(ranges[g].first - layers[i].min) < same && std::fabs(ranges[g].second - layers[i].max) < same))
      ++g;
    if (g == ranges.size()) {
      ranges.push_back({layers[i].min, layers[i].max});
      map.groups.emplace_back();
    }
    map.groups[g].push_back(i);
  }
  if (ranges.empty()) return map;

  int gapFrom = -1, overlapFrom = -1;
  const auto flushGap = [&](int to) {
    if (gapFrom >= 0)
      problems.push_back(instrument + ": no layer holds velocities " + VelocityRange(gapFrom, to) +
                         "; the nearest layer plays them");
    gapFrom = -1;
  };
  const auto flushOverlap = [&](int to) {
    if (overlapFrom >= 0)
      problems.push_back(instrument + ": layers overlap at velocities " + VelocityRange(overlapFrom, to) +
                         "; the higher layer plays them");
    overlapFrom = -1;
  };
  for (int v = 1; v <= 127; ++v) {
    const double x = v / 127.0;
    int best = -1, holders = 0;
    bool realOverlap = false;
    for (size_t g = 0; g < ranges.size(); ++g) {
      if (x < ranges[g].first - tolerance || x > ranges[g].second + tolerance) continue;
      if (best >= 0) {
        const auto& a = ranges[static_cast<size_t>(best)];
        const double width = std::min(a.second, ranges[g].second) - std::max(a.first, ranges[g].first);
        realOverlap |= width > overlapWidth;
      }
      ++holders;
      if (best < 0 || ranges[g].first > ranges[static_cast<size_t>(best)].first ||
          (ranges[g].first == ranges[static_cast<size_t>(best)].first &&
           ranges[g].second > ranges[static_cast<size_t>(best)].second))
        best = static_cast<int>(g);
    }
    if (best < 0) {
      double nearest = 2;
      for (size_t g = 0; g < ranges.size(); ++g) {
        const double d = x < ranges[g].first ? ranges[g].first - x : x - ranges[g].second;
        if (d < nearest) {
          nearest = d;
          best = static_cast<int>(g);
        }
      }
      if (gapFrom < 0) gapFrom = v;
    } else {
      flushGap(v - 1);
    }
    if (holders > 1 && realOverlap) {
      if (overlapFrom < 0) overlapFrom = v;
    } else {
      flushOverlap(v - 1);
    }
    map.groupOfVelocity[v] = static_cast<uint8_t>(best);
  }
  flushGap(127);
  flushOverlap(127);
  map.groupOfVelocity[0] = map.groupOfVelocity[1];
  return map;
}
