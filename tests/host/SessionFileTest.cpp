// Session files byte by byte: the writer, the reader against it, both byte orders,
// the four signatures, the version rule, damaged files and what stays applied, the
// chunk-size check and the write under a temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "HostFixture.h"
#include "foundation/TFileName.h"
#include "foundation/TInOut.h"
#include "host/SessionFile.h"
#include "midi/TNoMidi.h"
#include "plughost/TVSTPlug.h"

namespace {
const std::string identifier = "Thudra Session File";
const uint32_t L = static_cast<uint32_t>(identifier.size());

struct TFields {
  uint8_t signature[5] = {0x3A, 0x01, 0x01, 0x00, 0x00};
  std::string identifier = "Thudra Session File";
  uint32_t version = 100;
  uint16_t mask = 0x0204;
  uint32_t filter = 0x22;
  uint32_t through = 1;
  std::optional<int32_t> size;  // none: the chunk's size
  std::vector<uint8_t> chunk = {1, 2, 3, 4, 5, 6, 7};
  bool bigEndian = false;
};

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

std::vector<uint8_t> Build(const TFields& f) {
  std::vector<uint8_t> out(f.signature, f.signature + 5);
  Put(out, static_cast<uint32_t>(f.identifier.size()), 4, f.bigEndian);
  out.insert(out.end(), f.identifier.begin(), f.identifier.end());
  Put(out, f.version, 4, f.bigEndian);
  Put(out, f.mask, 2, f.bigEndian);
  Put(out, f.filter, 4, f.bigEndian);
  Put(out, f.through, 4, f.bigEndian);
  Put(out, static_cast<uint32_t>(f.size ? *f.size : static_cast<int32_t>(f.chunk.size())), 4, f.bigEndian);
  out.insert(out.end(), f.chunk.begin(), f.chunk.end());
  return out;
}

class SessionFileTest : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    plug = std::make_unique<TVSTPlug>(nullptr);
    port = std::make_unique<TNoMidi>(nullptr);
    TFakePlugin::Get().ClearRecord();
    messages.shown.clear();
  }
  void TearDown() override {
    plug.reset();
    port.reset();
    HostFixture::TearDown();
  }
  std::unique_ptr<TFileName> Name(const std::string& file) {
    auto name = std::make_unique<TFileName>();
    name->SetPath(TStr(std::string_view(folder->File(file))));
    return name;
  }
  int32_t Load(const std::vector<uint8_t>& bytes, TSessionInfo* info = nullptr) {
    WriteWholeFile(folder->File("s.tsn"), bytes);
    return LoadSessionFile(*Name("s.tsn"), port.get(), plug.get(), info);
  }
  bool ReportedNotValid() const {
    return messages.shown.size() == 1 && messages.shown[0].text == "Not a valid Thudra file." &&
           messages.shown[0].caption == "Thudra";
  }

  std::unique_ptr<TVSTPlug> plug;
  std::unique_ptr<TNoMidi> port;
};

TEST_F(SessionFileTest, TheWriterWritesExactlyTheFormat) {
  TFakePlugin::Get().chunk = {9, 8, 7, 6, 5};
  port->SetChannelMask(0x8001);
  port->SetFilterBits(0x00210003);
  port->SetThrough(1);
  SaveSessionFile(*Name("w.tsn"), port.get(), plug.get());
  const auto bytes = ReadWholeFile(folder->File("w.tsn"));
  TFields expected;
  expected.mask = 0x8001;
  expected.filter = 0x00210003;
  expected.through = 1;
  expected.chunk = {9, 8, 7, 6, 5};
  EXPECT_EQ(bytes, Build(expected));
  EXPECT_EQ(bytes.size(), 27 + L + 5);
  EXPECT_FALSE(std::filesystem::exists(folder->File("w.tsn.tmp")));
}

TEST_F(SessionFileTest, AWrittenSessionReadsBackIntoPortAndPlugIn) {
  TFakePlugin::Get().chunk = {0x10, 0x20, 0x30};
  port->SetChannelMask(0x0006);
  port->SetFilterBits(0x4);
  port->SetThrough(1);
  SaveSessionFile(*Name("r.tsn"), port.get(), plug.get());
  TNoMidi other(nullptr);
  TSessionInfo info;
  ASSERT_EQ(LoadSessionFile(*Name("r.tsn"), &other, plug.get(), &info), 1);
  EXPECT_EQ(other.GetChannelMask(), 0x0006);
  EXPECT_EQ(other.GetSendChannel(), 2);
  EXPECT_EQ(other.GetFilterBits(), 0x4u);
  EXPECT_EQ(other.GetThrough(), 1);
  EXPECT_EQ(TFakePlugin::Get().LastSetChunk(), (std::vector<uint8_t>{0x10, 0x20, 0x30}));
  EXPECT_EQ(info.byteOrder, LittleEndian);
  EXPECT_EQ(info.version, 100u);
  EXPECT_TRUE(info.chunkHandedOver);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionFileTest, AllFourSignaturesAndBothByteOrdersRead) {
  const uint8_t signatures[4][5] = {{0x3A, 1, 1, 0, 0}, {0x3A, 2, 2, 0, 0}, {0x3A, 1, 1, 0, 1}, {0x3A, 2, 2, 0, 1}};
  for (const auto& signature : signatures) {
    SCOPED_TRACE(int(signature[1]) * 10 + signature[4]);
    TFields f;
    std::copy(signature, signature + 5, f.signature);
    f.bigEndian = signature[1] == 2;
    TNoMidi fresh(nullptr);
    port = std::make_unique<TNoMidi>(nullptr);
    TFakePlugin::Get().ClearRecord();
    TSessionInfo info;
    ASSERT_EQ(Load(Build(f), &info), 1);
    EXPECT_EQ(info.byteOrder, f.bigEndian ? BigEndian : LittleEndian);
    EXPECT_EQ(port->GetChannelMask(), 0x0204);
    EXPECT_EQ(port->GetFilterBits(), 0x22u);
    EXPECT_EQ(port->GetThrough(), 1);
    EXPECT_EQ(TFakePlugin::Get().LastSetChunk(), f.chunk);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionFileTest, RefusedHeadersApplyNothing) {
  struct TCase {
    const char* name;
    std::function<void(TFields&)> damage;
  };
  const std::vector<TCase> cases = {
      {"signature", [](TFields& f) { f.signature[0] = 0x3B; }},
      {"mixed byte order", [](TFields& f) { f.signature[2] = 0x02; }},
      {"fifth byte 2", [](TFields& f) { f.signature[4] = 0x02; }},
      {"identifier case", [](TFields& f) { f.identifier = "thudra Session File"; }},
      {"identifier suffix", [](TFields& f) { f.identifier = "Thudra Session File "; }},
      {"version 101", [](TFields& f) { f.version = 101; }},
      {"negative version", [](TFields& f) { f.version = 0xFFFFFFFF; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFields f;
    c.damage(f);
    port = std::make_unique<TNoMidi>(nullptr);
    messages.shown.clear();
    TFakePlugin::Get().ClearRecord();
    EXPECT_EQ(Load(Build(f)), 0);
    EXPECT_TRUE(ReportedNotValid());
    EXPECT_EQ(port->GetChannelMask(), 0xFFFF);
    EXPECT_EQ(port->GetThrough(), 0);
    EXPECT_TRUE(TFakePlugin::Get().Calls().empty());
  }
  TFields older;
  older.version = 99;
  messages.shown.clear();
  EXPECT_EQ(Load(Build(older)), 1);
}

TEST_F(SessionFileTest, AFileCutShortKeepsTheMidiSettingsReadSoFarButNotTheChunk) {
  const auto whole = Build(TFields());
  const size_t afterThrough = 23 + L;
  port->SetChannelMask(0xFFFF);
  EXPECT_EQ(Load(std::vector<uint8_t>(whole.begin(), whole.begin() + afterThrough)), 0);
  EXPECT_TRUE(ReportedNotValid());
  EXPECT_EQ(port->GetChannelMask(), 0x0204);
  EXPECT_EQ(port->GetFilterBits(), 0x22u);
  EXPECT_EQ(port->GetThrough(), 1);
  EXPECT_TRUE(TFakePlugin::Get().Calls().empty());

  for (size_t cut : {size_t(0), size_t(3), size_t(5), size_t(9 + L), size_t(13 + L + 1), whole.size() - 1}) {
    SCOPED_TRACE(cut);
    messages.shown.clear();
    EXPECT_EQ(Load(std::vector<uint8_t>(whole.begin(), whole.begin() + cut)), 0);
    EXPECT_TRUE(ReportedNotValid());
    EXPECT_TRUE(TFakePlugin::Get().Calls().empty());
  }
}

TEST_F(SessionFileTest, AChunkSizeTheFileCannotHoldIsRefusedBeforeAnythingIsAllocated) {
  for (int32_t size : {0, -1, -2147483647 - 1, 8, 2147483647}) {
    SCOPED_TRACE(size);
    TFields f;
    f.size = size;
    messages.shown.clear();
    EXPECT_EQ(Load(Build(f)), 0);
    // The one message: no "Out of Memory !!!" before it.
    EXPECT_TRUE(ReportedNotValid());
    EXPECT_TRUE(TFakePlugin::Get().Calls().empty());
  }
  // Trailing bytes behind the chunk are ignored.
  TFields f;
  auto bytes = Build(f);
  bytes.insert(bytes.end(), {0xEE, 0xEE});
  messages.shown.clear();
  EXPECT_EQ(Load(bytes), 1);
  EXPECT_EQ(TFakePlugin::Get().LastSetChunk(), f.chunk);
}

TEST_F(SessionFileTest, AMissingFileOrAnIdentifierTooLongIsNotValid) {
  EXPECT_EQ(LoadSessionFile(*Name("missing.tsn"), port.get(), plug.get()), 0);
  EXPECT_TRUE(ReportedNotValid());
  TFields f;
  f.identifier = std::string(20000, 'x');
  messages.shown.clear();
  EXPECT_EQ(Load(Build(f)), 0);
  EXPECT_TRUE(ReportedNotValid());
}

TEST_F(SessionFileTest, AnEmptyChunkWritesNothingAndLeavesAnOlderFile) {
  WriteWholeFile(folder->File("old.tsn"), {1, 2, 3});
  SaveSessionFile(*Name("old.tsn"), port.get(), plug.get());  // the plug-in answers no chunk
  EXPECT_EQ(ReadWholeFile(folder->File("old.tsn")), (std::vector<uint8_t>{1, 2, 3}));
  SaveSessionFile(*Name("new.tsn"), port.get(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder->File("new.tsn")));
}

TEST_F(SessionFileTest, AWriteThatFailsLeavesThePreviousSessionWhole) {
  TFakePlugin::Get().chunk.assign(5000, 0xAB);
  SaveSessionFile(*Name("keep.tsn"), port.get(), plug.get());
  const auto before = ReadWholeFile(folder->File("keep.tsn"));
  ASSERT_EQ(before.size(), 27 + L + 5000);
  TFakePlugin::Get().chunk.assign(6000, 0xCD);
  files->failAfterBytes = static_cast<int64_t>(before.size()) + 100;  // the disk fills up during the write
  EXPECT_THROW(SaveSessionFile(*Name("keep.tsn"), port.get(), plug.get()), EError);
  ClearPendingError();
  EXPECT_EQ(ReadWholeFile(folder->File("keep.tsn")), before);
  EXPECT_FALSE(std::filesystem::exists(folder->File("keep.tsn.tmp")));
}

TEST_F(SessionFileTest, LastSessionLivesInTheProgramsFolder) {
  EPtr<IFileName> name;
  SetLastSessionName(*name);
  EXPECT_EQ(std::string_view(name->GetPath()), LastSessionPath());
}
}  // namespace
