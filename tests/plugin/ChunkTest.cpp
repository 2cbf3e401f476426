// The instrument's state: the chunk the host keeps in its sessions, and the kit
// files of the Save Kit and Load Kit requests.
#include <cstring>
#include <fstream>

#include "InstrumentFixture.h"

namespace {

using TChunk = TInstrumentTest;

TKit SampleKit(const char* name) {
  TKit kit = TKit::Default();
  kit.SetName(name);
  kit.master = 0.6f;
  for (int cell = 0; cell < kCellCount; ++cell) {
    TCellSettings& c = kit.cells[cell];
    c.level = 0.01f * static_cast<float>(cell + 1);
    c.pan = -1.0f + 2.0f * static_cast<float>(cell) / (kCellCount - 1);
    c.tune = static_cast<float>(cell % 25) - 12.0f;
    c.decay = 0.05f + 0.95f * static_cast<float>(cell) / (kCellCount - 1);
    c.outputPair = cell % 8;
    c.chokeGroup = cell % 16;
  }
  return kit;
}

// Rewrites the checksum, so that only the field itself is wrong.
void Reseal(std::vector<uint8_t>& chunk) {
  const uint32_t crc = Crc32(chunk.data(), chunk.size() - 4);
  for (int i = 0; i < 4; ++i) chunk[chunk.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void PutU32(std::vector<uint8_t>& chunk, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) chunk[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST_F(TChunk, SurvivesARoundTripAndCarriesToAnotherInstance) {
  const std::vector<uint8_t> original = SampleKit("Round Trip").ToChunk();
  ASSERT_TRUE(plugin->SetChunk(original));
  EXPECT_EQ(plugin->GetChunk(), original);
  EXPECT_FLOAT_EQ(plugin->Effect()->getParameter(plugin->Effect(), 0), 0.6f);

  TTestPlugin other(THUDRA_PLUGIN_LIBRARY);
  ASSERT_TRUE(other.Load());
  other.Start();
  EXPECT_NE(other.GetChunk(), original);
  ASSERT_TRUE(other.SetChunk(plugin->GetChunk()));
  EXPECT_EQ(other.GetChunk(), original);
}

TEST_F(TChunk, HoldsTheKitNameAndTheParameters) {
  plugin->Dispatch(effSetProgramName, 0, 0, const_cast<char*>("Studio B"));
  AEffect* e = plugin->Effect();
  e->setParameter(e, 0, 0.3f);
  e->setParameter(e, 10, 0.9f);
  const std::vector<uint8_t> chunk = plugin->GetChunk();
  TKit kit;
  ASSERT_TRUE(TKit::FromChunk(chunk.data(), chunk.size(), kit));
  EXPECT_STREQ(kit.name, "Studio B");
  EXPECT_FLOAT_EQ(kit.master, 0.3f);
  EXPECT_FLOAT_EQ(kit.cells[9].level, 0.9f);
  char name[32] = {};
  plugin->Dispatch(effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Studio B");
  EXPECT_EQ(chunk.size(), TKit::chunkSize);
}

struct TDamage {
  const char* what;
  void (*apply)(std::vector<uint8_t>&);
};

// A damaged chunk is refused and changes nothing.
TEST_F(TChunk, RefusesDamagedChunksAndKeepsItsState) {
  const TDamage damages[] = {
      {"flipped bit", [](std::vector<uint8_t>& c) { c[200] ^= 0x10; }},
      {"truncated", [](std::vector<uint8_t>& c) { c.pop_back(); }},
      {"one byte more", [](std::vector<uint8_t>& c) { c.push_back(0); }},
      {"half", [](std::vector<uint8_t>& c) { c.resize(c.size() / 2); }},
      {"empty", [](std::vector<uint8_t>& c) { c.clear(); }},
      {"other magic", [](std::vector<uint8_t>& c) { c[0] = 'X'; Reseal(c); }},
      {"other version", [](std::vector<uint8_t>& c) { PutU32(c, 4, 3); Reseal(c); }},
      {"version 1 at the size of 2", [](std::vector<uint8_t>& c) { PutU32(c, 4, 1); Reseal(c); }},
      {"drumkit name without end",
       [](std::vector<uint8_t>& c) { std::memset(&c[TKit::chunkSizeV1 - 4], 'A', kDrumkitNameSize); Reseal(c); }},
      {"size field", [](std::vector<uint8_t>& c) { PutU32(c, 8, 99); Reseal(c); }},
      {"cell count", [](std::vector<uint8_t>& c) { PutU32(c, 48, 53); Reseal(c); }},
      {"output pair 9", [](std::vector<uint8_t>& c) { PutU32(c, 52 + 16, 8); Reseal(c); }},
      {"choke group 16", [](std::vector<uint8_t>& c) { PutU32(c, 52 + 20, 16); Reseal(c); }},
      {"level not a number", [](std::vector<uint8_t>& c) { PutU32(c, 52, 0x7FC00000); Reseal(c); }},
      {"tune 25", [](std::vector<uint8_t>& c) { PutU32(c, 52 + 8, 0x41C80000); Reseal(c); }},
      {"master 2", [](std::vector<uint8_t>& c) { PutU32(c, 44, 0x40000000); Reseal(c); }},
      {"name without end", [](std::vector<uint8_t>& c) { std::memset(&c[12], 'A', 32); Reseal(c); }},
  };
  const std::vector<uint8_t> good = SampleKit("Kept").ToChunk();
  ASSERT_TRUE(plugin->SetChunk(good));
  for (const TDamage& d : damages) {
    std::vector<uint8_t> bad = TKit::Default().ToChunk();
    d.apply(bad);
    EXPECT_FALSE(plugin->SetChunk(bad)) << d.what;
    EXPECT_EQ(plugin->GetChunk(), good) << d.what;
  }
  EXPECT_EQ(plugin->Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(good.size()), nullptr), 0);
  EXPECT_EQ(plugin->Dispatch(effSetChunk, 0, -5, const_cast<uint8_t*>(good.data())), 0);
  EXPECT_EQ(plugin->Dispatch(effGetChunk, 0, 0, nullptr), 0);
  EXPECT_EQ(plugin->GetChunk(), good);
}

// The chunk as the instrument wrote it before it knew sampled kits: version 1,
// without the drumkit name.
std::vector<uint8_t> VersionOneChunk(const TKit& kit) {
  std::vector<uint8_t> chunk = kit.ToChunk();
  chunk.erase(chunk.begin() + static_cast<ptrdiff_t>(TKit::chunkSizeV1 - 4), chunk.end() - 4);
  PutU32(chunk, 4, 1);
  PutU32(chunk, 8, static_cast<uint32_t>(chunk.size()));
  Reseal(chunk);
  return chunk;
}

TEST_F(TChunk, AVersionOneChunkStillLoadsWithTheSynthesizedSounds) {
  TKit sampled = SampleKit("Old Session");
  sampled.SetDrumkit("SomeKit");
  const std::vector<uint8_t> old = VersionOneChunk(sampled);
  ASSERT_EQ(old.size(), TKit::chunkSizeV1);
  ASSERT_TRUE(plugin->SetChunk(old));
  ASSERT_TRUE(WaitForKit());
  TKit read;
  const std::vector<uint8_t> now = plugin->GetChunk();
  ASSERT_TRUE(TKit::FromChunk(now.data(), now.size(), read));
  EXPECT_EQ(now.size(), TKit::chunkSize) << "written back in the new version";
  EXPECT_STREQ(read.name, "Old Session");
  EXPECT_STREQ(read.drumkit, "") << "the old version means the synthesized sounds";
  TKit expected = SampleKit("Old Session");
  EXPECT_EQ(now, expected.ToChunk());
}

// ---- kit files ------------------------------------------------------------------

std::filesystem::path KitFolder(const std::filesystem::path& home) { return home / "data" / "Thudra" / "Kits"; }

TEST_F(TChunk, SaveKitWritesTheKitAndLoadKitReadsItBack) {
  const std::vector<uint8_t> saved = SampleKit("Saved Kit").ToChunk();
  ASSERT_TRUE(plugin->SetChunk(saved));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 2), 1);
  const std::string said = ::testing::internal::GetCapturedStderr();
  const std::filesystem::path file = KitFolder(home) / "Saved Kit.tkit";
  ASSERT_TRUE(std::filesystem::exists(file)) << said;
  EXPECT_NE(said.find(file.string()), std::string::npos) << "without an editor the result goes to standard error";
  EXPECT_EQ(std::filesystem::file_size(file), TKit::chunkSize);

  ASSERT_TRUE(plugin->SetChunk(TKit::Default().ToChunk()));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 1), 1);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(plugin->GetChunk(), saved);
}

TEST_F(TChunk, LoadKitTakesTheMostRecentKitAndRefusesADamagedOne) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 1), 0) << "nothing saved yet";
  ASSERT_TRUE(plugin->SetChunk(SampleKit("Older").ToChunk()));
  ASSERT_EQ(plugin->Dispatch(effVendorSpecific, 2), 1);
  const std::vector<uint8_t> newer = SampleKit("Newer").ToChunk();
  ASSERT_TRUE(plugin->SetChunk(newer));
  ASSERT_EQ(plugin->Dispatch(effVendorSpecific, 2), 1);
  const auto folder = KitFolder(home);
  const auto now = std::filesystem::file_time_type::clock::now();
  std::filesystem::last_write_time(folder / "Older.tkit", now - std::chrono::hours(2));
  std::filesystem::last_write_time(folder / "Newer.tkit", now - std::chrono::hours(1));

  ASSERT_TRUE(plugin->SetChunk(TKit::Default().ToChunk()));
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 1), 1);
  EXPECT_EQ(plugin->GetChunk(), newer);

  // The newest file is damaged: refused, and the kit stays as it is.
  {
    std::ofstream damaged(folder / "Broken.tkit", std::ios::binary);
    std::vector<uint8_t> bytes = SampleKit("Broken").ToChunk();
    bytes[300] ^= 1;
    damaged.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ASSERT_TRUE(plugin->SetChunk(TKit::Default().ToChunk()));
  const std::vector<uint8_t> before = plugin->GetChunk();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 1), 0);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(plugin->GetChunk(), before);
  EXPECT_NE(said.find("damaged"), std::string::npos) << said;
}

TEST_F(TChunk, KitNamesMakeSafeFileNames) {
  plugin->Dispatch(effSetProgramName, 0, 0, const_cast<char*>("../../etc/x"));
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(plugin->Dispatch(effVendorSpecific, 2), 1);
  ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::filesystem::exists(KitFolder(home) / "_.._etc_x.tkit"));
}

TEST_F(TChunk, AboutWithoutAnEditorGoesToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, -1), 1);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Thudra 1.0.0"), std::string::npos) << said;
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 7), 0);
}

}  // namespace
