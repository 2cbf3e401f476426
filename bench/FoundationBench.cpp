#include <benchmark/benchmark.h>

#include "foundation/TParamStr.h"

static void BM_ParamStrGetText(benchmark::State& state) {
  TParamStr message("Value of $1 has to be between $2 and $3.");
  message.SetParam(1, TStr("Delay"));
  message.SetParam(2, 0.5);
  message.SetParam(3, 2.0);
  for (auto _ : state) benchmark::DoNotOptimize(message.GetText());
}
BENCHMARK(BM_ParamStrGetText);
