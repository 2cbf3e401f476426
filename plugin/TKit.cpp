#include "TKit.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint8_t kMagic[4] = {'T', 'K', 'I', 'T'};

class TWriter {
public:
  explicit TWriter(uint8_t* out) : p(out) {}
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
  }
  void F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(bits);
  }
  void Bytes(const void* data, size_t n) {
    std::memcpy(p, data, n);
    p += n;
  }

private:
  uint8_t* p;
};

class TReader {
public:
  explicit TReader(const uint8_t* in) : p(in) {}
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(*p++) << (8 * i);
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() {
    const uint32_t bits = U32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
  }
  void Bytes(void* data, size_t n) {
    std::memcpy(data, p, n);
    p += n;
  }

private:
  const uint8_t* p;
};

bool InRange(float v, float low, float high) { return std::isfinite(v) && v >= low && v <= high; }

bool IsValid(const TCellSettings& c) {
  return InRange(c.level, 0, 1) && InRange(c.pan, -1, 1) && InRange(c.tune, TKitRanges::minTune, TKitRanges::maxTune) &&
         InRange(c.decay, TKitRanges::minDecay, TKitRanges::maxDecay) && c.outputPair >= 0 &&
         c.outputPair < TKitRanges::outputPairs && c.chokeGroup >= 0 && c.chokeGroup < TKitRanges::chokeGroups;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  static const auto table = [] {
    struct {
      uint32_t v[256];
    } t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t.v[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table.v[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

TKit TKit::Default() {
  TKit kit;
  kit.SetName("Standard Kit");
  for (int cell = 0; cell < kCellCount; ++cell) kit.cells[cell].chokeGroup = TSampleBank::DefaultChoke(cell);
  return kit;
}

void TKit::SetName(const char* text) {
  std::memset(name, 0, sizeof name);
  if (text) std::memcpy(name, text, strnlen(text, sizeof name - 1));
}

void TKit::SetDrumkit(const char* text) {
  std::memset(drumkit, 0, sizeof drumkit);
  if (text) std::memcpy(drumkit, text, strnlen(text, sizeof drumkit - 1));
}

std::vector<uint8_t> TKit::ToChunk() const {
  std::vector<uint8_t> out(chunkSize);
  WriteChunk(out.data());
  return out;
}

void TKit::WriteChunk(uint8_t* out) const {
  TWriter w(out);
  w.Bytes(kMagic, 4);
  w.U32(chunkVersion);
  w.U32(static_cast<uint32_t>(chunkSize));
  // The name up to its zero; the rest of the field is zero.
  char cleanName[kKitNameSize] = {};
  std::memcpy(cleanName, name, strnlen(name, kKitNameSize - 1));
  w.Bytes(cleanName, sizeof cleanName);
  w.F32(master);
  w.U32(kCellCount);
  for (const TCellSettings& c : cells) {
    w.F32(c.level);
    w.F32(c.pan);
    w.F32(c.tune);
    w.F32(c.decay);
    w.U32(static_cast<uint32_t>(c.outputPair));
    w.U32(static_cast<uint32_t>(c.chokeGroup));
  }
  char cleanDrumkit[kDrumkitNameSize] = {};
  std::memcpy(cleanDrumkit, drumkit, strnlen(drumkit, kDrumkitNameSize - 1));
  w.Bytes(cleanDrumkit, sizeof cleanDrumkit);
  w.U32(Crc32(out, chunkSize - 4));
}

bool TKit::FromChunk(const void* data, size_t size, TKit& kit) {
  if (!data || (size != chunkSize && size != chunkSizeV1)) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (std::memcmp(bytes, kMagic, 4) != 0) return false;
  TReader r(bytes + 4);
  const uint32_t version = r.U32();
  if ((version != 1 || size != chunkSizeV1) && (version != 2 || size != chunkSize)) return false;
  if (r.U32() != size) return false;
  TReader crcReader(bytes + size - 4);
  if (crcReader.U32() != Crc32(bytes, size - 4)) return false;

  TKit read;
  r.Bytes(read.name, sizeof read.name);
  if (read.name[kKitNameSize - 1] != 0) return false;
  read.master = r.F32();
  if (!InRange(read.master, 0, 1) || r.U32() != kCellCount) return false;
  for (TCellSettings& c : read.cells) {
    c.level = r.F32();
    c.pan = r.F32();
    c.tune = r.F32();
    c.decay = r.F32();
    c.outputPair = r.I32();
    c.chokeGroup = r.I32();
    if (!IsValid(c)) return false;
  }
  if (version >= 2) {
    r.Bytes(read.drumkit, sizeof read.drumkit);
    if (read.drumkit[kDrumkitNameSize - 1] != 0) return false;
  }
  kit = read;
  return true;
}
