// Screenshots of X11 windows for the tests: the screen contents of a window's area
// (with its children, as a user sees it) read from the server and saved as PNG.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TScreenImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, row by row
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // How many different colours the rectangle holds.
  size_t CountColours(int x, int y, int w, int h) const;
};

// Reads window (an X11 window id) of the display named; false and error on failure.
bool GrabWindow(const std::string& display, unsigned long window, TScreenImage& image, std::string& error);
// Writes image as an 8-bit RGB PNG.
bool SavePng(const TScreenImage& image, const std::string& path);
