// Writes RGB pictures as PNG files (uncompressed deflate blocks), for the
// screenshots the editor tests leave in the build tree.
#pragma once
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace png {

inline uint32_t Crc(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

inline void Put32(std::string& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline void Chunk(std::string& file, const char* type, const std::string& data) {
  Put32(file, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  file += body;
  Put32(file, Crc(body));
}

// `pixels` holds 0xRRGGBB values, row by row.
inline bool Write(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      raw += static_cast<char>((p >> 16) & 0xFF);
      raw += static_cast<char>((p >> 8) & 0xFF);
      raw += static_cast<char>(p & 0xFF);
    }
  }
  std::string zlib = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + n >= raw.size() ? 1 : 0);
    zlib += static_cast<char>(n & 0xFF);
    zlib += static_cast<char>(n >> 8);
    zlib += static_cast<char>(~n & 0xFF);
    zlib += static_cast<char>((~n >> 8) & 0xFF);
    zlib.append(raw, at, n);
    if (raw.empty()) break;
  }
  Put32(zlib, (b << 16) | a);
  std::string header;
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);
  std::string file = "\x89PNG\r\n\x1a\n";
  Chunk(file, "IHDR", header);
  Chunk(file, "IDAT", zlib);
  Chunk(file, "IEND", "");
  std::ofstream out(path, std::ios::binary);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

}  // namespace png
