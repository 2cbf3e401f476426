// MIDI: loading a Standard MIDI File of one million events, the input path from a
// short message at the port thread to the queued plug-in event, and the file
// player's scheduler for a block with nothing due.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/IRegistry.h"
#include "foundation/TMemoryRegistry.h"
#include "midi/TMidiFilePlayback.h"
#include "midi/TMultiMediaMidi.h"
#include "plughost/TMidiEventQueue.h"

namespace {

std::vector<uint8_t> MillionEventFile() {
  std::vector<uint8_t> body = {0x00, 0x99, 36, 100};
  for (int i = 1; i < 1000000; ++i) {
    body.push_back(static_cast<uint8_t>(i % 3 == 0 ? 1 : 0));  // delta
    body.push_back(static_cast<uint8_t>(36 + i % 12));           // running status
    body.push_back(static_cast<uint8_t>(i % 2 ? 0 : 100));
  }
  body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
  const auto n = static_cast<uint32_t>(body.size());
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                               'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

class TSilentHost : public TBase, public virtual IMFPlayerHost {
public:
  void OnMidiInput(int32_t, int32_t, int32_t, int32_t) override {}
  int32_t IsPlaybackOn() override { return 1; }
  int32_t IsHostReady() override { return 1; }
  void SetPlayback(int32_t) override {}
};

// What the ensemble does with an input event: the port's acceptance, then the
// plug-in's queue.
class TQueueingHost : public TBase, public virtual IMidiHost {
public:
  void OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override {
    if (port && port->Accept(kind, channel, data1, data2))
      queue.Queue(static_cast<uint8_t>(0x80 | kind << 4 | channel), static_cast<uint8_t>(data1),
                  static_cast<uint8_t>(data2));
  }
  IMidiInOut* port = nullptr;
  TMidiEventQueue queue;
};

}  // namespace

static void BM_SmfLoadMillionEvents(benchmark::State& state) {
  const std::vector<uint8_t> file = MillionEventFile();
  TSilentHost host;
  TMFPlayer player(&host);
  for (auto _ : state) benchmark::DoNotOptimize(player.LoadBytes(file.data(), file.size(), "bench.mid"));
  state.counters["events"] = static_cast<double>(player.GetEvents().size());
}
BENCHMARK(BM_SmfLoadMillionEvents)->Unit(benchmark::kMillisecond);

static void BM_MidiInputToPlugInQueue(benchmark::State& state) {
  TMemoryRegistry registry;
  IRegistryBackend* previous = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  {
    TQueueingHost host;
    TMultiMediaMidi port(&host);
    host.port = &port;
    TPortMessage message;
    message.kind = TMultiMediaMidi::shortMessageArrived;
    message.message = PackShortMessage(0x99, 36, 100);
    int64_t n = 0;
    for (auto _ : state) {
      port.HandlePortMessage(message);
      if (++n % 512 == 0) {  // the audio thread's block
        host.queue.Collect();
        host.queue.Clear();
      }
    }
  }
  SetRegistryBackend(previous);
}
BENCHMARK(BM_MidiInputToPlugInQueue);

static void BM_PlayerDriverNothingDue(benchmark::State& state) {
  class TNoOffsets : public IEventOffsetTarget {
  public:
    void SetEventOffset(int32_t) override {}
  } offsets;
  // One note far beyond the first blocks: the scheduler finds nothing due.
  const std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                     'M', 'T', 'r', 'k', 0, 0, 0, 10, 0x8F, 0xFF, 0x7F, 0x99, 36, 100,
                                     0x00, 0xFF, 0x2F, 0x00};
  TSilentHost host;
  TMFPlayer player(&host);
  if (!player.LoadBytes(file.data(), file.size(), "bench.mid")) state.SkipWithError("the file did not load");
  TSongScheduler scheduler(player, host, &offsets);
  TMidiClock clock;
  scheduler.SetClock(&clock);
  scheduler.ProcessBlock(64);
  for (auto _ : state) scheduler.ProcessBlock(1);
}
BENCHMARK(BM_PlayerDriverNothingDue);
