// thudra: the standalone host of the Thudra drum sampler.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pc/host/DApp.h"
#include "pc/platform/TPlatform.h"

namespace {
void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: thudra [--headless] [--plugin PATH] [--help] [--version]\n"
               "\n"
               "Hosts the Thudra drum sampler (Thudra.dll in the program's folder).\n"
               "\n"
               "  --headless     run without a window (message boxes go to standard error);\n"
               "                 also the mode when there is no display (DISPLAY)\n"
               "  --plugin PATH  host the VST 2 instrument at PATH instead of Thudra.dll\n"
               "                 (its product check is skipped)\n"
               "  --help         show this help and exit\n"
               "  --version      show the version and exit\n"
               "\n"
               "SIGINT and SIGTERM end the program through its normal shutdown.\n"
               "MIDI devices: the ALSA sequencer's and a running JACK server's ports, and the\n"
               "virtual devices described in THUDRA_VIRTUAL_MIDI (see the README).\n");
}

struct TOptions {
  bool headless = false;
  bool help = false;
  bool version = false;
  std::string plugin;
  std::string error;
};

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--headless") {
      options.headless = true;
    } else if (word == "--plugin") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        options.error = "--plugin needs a path";
        return options;
      }
      options.plugin = argv[++i];
    } else if (word.rfind("--plugin=", 0) == 0 && word.size() > 9) {
      options.plugin = word.substr(9);
    } else if (word == "--help" || word == "-h") {
      options.help = true;
    } else if (word == "--version") {
      options.version = true;
    } else {
      options.error = "unknown option " + word;
      return options;
    }
  }
  return options;
}
}  // namespace

int main(int argc, char** argv) {
  const TOptions options = ParseOptions(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "thudra: %s\n", options.error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (options.help) {
    PrintUsage(stdout);
    return 0;
  }
  if (options.version) {
    std::printf("thudra %s\n", THUDRA_VERSION);
    return 0;
  }

  TPlatform::TOptions platformOptions;
  platformOptions.plugin = options.plugin;
  const char* display = std::getenv("DISPLAY");
  platformOptions.window = !options.headless && display && *display;
  TPlatform platform(platformOptions);
  if (platformOptions.window && !platform.GetEventLoop())
    std::fprintf(stderr, "thudra: %s; running without a window\n", platform.GetWindowError().c_str());
  DApp app(TEnsembleSources(), platform.GetEventLoop());
  return app.Run();
}
