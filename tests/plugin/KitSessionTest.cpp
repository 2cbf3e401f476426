// Sampled kits through the instrument: a kit chosen in the chunk plays its samples
// by velocity and is restored with the session; a kit missing on this machine falls
// back to the synthesized sounds with a message and keeps its name; what a kit
// leaves out is said; a swap fades the old kit's voices; a new sample rate loads
// the kit again.
#include <chrono>
#include <thread>

#include "InstrumentFixture.h"
#include "TVoiceEngine.h"
#include "TestKits.h"

namespace {

namespace fs = std::filesystem;

class TKitSession : public TInstrumentTest {
protected:
  fs::path KitFolder(const std::string& name) const { return testkit::UserKitFolder(home / "data", name); }

  // Snare: a soft 200 Hz and a hard 400 Hz layer; clap: two samples in turn.
  void MakeTestKit(const std::string& name, bool withMissing = false) {
    const fs::path kit = KitFolder(name);
    ASSERT_TRUE(testkit::WriteTone(kit / "soft.wav", {200, 0.2, 0.4}));
    ASSERT_TRUE(testkit::WriteTone(kit / "hard.wav", {400, 0.8, 0.4}));
    ASSERT_TRUE(testkit::WriteTone(kit / "clap1.wav", {700, 0.5, 0.2}));
    ASSERT_TRUE(testkit::WriteTone(kit / "clap2.wav", {1100, 0.5, 0.2}));
    std::vector<testkit::TLayerSpec> snare = {{"soft.wav", 0, 0.5}, {"hard.wav", 0.5, 1}};
    if (withMissing) snare.push_back({"missing.wav", 0.5, 1});
    testkit::WriteText(kit / "drumkit.xml", testkit::KitXml(name, {{"Snare", 38, snare}, {"Clap", 39, {{"clap1.wav"}, {"clap2.wav"}}}}));
  }

  static TKit WithDrumkit(const std::string& name) {
    TKit kit = PlainKit();
    kit.SetDrumkit(name.c_str());
    return kit;
  }

  // The pitch of the left output: zero crossings over the first 40 ms.
  static double Hz(const std::vector<float>& x, double rate = 44100) {
    const size_t n = static_cast<size_t>(0.04 * rate);
    int crossings = 0;
    for (size_t i = 1; i < n && i < x.size(); ++i) crossings += (x[i - 1] < 0) != (x[i] < 0);
    return crossings / 2.0 / 0.04;
  }

  std::vector<float> Hit(int note, int velocity, int blocks = 16) {
    Silence();
    return Render(blocks, {NoteOn(note, velocity)})[0];
  }
};

TEST_F(TKitSession, ASessionStoresTheKitAndRestoresIt) {
  MakeTestKit("TestKit");
  UseKit(WithDrumkit("TestKit"));
  EXPECT_NEAR(Hz(Hit(38, 127)), 400, 20) << "the hard layer";
  EXPECT_NEAR(Hz(Hit(38, 40)), 200, 20) << "the soft layer";
  // The two clap samples take turns.
  Silence();
  EXPECT_NEAR(Hz(Render(16, {NoteOn(39, 100)})[0]), 700, 40);
  EXPECT_NEAR(Hz(Render(16, {NoteOn(39, 100)})[0]), 1100, 40);
  // Cells the kit does not fill keep the synthesized sound.
  const std::vector<float> kick = Hit(36, 127);
  UseKit(PlainKit());
  EXPECT_EQ(Hit(36, 127), kick);

  UseKit(WithDrumkit("TestKit"));
  const std::vector<uint8_t> session = plugin->GetChunk();
  TKit stored;
  ASSERT_TRUE(TKit::FromChunk(session.data(), session.size(), stored));
  EXPECT_STREQ(stored.drumkit, "TestKit");

  TTestPlugin other(THUDRA_PLUGIN_LIBRARY);
  ASSERT_TRUE(other.Load());
  other.Start(block);
  ASSERT_TRUE(other.SetChunk(session));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (other.Dispatch(effVendorSpecific, 3) != 1 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  other.Process(block);
  std::vector<float> restored;
  for (int b = 0; b < 16; ++b) {
    other.Process(block, b == 0 ? std::vector<TTestMidi>{NoteOn(38, 127)} : std::vector<TTestMidi>{});
    restored.insert(restored.end(), other.Output(0), other.Output(0) + block);
  }
  EXPECT_NEAR(Hz(restored), 400, 20);
  EXPECT_EQ(other.GetChunk(), session);
}

TEST_F(TKitSession, AKitMissingHereFallsBackToTheSynthesizedSoundsAndKeepsItsName) {
  UseKit(PlainKit());
  const std::vector<float> synthesized = Hit(38, 127);
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(plugin->SetChunk(WithDrumkit("NotOnThisMachine").ToChunk())) << "the chunk is never refused for it";
  ASSERT_TRUE(WaitForKit());
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("The kit NotOnThisMachine is not installed here; the synthesized sounds play"),
            std::string::npos)
      << said;
  EXPECT_EQ(Hit(38, 127), synthesized);
  const std::vector<uint8_t> chunk = plugin->GetChunk();
  TKit kit;
  ASSERT_TRUE(TKit::FromChunk(chunk.data(), chunk.size(), kit));
  EXPECT_STREQ(kit.drumkit, "NotOnThisMachine") << "the session keeps its kit for the machine that has it";

  // Installed later, the same choice finds it.
  MakeTestKit("NotOnThisMachine");
  UseKit(WithDrumkit("NotOnThisMachine"));
  EXPECT_NEAR(Hz(Hit(38, 127)), 400, 20);
}

TEST_F(TKitSession, WhatAKitLeavesOutIsSaid) {
  MakeTestKit("Partial", true);
  ::testing::internal::CaptureStderr();
  UseKit(WithDrumkit("Partial"));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Partial: 2 sampled cells (4 samples), the others synthesized; 1 left out, see the kit list"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("Snare: the sample missing.wav is missing"), std::string::npos) << said;
  EXPECT_NEAR(Hz(Hit(38, 127)), 400, 20) << "what is sound still plays";
}

// The kit is handed over between blocks: a crash of the old kit fades out within
// 2 ms of the block where the new kit arrives, without a step.
TEST_F(TKitSession, ASwapFadesTheOldKitsVoices) {
  MakeTestKit("TestKit");
  UseKit(PlainKit());
  Silence();
  Render(4, {NoteOn(49, 127)});
  const auto going = Render(2);
  Silence();
  Render(4, {NoteOn(49, 127)});
  ASSERT_TRUE(plugin->SetChunk(WithDrumkit("TestKit").ToChunk()));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (plugin->Dispatch(effVendorSpecific, 3) != 1 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const auto swapped = Render(2);
  const double step = 1.0 / (TVoiceEngine::kitSwapSeconds * 44100);
  for (size_t i = 0; i < swapped[0].size(); ++i)
    ASSERT_NEAR(swapped[0][i], going[0][i] * std::max(0.0, 1.0 - double(i) * step), 1e-4) << i;
  EXPECT_NEAR(Hz(Hit(38, 127)), 400, 20) << "the new kit plays";
}

TEST_F(TKitSession, ANewSampleRateLoadsTheKitAgain) {
  MakeTestKit("TestKit");
  UseKit(WithDrumkit("TestKit"));
  plugin->Stop();
  plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  plugin->Dispatch(effMainsChanged, 0, 1);
  ASSERT_TRUE(WaitForKit());
  EXPECT_NEAR(Hz(Hit(38, 127), 48000), 400, 20);
  EXPECT_NEAR(Hz(Hit(39, 127), 48000), 700, 40);
}

}  // namespace
