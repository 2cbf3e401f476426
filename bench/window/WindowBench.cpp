// The program with its window on an X server of the benchmark's own: the time from
// starting thudra with the instrument to its main window shown with the editor in it.
// With the null audio port the start-up reports two messages; they are answered as
// soon as they show, and the time they were up is counted separately.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ProgramRun.h"
#include "TDesktop.h"

namespace {
using namespace std::chrono;

void BM_StartToWindowShown(benchmark::State& state) {
  TDesktop desktop;
  std::string error;
  if (!desktop.Start(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  double boxesSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TProgramFolder folder;
    folder.InstallProgram();
    folder.InstallPlugIn(THUDRA_PLUGIN_LIBRARY);
    std::filesystem::create_directories(folder.File("runtime"));
    std::filesystem::permissions(folder.File("runtime"), std::filesystem::perms::owner_all);
    const std::map<std::string, std::string> environment = {{"DISPLAY", desktop.DisplayName()},
                                                            {"XDG_CONFIG_HOME", folder.File("config")},
                                                            {"XDG_RUNTIME_DIR", folder.File("runtime")}};
    state.ResumeTiming();
    const auto start = steady_clock::now();
    TProgramRun run(folder, {}, environment);
    bool shown = false;
    while (!shown && steady_clock::now() - start < seconds(20)) {
      for (unsigned long window : desktop.WindowsNamed("Thudra")) {
        const std::vector<unsigned long> children = desktop.Children(window);
        if (children.empty()) {
          const auto box = steady_clock::now();
          desktop.Keys(window, {"Return"});
          boxesSeconds += duration<double>(steady_clock::now() - box).count();
          continue;
        }
        // Shown with the editor: the client area holds the editor's window.
        for (unsigned long child : children)
          if (!desktop.Children(child).empty()) shown = true;
      }
      if (!shown) std::this_thread::sleep_for(microseconds(500));
    }
    state.PauseTiming();
    if (!shown) state.SkipWithError("the window did not show");
    run.Signal(SIGTERM);
    run.Wait();
    state.ResumeTiming();
  }
  state.counters["answering_messages_s"] =
      benchmark::Counter(boxesSeconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartToWindowShown)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
