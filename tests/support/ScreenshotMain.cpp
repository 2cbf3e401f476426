// thudra-screenshot DISPLAY WINDOW FILE.png: saves a window's screen contents.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TScreenshot.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: thudra-screenshot DISPLAY WINDOW FILE.png\n");
    return 2;
  }
  TScreenImage image;
  std::string error;
  if (!GrabWindow(argv[1], std::strtoul(argv[2], nullptr, 0), image, error)) {
    std::fprintf(stderr, "thudra-screenshot: %s\n", error.c_str());
    return 1;
  }
  return SavePng(image, argv[3]) ? 0 : 1;
}
