#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/IFile.h"
#include "foundation/IMemoryFile.h"
#include "foundation/Messages.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TFileSearch.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

class FilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    InstallPosixPlatform();
    folder = fs::temp_directory_path() /
             ("thudra-files-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    ClearPendingError();
  }
  void TearDown() override {
    ClearPendingError();
    fs::remove_all(folder);
  }

  EPtr<IFileName> Name(const std::string& file) const {
    return EPtr<IFileName>(IFileName::Create(TStr((folder / file).string().c_str())));
  }
  std::string Path(const std::string& file) const { return (folder / file).string(); }

  TBytes Contents(const std::string& file) const {
    std::ifstream in(Path(file), std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
  }
  void Store(const std::string& file, const TBytes& bytes) const {
    std::ofstream out(Path(file), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Runs body, which must raise the error exception; answers the text that the
  // pending error shows.
  template <class F>
  std::string RaisedText(F&& body) {
    TScriptedPresenter presenter;
    try {
      body();
    } catch (EError) {
      ShowPendingError();
      return presenter.shown.empty() ? "" : presenter.shown[0].text.Text();
    }
    return "(nothing raised)";
  }

  fs::path folder;
};

TEST_F(FilesTest, ByteOrdersWriteNumbersInTheirOrderAndRawBytesUnchanged) {
  struct TCase {
    int32_t order;
    TBytes expected;
  };
  const uint8_t raw[] = {'R', 'I', 'F', 'F'};
  const TCase cases[] = {
      {LittleEndian, {0x01, 0, 0, 0, 0x34, 0x12, 'R', 'I', 'F', 'F'}},
      {BigEndian, {0, 0, 0, 0x01, 0x12, 0x34, 'R', 'I', 'F', 'F'}},
  };
  for (const TCase& c : cases) {
    EPtr<IFile> file;
    auto name = Name("order.bin");
    file->SetByteOrder(c.order);
    file->OpenWrite(*name);
    file->WriteInt32(1);
    file->WriteInt16(0x1234);
    file->WriteRaw(raw, sizeof raw);
    file->Close();
    EXPECT_EQ(Contents("order.bin"), c.expected) << "byte order " << c.order;

    file->OpenRead(*name);
    EXPECT_EQ(file->ReadInt32(), 1);
    EXPECT_EQ(file->ReadInt16(), 0x1234);
    uint8_t back[4];
    file->ReadRaw(back, 4);
    EXPECT_EQ(std::memcmp(back, raw, 4), 0);
  }
}

TEST_F(FilesTest, TypedValuesRoundTripInBothOrders) {
  for (int32_t order : {LittleEndian, BigEndian}) {
    EPtr<IFile> file;
    auto name = Name("values.bin");
    file->SetByteOrder(order);
    file->OpenReadWrite(*name);
    const int16_t shorts[3] = {-2, 3, 0x0102};
    const double doubles[2] = {0.5, -1e300};
    file->WriteUInt8(0xFE);
    file->WriteFloat(1.25f);
    file->WriteDouble(-3.5);
    file->WriteInt64(-1234567890123LL);
    file->WriteArray16(shorts, 3);
    file->WriteArray64(doubles, 2);
    file->WritePnt({7, -8});
    file->WriteArea({1, 2, 3, 4});
    file->WriteStr("abc");
    EXPECT_EQ(file->Tell(), 1 + 4 + 8 + 8 + 6 + 16 + 8 + 16 + 7);
    file->Seek(0);
    EXPECT_EQ(file->ReadUInt8(), 0xFE);
    EXPECT_EQ(file->ReadFloat(), 1.25f);
    EXPECT_EQ(file->ReadDouble(), -3.5);
    EXPECT_EQ(file->ReadInt64(), -1234567890123LL);
    int16_t shortsBack[3];
    double doublesBack[2];
    file->ReadArray16(shortsBack, 3);
    file->ReadArray64(doublesBack, 2);
    EXPECT_EQ(std::memcmp(shorts, shortsBack, sizeof shorts), 0);
    EXPECT_EQ(std::memcmp(doubles, doublesBack, sizeof doubles), 0);
    EXPECT_EQ(file->ReadPnt(), (TPnt{7, -8}));
    EXPECT_EQ(file->ReadArea(), (TArea{1, 2, 3, 4}));
    EXPECT_EQ(file->ReadStr(), TStr("abc"));
    EXPECT_EQ(file->GetSize(), file->Tell());
  }
}

TEST_F(FilesTest, AStringOfThreeCharactersIsSevenBytes) {
  EPtr<IFile> file;
  auto name = Name("str.bin");
  file->SetByteOrder(BigEndian);
  file->OpenWrite(*name);
  file->WriteStr("abc");
  file->Close();
  EXPECT_EQ(Contents("str.bin"), (TBytes{0, 0, 0, 3, 'a', 'b', 'c'}));
}

TEST_F(FilesTest, ReadStrRefusesLengthsThatDoNotFitWithoutReadingThem) {
  for (int32_t length : {10000, 10001, -1, 0x7FFFFFFF, int32_t(0x80000000)}) {
    TBytes bytes(4);
    std::memcpy(bytes.data(), &length, 4);
    bytes.resize(20000, 'x');
    Store("long.bin", bytes);
    EPtr<IFile> file;
    auto name = Name("long.bin");
    file->OpenRead(*name);
    EXPECT_EQ(RaisedText([&] { file->ReadStr(); }), "Error while reading file " + Path("long.bin") + ".")
        << "length " << length;
    EXPECT_EQ(file->Tell(), 4) << "only the length was read";
  }
  // The longest length that fits still reads.
  TBytes bytes(4);
  const int32_t fits = 9999;
  std::memcpy(bytes.data(), &fits, 4);
  bytes.resize(4 + 9999, 'y');
  Store("fits.bin", bytes);
  EPtr<IFile> file;
  auto name = Name("fits.bin");
  file->OpenRead(*name);
  EXPECT_EQ(file->ReadStr().Length(), 9999);
}

TEST_F(FilesTest, OpenErrorsNameTheFile) {
  EPtr<IFile> file;
  auto missing = Name("missing.wav");
  EXPECT_EQ(RaisedText([&] { file->OpenRead(*missing); }), "Can not open file " + Path("missing.wav") + ".");
  EXPECT_FALSE(file->IsOpen());

  auto inMissingFolder = Name("no/such/folder/x.bin");
  EXPECT_EQ(RaisedText([&] { file->OpenWrite(*inMissingFolder); }),
            "Can not open file " + Path("no/such/folder/x.bin") + ".");

  EPtr<IFileName> aFolder(IFileName::Create(TStr(folder.string().c_str())));
  EXPECT_EQ(RaisedText([&] { file->OpenRead(*aFolder); }), "Can not open file " + folder.string() + ".");
}

TEST_F(FilesTest, ReadingPastTheEndRaisesTheReadError) {
  Store("short.bin", {1, 2, 3});
  EPtr<IFile> file;
  auto name = Name("short.bin");
  file->OpenRead(*name);
  EXPECT_EQ(RaisedText([&] { file->ReadInt32(); }), "Error while reading file " + Path("short.bin") + ".");
  file->Seek(3);
  EXPECT_EQ(RaisedText([&] { file->ReadUInt8(); }), "Error while reading file " + Path("short.bin") + ".");
}

TEST_F(FilesTest, AClosedFileDoesNothing) {
  EPtr<IFile> file;
  uint8_t buffer[4] = {9, 9, 9, 9};
  file->ReadRaw(buffer, 4);
  file->WriteInt32(5);
  file->Seek(100);
  file->Close();
  EXPECT_EQ(file->ReadInt32(), 0);
  EXPECT_EQ(file->Tell(), 0);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_FALSE(file->IsOpen());
  EXPECT_EQ(GetPendingError(), nullptr);
  EXPECT_NE(file->ReadAsync(buffer, 4), 0);
  EXPECT_NE(file->WriteAsync(buffer, 4), 0);
}

TEST_F(FilesTest, SeekingBeforeTheStartIsAnAccessError) {
  EPtr<IFile> file;
  auto name = Name("seek.bin");
  file->OpenWrite(*name);
  EXPECT_EQ(RaisedText([&] { file->Seek(-1); }), "Error while accessing to file " + Path("seek.bin") + ".");
}

TEST_F(FilesTest, WriteTruncatesAndReadWriteKeepsTheContent) {
  Store("keep.bin", {1, 2, 3, 4});
  EPtr<IFile> file;
  auto name = Name("keep.bin");
  file->OpenReadWrite(*name);
  EXPECT_EQ(file->GetSize(), 4);
  file->Seek(4);
  file->WriteUInt8(5);
  file->Close();
  EXPECT_EQ(Contents("keep.bin"), (TBytes{1, 2, 3, 4, 5}));
  file->OpenWrite(*name);
  EXPECT_EQ(file->GetSize(), 0);
  file->Close();
  EXPECT_TRUE(Contents("keep.bin").empty());
}

TEST_F(FilesTest, SharingRulesWithinTheProgram) {
  Store("shared.bin", {1, 2, 3});
  auto name = Name("shared.bin");
  const std::string cannotOpen = "Can not open file " + Path("shared.bin") + ".";
  EPtr<IFile> reader1, reader2, writer;
  reader1->OpenRead(*name);
  reader2->OpenRead(*name);  // readers share
  EXPECT_EQ(RaisedText([&] { writer->OpenWrite(*name); }), cannotOpen);
  EXPECT_EQ(Contents("shared.bin"), (TBytes{1, 2, 3})) << "a refused OpenWrite must not truncate";
  reader1->Close();
  reader2->Close();
  writer->OpenReadWrite(*name);
  EXPECT_EQ(RaisedText([&] { reader1->OpenRead(*name); }), cannotOpen);
  EXPECT_EQ(RaisedText([&] { reader2->OpenWrite(*name); }), cannotOpen);
  writer->Close();
  reader1->OpenRead(*name);
}

TEST_F(FilesTest, AFileThatAnotherProcessWritesCannotBeOpened) {
  const std::string path = Path("other.bin");
  Store("other.bin", {1});
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls after fork.
    close(ready[0]);
    close(release[1]);
    const int fd = open(path.c_str(), O_WRONLY);
    const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(2);
    char done;
    if (read(release[0], &done, 1) < 0) _exit(3);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');

  EPtr<IFile> file;
  auto name = Name("other.bin");
  const std::string cannotOpen = "Can not open file " + path + ".";
  EXPECT_EQ(RaisedText([&] { file->OpenRead(*name); }), cannotOpen);
  EXPECT_EQ(RaisedText([&] { file->OpenWrite(*name); }), cannotOpen);

  close(release[1]);  // the child ends, its lock goes with it
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  file->OpenRead(*name);
  EXPECT_EQ(file->ReadUInt8(), 1);
}

TEST_F(FilesTest, MemoryFileGrowsInUnitsAndHandsItsContentToTheFile) {
  EPtr<IFile> file;
  auto name = Name("memory.bin");
  file->OpenWrite(*name);
  EPtr<IMemoryFile> memory;
  memory->Attach(file);
  memory->SetByteOrder(BigEndian);
  ASSERT_TRUE(memory->OpenWrite());
  EXPECT_EQ(memory->GetCapacity(), 524288);
  memory->WriteInt32(1);
  std::vector<uint8_t> big(524288, 0xAB);
  memory->WriteRaw(big.data(), static_cast<int64_t>(big.size()));
  EXPECT_EQ(memory->GetCapacity(), 2 * 524288);
  EXPECT_EQ(memory->GetSize(), 4 + 524288);
  memory->Seek(2);
  memory->WriteUInt16(0x0203);  // patching keeps the size
  EXPECT_EQ(memory->GetSize(), 4 + 524288);
  memory->Close();
  file->Close();

  const TBytes stored = Contents("memory.bin");
  ASSERT_EQ(stored.size(), 4u + 524288u);
  EXPECT_EQ(TBytes(stored.begin(), stored.begin() + 5), (TBytes{0, 0, 2, 3, 0xAB}));

  file->OpenRead(*name);
  ASSERT_TRUE(memory->OpenRead());
  EXPECT_EQ(memory->GetSize(), 4 + 524288);
  EXPECT_EQ(memory->ReadInt32(), 0x0203);
  memory->Seek(memory->GetSize() - 1);
  EXPECT_EQ(memory->ReadUInt8(), 0xAB);
  EXPECT_EQ(RaisedText([&] { memory->ReadUInt8(); }), "Error while reading file " + Path("memory.bin") + ".");
  EXPECT_EQ(RaisedText([&] { memory->Seek(memory->GetSize() + 1); }),
            "Error while accessing to file " + Path("memory.bin") + ".");
}

TEST_F(FilesTest, FolderSearchMatchesPatterns) {
  for (const char* file : {"a.wav", "b.WAV", "c.aif", "d.txt", "noextension"}) Store(file, {});
  fs::create_directory(folder / "sub.wav");
  auto list = [&](const char* pattern) {
    std::vector<std::string> names;
    TFileSearch search(TStr(folder.string().c_str()), pattern);
    while (search.Next()) names.push_back(std::string(search.GetName().Text()) + (search.IsFolder() ? "/" : ""));
    EXPECT_FALSE(search.Next()) << "the search stays ended";
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(list("*.wav"), (std::vector<std::string>{"a.wav", "b.WAV", "sub.wav/"}));
  EXPECT_EQ(list("*.wav;*.aif"), (std::vector<std::string>{"a.wav", "b.WAV", "c.aif", "sub.wav/"}));
  EXPECT_EQ(list("*.*").size(), 6u);
  EXPECT_TRUE(list("*.mid").empty());

  TFileSearch missing("/no/such/folder", "*.*");
  EXPECT_FALSE(missing.Next());
  TFileSearch one(TStr(folder.string().c_str()), "c.aif");
  ASSERT_TRUE(one.Next());
  EXPECT_EQ(std::string(one.GetPath().Text()), Path("c.aif"));
}

// Streams of random bytes read as every kind of value: nothing may crash, read out
// of bounds or allocate what the data claims; every failure is the read error.
TEST_F(FilesTest, HostileBytesOnlyEverRaiseTheReadError) {
  std::mt19937 random(20240601);
  EPtr<IMemoryFile> memory;
  for (int round = 0; round < 300; ++round) {
    TBytes bytes(random() % 64);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    if (round % 3 == 0 && bytes.size() >= 4) bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;  // small lengths
    ASSERT_TRUE(memory->OpenRead(bytes.data(), static_cast<int64_t>(bytes.size())));
    memory->SetByteOrder(round % 2);
    try {
      for (int step = 0; step < 40; ++step) {
        switch (random() % 6) {
          case 0: memory->ReadStr(); break;
          case 1: memory->ReadInt32(); break;
          case 2: memory->ReadDouble(); break;
          case 3: memory->ReadArea(); break;
          case 4: {
            int16_t values[8];
            memory->ReadArray16(values, static_cast<int32_t>(random() % 8));
            break;
          }
          default: memory->ReadUInt8();
        }
        ASSERT_LE(memory->Tell(), memory->GetSize());
      }
    } catch (EError) {
      ASSERT_EQ(GetPendingError(), &Msg::fileReadError);
      ClearPendingError();
    }
  }
  TScriptedPresenter presenter;
  EXPECT_FALSE(memory->OpenRead(nullptr, 5));
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, TStr("Out of Memory !!!"));
}
}  // namespace
