// thudra-tool session [--json] FILE: reads a session file as the host does (into a
// null MIDI port and a stand-in plug-in) and prints what the load gave.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "TJsonWriter.h"
#include "ToolCommand.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TFileName.h"
#include "foundation/TInOut.h"
#include "host/SessionFile.h"
#include "midi/TNoMidi.h"
#include "plughost/TNullVSTPlug.h"

namespace {
// Takes the chunk that the session hands to the plug-in.
class TStandInPlug : public TNullVSTPlug {
public:
  bool IsLoaded() override { return true; }
  void SetChunk(void* data, int32_t size, int32_t) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    chunk.assign(bytes, bytes + size);
  }
  std::vector<uint8_t> chunk;
};

// SHA-256 of bytes, as 64 lower-case hex digits.
std::string Sha256(const std::vector<uint8_t>& bytes) {
  static constexpr uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  auto rotate = [](uint32_t x, int n) { return x >> n | x << (32 - n); };
  std::vector<uint8_t> message = bytes;
  const uint64_t bits = uint64_t(bytes.size()) * 8;
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  for (int i = 7; i >= 0; --i) message.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  for (size_t block = 0; block < message.size(); block += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(message[block + 4 * i]) << 24 | uint32_t(message[block + 4 * i + 1]) << 16 |
             uint32_t(message[block + 4 * i + 2]) << 8 | message[block + 4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = hh + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  std::string hex;
  char digits[9];
  for (uint32_t word : h) {
    std::snprintf(digits, sizeof digits, "%08x", word);
    hex += digits;
  }
  return hex;
}

struct TLoadResult {
  int32_t ok = 0;
  TSessionInfo info;
  uint16_t channelMask = 0;
  uint32_t filterBits = 0;
  int32_t through = 0;
  std::vector<std::string> messages;
};

TLoadResult LoadForTool(const std::string& path) {
  TLoadResult result;
  TScriptedPresenter quiet;  // the messages go into the output, not onto the console
  TNoMidi port(nullptr);
  TStandInPlug plug;
  TFileName name;
  name.SetPath(TStr(std::string_view(path)));
  result.ok = LoadSessionFile(name, &port, &plug, &result.info);
  result.channelMask = port.GetChannelMask();
  result.filterBits = port.GetFilterBits();
  result.through = port.GetThrough();
  for (const auto& shown : quiet.shown) result.messages.emplace_back(std::string_view(shown.text));
  return result;
}

void PrintJson(TToolArgs& args, const std::string& path, const TLoadResult& r) {
  TJsonWriter json;
  json.BeginObject().Key("file").String(path);
  if (r.info.byteOrder >= 0) json.Key("byteOrder").String(r.info.byteOrder == BigEndian ? "be" : "le");
  if (r.info.haveIdentifier) json.Key("identifier").String(std::string_view(r.info.identifier));
  if (r.info.haveVersion) json.Key("version").Int(r.info.version);
  json.Key("channelMask").Int(r.channelMask).Key("filterBits").Int(r.filterBits).Key("through").Int(r.through);
  json.Key("chunkSize");
  if (r.info.chunkHandedOver) {
    json.Int(r.info.chunkSize).Key("chunkSha256").String(Sha256(r.info.chunk));
  } else {
    json.Number(std::nan("")).Key("chunkSha256").Number(std::nan(""));
  }
  if (!r.ok) json.Key("error").String(r.messages.empty() ? "Not a valid Thudra file." : r.messages.back());
  json.EndObject();
  args.out << json.Text() << '\n';
}

void PrintText(TToolArgs& args, const std::string& path, const TLoadResult& r) {
  args.out << path << '\n';
  if (r.info.byteOrder >= 0) args.out << "  byte order    " << (r.info.byteOrder == BigEndian ? "big-endian" : "little-endian") << '\n';
  if (r.info.haveIdentifier) args.out << "  identifier    " << std::string_view(r.info.identifier) << '\n';
  if (r.info.haveVersion) args.out << "  version       " << r.info.version << '\n';
  char mask[8];
  std::snprintf(mask, sizeof mask, "0x%04X", r.channelMask);
  args.out << "  channels      " << mask << '\n';
  char filter[12];
  std::snprintf(filter, sizeof filter, "0x%08X", r.filterBits);
  args.out << "  filter        " << filter << '\n';
  args.out << "  through       " << (r.through ? "on" : "off") << '\n';
  if (r.info.chunkHandedOver) {
    args.out << "  chunk         " << r.info.chunkSize << " bytes\n";
    args.out << "  chunk sha256  " << Sha256(r.info.chunk) << '\n';
  }
  for (const std::string& message : r.messages) args.err << path << ": " << message << '\n';
}
}  // namespace

int RunSession(TToolArgs& args) {
  bool asJson = false;
  std::vector<std::string> paths;
  for (const std::string& word : args.words) {
    if (word == "--json") asJson = true;
    else paths.push_back(word);
  }
  if (paths.size() != 1) return PrintUsage(*FindToolCommand("session"), args.err);
  const TLoadResult result = LoadForTool(paths.front());
  if (asJson)
    PrintJson(args, paths.front(), result);
  else
    PrintText(args, paths.front(), result);
  return result.ok ? exitOk : exitFailed;
}
