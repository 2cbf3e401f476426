#include "TKitLoading.h"

#include <chrono>

#include "TDrumkitLibrary.h"

namespace {

std::string Count(int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

}  // namespace

TKitLoading::TKitLoading(TVoiceEngine& engine, size_t memoryLimit) : engine(engine), memoryLimit(memoryLimit) {
  Describe(*TKitSounds::Synthesized());
  thread = std::thread([this] { Run(); });
}

TKitLoading::~TKitLoading() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  thread.join();
}

void TKitLoading::Choose(const std::string& name, double rate, bool again) {
  std::lock_guard<std::mutex> lock(mutex);
  const bool same = name == state.chosen && rate == rateInPlace && (name == state.playing || pending);
  if (same && !again) return;
  const uint64_t generation = wanted.fetch_add(1) + 1;
  state.chosen = name;
  rateInPlace = rate;
  if (name.empty()) {
    pending.reset();
    placed = generation;
    PlaceSynthesized("", "");
    return;
  }
  pending = TRequest{name, rate, generation};
  state.loading = true;
  version.fetch_add(1, std::memory_order_release);
  wake.notify_one();
}

void TKitLoading::Reload(double rate) {
  std::string name;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (state.chosen.empty() || rate == rateInPlace) return;
    name = state.chosen;
  }
  Choose(name, rate, true);
}

bool TKitLoading::Ready() const {
  std::lock_guard<std::mutex> lock(mutex);
  return placed == wanted.load();
}

std::vector<std::string> TKitLoading::TakeMessages() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> taken;
  taken.swap(messages);
  return taken;
}

TKitState TKitLoading::State() const {
  std::lock_guard<std::mutex> lock(mutex);
  return state;
}

// Under the mutex.
void TKitLoading::Describe(const TKitSounds& kit) {
  state.playing = kit.name;
  for (int cell = 0; cell < kCellCount; ++cell) {
    state.cellNames[cell] = kit.cells[cell].sampled ? kit.cells[cell].name : TSampleBank::ShortName(cell);
    state.sampled[cell] = kit.cells[cell].sampled;
  }
  version.fetch_add(1, std::memory_order_release);
}

// Under the mutex.
void TKitLoading::PlaceSynthesized(const std::string& chosen, const std::string& why) {
  auto kit = TKitSounds::Synthesized();
  Describe(*kit);
  engine.OfferKit(std::move(kit));
  state.loading = false;
  state.leftOut.clear();
  state.summary = chosen.empty() ? "The synthesized sounds play" : why + "; the synthesized sounds play";
  if (!chosen.empty()) messages.push_back(state.summary);
}

// Under the mutex.
void TKitLoading::Place(const TRequest& request, const std::string& folder, TDrumkitLoad& load) {
  placed = request.generation;
  if (folder.empty()) {
    PlaceSynthesized(request.name, "The kit " + request.name + " is not installed here");
    return;
  }
  if (!load.kit) {
    PlaceSynthesized(request.name, load.error);
    return;
  }
  Describe(*load.kit);
  engine.OfferKit(std::move(load.kit));
  state.loading = false;
  state.leftOut = load.leftOut;
  state.summary = request.name + ": " + Count(load.instruments, "sampled cell") + " (" +
                  Count(load.samples, "sample") + "), the others synthesized";
  if (!load.leftOut.empty()) state.summary += "; " + std::to_string(load.leftOut.size()) + " left out, see the kit list";
  messages.push_back(state.summary);
}

void TKitLoading::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping || pending; });
    lock.unlock();
    engine.CollectRetired();
    lock.lock();
    if (stopping || !pending) continue;
    const TRequest request = *pending;
    pending.reset();
    lock.unlock();
    const auto abandoned = [&] { return stopping.load() || wanted.load() != request.generation; };
    const std::string folder = TDrumkitLibrary::Find(request.name);
    TDrumkitLoad load;
    if (!folder.empty()) load = TDrumkitLoader::Load(folder, request.rate, memoryLimit, abandoned);
    lock.lock();
    if (!abandoned()) Place(request, folder, load);
  }
}
