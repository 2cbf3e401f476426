#include "TScreenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <zlib.h>

#include <cstdio>
#include <set>

size_t TScreenImage::CountColours(int x, int y, int w, int h) const {
  std::set<uint32_t> colours;
  for (int j = y; j < y + h && j < height; ++j)
    for (int i = x; i < x + w && i < width; ++i) colours.insert(At(i, j));
  return colours.size();
}

bool GrabWindow(const std::string& name, unsigned long window, TScreenImage& image, std::string& error) {
  Display* display = XOpenDisplay(name.c_str());
  if (!display) {
    error = "cannot open " + name;
    return false;
  }
  bool ok = false;
  XWindowAttributes attributes;
  Window child = 0;
  int x = 0, y = 0;
  if (XGetWindowAttributes(display, window, &attributes) &&
      XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child)) {
    // From the root window: the window's area as it is on the screen, children included.
    XImage* shot = XGetImage(display, attributes.root, x, y, static_cast<unsigned>(attributes.width),
                             static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (shot) {
      image.width = attributes.width;
      image.height = attributes.height;
      image.pixels.resize(static_cast<size_t>(image.width) * image.height);
      for (int j = 0; j < image.height; ++j)
        for (int i = 0; i < image.width; ++i)
          image.pixels[static_cast<size_t>(j) * image.width + i] = XGetPixel(shot, i, j) & 0xFFFFFF;
      XDestroyImage(shot);
      ok = true;
    } else {
      error = "XGetImage failed";
    }
  } else {
    error = "no such window";
  }
  XCloseDisplay(display);
  return ok;
}

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  Put32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}
}  // namespace

bool SavePng(const TScreenImage& image, const std::string& path) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(image.height) * (1 + 3 * image.width));
  for (int j = 0; j < image.height; ++j) {
    raw.push_back(0);  // no filter
    for (int i = 0; i < image.width; ++i) {
      const uint32_t p = image.At(i, j);
      raw.push_back(static_cast<uint8_t>(p >> 16));
      raw.push_back(static_cast<uint8_t>(p >> 8));
      raw.push_back(static_cast<uint8_t>(p));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
  packed.resize(packedSize);
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(image.width));
  Put32(header, static_cast<uint32_t>(image.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
  Chunk(file, "IHDR", header);
  Chunk(file, "IDAT", packed);
  Chunk(file, "IEND", {});
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}
