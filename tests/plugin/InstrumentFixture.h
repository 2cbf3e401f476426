// Shared set-up of the instrument tests: Thudra.dll loaded through the tests' own
// loader, opened and resumed with 128-frame blocks at 44100 Hz.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TKit.h"
#include "TSampleBank.h"
#include "TTestPlugin.h"

class TInstrumentTest : public ::testing::Test {
protected:
  static constexpr int block = 128;

  void SetUp() override {
    // Nothing a test does may reach the user's own folders.
    home = std::filesystem::temp_directory_path() /
           ("thudra-plugin-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_MUSIC_DIR", (home / "Music").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    plugin = std::make_unique<TTestPlugin>(THUDRA_PLUGIN_LIBRARY);
    ASSERT_TRUE(plugin->Load()) << plugin->Error();
    plugin->Start(block);
    // The default sampled kit, when it is installed, loads on the instrument's thread.
    ASSERT_TRUE(WaitForKit());
  }

  void TearDown() override {
    plugin.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }

  static TTestMidi NoteOn(int note, int velocity, int delta = 0) {
    return {delta, 0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
  }

  // Every voice stops at the start of the next block (suspend and resume).
  void Silence() {
    plugin->Stop();
    plugin->Dispatch(effMainsChanged, 0, 1);
  }

  // A kit in which every cell plays at full level, centred, untuned, undamped.
  static TKit PlainKit() {
    TKit kit = TKit::Default();
    kit.master = 1.0f;
    for (TCellSettings& c : kit.cells) c = TCellSettings{1.0f, 0.0f, 0.0f, 1.0f, 0, 0};
    return kit;
  }

  void UseKit(const TKit& kit) {
    ASSERT_TRUE(plugin->SetChunk(kit.ToChunk()));
    ASSERT_TRUE(WaitForKit());
  }

  // Waits until the chosen sampled kit is in place; one block hands it over.
  bool WaitForKit(int seconds = 30) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (plugin->Dispatch(effVendorSpecific, 3) != 1) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    plugin->Process(block);
    return true;
  }

  // Renders `blocks` blocks; the first carries the events. Answers the frames of
  // each output channel.
  std::vector<std::vector<float>> Render(int blocks, const std::vector<TTestMidi>& events = {}) {
    std::vector<std::vector<float>> out(TTestPlugin::channels);
    for (int b = 0; b < blocks; ++b) {
      plugin->Process(block, b == 0 ? events : std::vector<TTestMidi>{});
      for (int ch = 0; ch < TTestPlugin::channels; ++ch)
        out[ch].insert(out[ch].end(), plugin->Output(ch), plugin->Output(ch) + block);
    }
    return out;
  }

  static bool AllZero(const std::vector<float>& v) {
    for (float x : v)
      if (x != 0.0f) return false;
    return true;
  }

  std::filesystem::path home;
  std::unique_ptr<TTestPlugin> plugin;
};
