// The sampled kit the instrument plays, chosen by name and loaded on a thread of
// the instrument's own; the finished kit is offered to the voice engine, which
// swaps it in between two blocks. Choosing again while a kit loads abandons that
// load. A kit that is missing, refused or cannot be read leaves the synthesised
// sounds playing and says so.
//
// Choose, Reload, Ready, TakeMessages and State: the user-interface thread. The
// kit thread loads, offers the kit (under the mutex, so that offers keep the order
// of the choices) and frees the kits the audio thread is done with.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TDrumkitLoader.h"
#include "TVoiceEngine.h"

struct TKitState {
  std::string chosen;   // the kit asked for ("" for the synthesised sounds)
  std::string playing;  // the kit in place ("" for the synthesised sounds)
  bool loading = false;
  std::string cellNames[kCellCount];
  bool sampled[kCellCount] = {};
  std::string summary;               // one line about the kit in place
  std::vector<std::string> leftOut;  // what of it does not play
};

class TKitLoading {
public:
  explicit TKitLoading(TVoiceEngine& engine, size_t memoryLimit = TDrumkitLoader::DefaultMemoryLimit());
  ~TKitLoading();  // abandons a load in progress and waits for the thread
  TKitLoading(const TKitLoading&) = delete;
  TKitLoading& operator=(const TKitLoading&) = delete;

  // "" chooses the synthesised sounds at once. The same kit at the same rate is
  // loaded again only when `again` is set (a choice in the kit list).
  void Choose(const std::string& name, double rate, bool again = false);
  // Loads the chosen kit again when it was loaded for another sample rate.
  void Reload(double rate);
  // The chosen kit is in place (or its failure has left the synthesised sounds).
  bool Ready() const;
  // What the loads have to say since the last call, one line each.
  std::vector<std::string> TakeMessages();
  TKitState State() const;
  uint64_t StateVersion() const { return version.load(std::memory_order_acquire); }

private:
  struct TRequest {
    std::string name;
    double rate;
    uint64_t generation;
  };

  void Run();
  void Place(const TRequest& request, const std::string& folder, TDrumkitLoad& load);
  void PlaceSynthesized(const std::string& chosen, const std::string& why);
  void Describe(const TKitSounds& kit);

  TVoiceEngine& engine;
  const size_t memoryLimit;
  mutable std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> stopping{false};
  std::atomic<uint64_t> wanted{0};
  uint64_t placed = 0;
  std::optional<TRequest> pending;
  double rateInPlace = 0;
  TKitState state;
  std::atomic<uint64_t> version{1};
  std::vector<std::string> messages;
  std::thread thread;
};
