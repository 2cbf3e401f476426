// The driver-access library's own work in each JACK cycle: the copy of the halves
// that the program filled to the client's port buffers (16 outputs of 64 frames, and
// of the server's default 1024), with an empty buffer switch.
#include <benchmark/benchmark.h>

#include <vector>

#include "pc/asio/TAsioDriverBase.h"

namespace {
void EmptySwitch(int32_t, int32_t) {}

void BM_AsioJackCycleCopy(benchmark::State& state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  constexpr int32_t outputs = 16;
  std::vector<TAsioBufferInfo> records;
  for (int32_t n = 0; n < outputs; ++n) records.push_back({0, n, {nullptr, nullptr}});
  const TAsioBufferSet buffers(records.data(), outputs, frames, std::vector<int32_t>(outputs, Asio::float32LSB));
  std::vector<std::vector<float>> portMemory(outputs, std::vector<float>(size_t(frames)));
  std::vector<float*> ports;
  for (auto& port : portMemory) ports.push_back(port.data());
  int32_t half = 0;
  for (auto _ : state) {
    RunFloatCycle(buffers, half, ports.data(), &EmptySwitch);
    half ^= 1;
    benchmark::DoNotOptimize(ports[outputs - 1][frames - 1]);
  }
  state.SetItemsProcessed(state.iterations() * outputs * frames);
}
BENCHMARK(BM_AsioJackCycleCopy)->Arg(64)->Arg(1024);
}  // namespace
