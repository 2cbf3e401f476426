#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TShared.h"
#include "pc/foundation/TSettingsFile.h"
#include "pc/foundation/TSettingsStore.h"

namespace fs = std::filesystem;

namespace {

// Every test gets its own configuration folder and a store installed on it.
class SettingsStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/thudra-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    SaveEnv("XDG_CONFIG_HOME", savedXdg);
    SaveEnv("HOME", savedHome);
    configHome = root + "/config";
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    previous = SetRegistryBackend(&store);
  }
  void TearDown() override {
    SetRegistryBackend(previous);
    RestoreEnv("XDG_CONFIG_HOME", savedXdg);
    RestoreEnv("HOME", savedHome);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  std::string File() const { return configHome + "/Velmora/Thudra.conf"; }
  static std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // The file as another program would read it; unreadable counts its skipped lines.
  TSettingsFile::TEntries Entries(int& unreadable) const {
    TSettingsFile::TEntries entries;
    unreadable = TSettingsFile::Parse(ReadText(File()), entries);
    return entries;
  }
  static const TSettingsFile::TEntry* Find(const TSettingsFile::TEntries& entries, const std::string& name) {
    for (const auto& entry : entries)
      if (entry.name == name) return &entry;
    return nullptr;
  }
  static uint32_t DwordOf(const TSettingsFile::TEntry& entry) {
    uint32_t value = 0;
    std::memcpy(&value, entry.data.data(), sizeof value);
    return value;
  }

  std::string root;
  std::string configHome;
  TSettingsStore store;
  TScriptedPresenter presenter;

private:
  struct TSavedEnv {
    bool set = false;
    std::string value;
  };
  static void SaveEnv(const char* name, TSavedEnv& saved) {
    const char* value = std::getenv(name);
    saved.set = value != nullptr;
    saved.value = value ? value : "";
  }
  static void RestoreEnv(const char* name, const TSavedEnv& saved) {
    if (saved.set) setenv(name, saved.value.c_str(), 1);
    else unsetenv(name);
  }
  TSavedEnv savedXdg, savedHome;
  IRegistryBackend* previous = nullptr;
};

// Waits for a child and answers whether it ended by itself with status 0.
bool EndedWell(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SettingsStoreTest, OpeningCreatesTheFolderAndAnEmptyReadableFile) {
  IRegistry::Open("Thudra");
  ASSERT_TRUE(fs::is_regular_file(File()));
  int unreadable = -1;
  EXPECT_TRUE(Entries(unreadable).empty());
  EXPECT_EQ(unreadable, 0);
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
  EXPECT_EQ(std::string(IRegistry::GetString("Kit", "none")), "none");
}

TEST_F(SettingsStoreTest, TheFileIsReadableTextThatKeepsEachKind) {
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 3);
  IRegistry::SetString("Folder", "/home/me/M\xC3\xBCller kits");
  TSharedReal rate("RateFactor");
  rate.Set(0.5f, nullptr);
  rate.Save();
  IRegistry::SetString("Short", "abc");

  const std::string text = ReadText(File());
  EXPECT_NE(text.find("\nAudioPort = dword 0x00000003\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nRateFactor = dword 0x3F000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nFolder = string \"/home/me/M\xC3\xBCller kits\"\n"), std::string::npos) << text;

  EXPECT_EQ(IRegistry::GetDword("Short", 9), 9u);  // a string is no 32-bit value
  EXPECT_EQ(std::string(IRegistry::GetString("AudioPort", "text")), "text");
  TSharedReal rate2("RateFactor");
  rate2.Load(1.0f);
  EXPECT_EQ(rate2.Get(), 0.5f);
  IRegistry::SetPoint("Pos", {-1, 2});
  EXPECT_NE(ReadText(File()).find("\nPosX = dword 0xFFFFFFFF\nPosY = dword 0x00000002\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, AnyByteInNamesAndStringsSurvivesTheFile) {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  const std::string tricky[] = {everyByte, "a = dword 0x00000001", "line\nbreak", "\"quoted\" \\ back",
                                "#not a comment", " lead and trail ", "\xFF\xFE invalid \xC3", "\xE2\x82\xAC euro"};
  IRegistry::Open("Thudra");
  for (const std::string& text : tricky) IRegistry::SetString(TStr(text), TStr(text));
  IRegistry::SetDword(TStr(everyByte), 77);  // replaces the string of that name

  IRegistry::Open("Thudra");  // read again from the file
  for (size_t i = 1; i < std::size(tricky); ++i)
    EXPECT_EQ(std::string(IRegistry::GetString(TStr(tricky[i]), "missing")), tricky[i]);
  EXPECT_EQ(IRegistry::GetDword(TStr(everyByte), 0), 77u);
  int unreadable = -1;
  EXPECT_EQ(Entries(unreadable).size(), std::size(tricky));
  EXPECT_EQ(unreadable, 0);
  // One value a line: no raw line break or control byte got into the file.
  const std::string text = ReadText(File());
  size_t lines = 0;
  for (char c : text) {
    lines += c == '\n';
    EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
  }
  EXPECT_EQ(lines, std::size(tricky) + 3);  // three header lines

  // The text form itself carries zero bytes too.
  TSettingsFile::TEntries entries{{std::string("n\0m", 3), RegistryString, std::string("a\0b\0", 4)}};
  TSettingsFile::TEntries back;
  EXPECT_EQ(TSettingsFile::Parse(TSettingsFile::Format(entries, "key"), back), 0);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, entries[0].name);
  EXPECT_EQ(back[0].data, entries[0].data);
}

TEST_F(SettingsStoreTest, ADamagedFileIsReadAsFarAsItCanBe) {
  std::string garbage;
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) garbage += static_cast<char>(random());
  garbage[17] = '\0';
  WriteText(File(),
            "First = dword 0x00000001\n"
            "# a comment\n"
            "\n" +
                garbage +
                "\n"
                "Windows = dword 0x00000002\r\n"
                "TruncatedString = string \"abc\n"
                "TruncatedDword = dword 0x3F00\n"
                "Unknown = binary 0102\n"
                "BadEscape = string \"a\\qb\"\n"
                "RawControl = string \"a\tb\"\n"
                "NoEquals dword 0x00000001\n"
                "Trailing = dword 0x00000001 junk\n"
                "Twice = dword 0x00000001\n"
                "  Spaced   =   string   \"ok\"  \n"
                "Twice = dword 0x00000005\n"
                "Last = string \"complete\"");
  IRegistry::Open("Thudra");
  EXPECT_EQ(IRegistry::GetDword("First", 0), 1u);
  EXPECT_EQ(IRegistry::GetDword("Windows", 0), 2u);
  EXPECT_EQ(std::string(IRegistry::GetString("TruncatedString", "dflt")), "dflt");
  EXPECT_EQ(IRegistry::GetDword("TruncatedDword", 9), 9u);
  EXPECT_EQ(IRegistry::GetDword("Unknown", 9), 9u);
  EXPECT_EQ(std::string(IRegistry::GetString("BadEscape", "dflt")), "dflt");
  EXPECT_EQ(std::string(IRegistry::GetString("RawControl", "dflt")), "dflt");
  EXPECT_EQ(IRegistry::GetDword("NoEquals", 9), 9u);
  EXPECT_EQ(IRegistry::GetDword("Trailing", 9), 9u);
  EXPECT_EQ(IRegistry::GetDword("Twice", 0), 5u);
  EXPECT_EQ(std::string(IRegistry::GetString("Spaced", "")), "ok");
  EXPECT_EQ(std::string(IRegistry::GetString("Last", "")), "complete");

  // The next change writes a clean file that keeps everything that was readable.
  IRegistry::SetDword("New", 6);
  int unreadable = -1;
  const auto entries = Entries(unreadable);
  EXPECT_EQ(unreadable, 0);
  EXPECT_EQ(entries.size(), 6u);
  EXPECT_EQ(IRegistry::GetDword("First", 0), 1u);
  EXPECT_EQ(std::string(IRegistry::GetString("Last", "")), "complete");

  // Nothing but noise: no value, no crash, and the store still works.
  std::string noise(1 << 16, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteText(File(), noise);
  EXPECT_EQ(IRegistry::GetDword("First", 4), 4u);
  IRegistry::SetDword("First", 8);
  EXPECT_EQ(IRegistry::GetDword("First", 4), 8u);
}

TEST_F(SettingsStoreTest, AFolderThatTakesNoFilesLeavesTheStoreWithoutAKey) {
  WriteText(root + "/plain-file", "not a folder");
  setenv("XDG_CONFIG_HOME", (root + "/plain-file/config").c_str(), 1);
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 8);
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
  EXPECT_TRUE(presenter.shown.empty());

  // A folder where the settings file should be is no key either.
  setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
  fs::create_directories(File());
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 8);
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
}

TEST_F(SettingsStoreTest, WithoutXdgConfigHomeTheFileLivesInDotConfig) {
  setenv("HOME", root.c_str(), 1);
  for (const char* xdg : {"", "relative/path"}) {
    setenv("XDG_CONFIG_HOME", xdg, 1);
    IRegistry::Open("Thudra");
    IRegistry::SetDword("AudioPort", 3);
    EXPECT_TRUE(fs::is_regular_file(root + "/.config/Velmora/Thudra.conf")) << xdg;
  }
  unsetenv("XDG_CONFIG_HOME");
  IRegistry::Open("Thudra");
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 0), 3u);
  EXPECT_EQ(TSettingsStore::UserConfigHome(), root + "/.config");
}

TEST_F(SettingsStoreTest, KeyPathsMapToFilesAndUnsafePathsToNone) {
  const struct {
    const char* key;
    const char* file;
  } cases[] = {
      {"Software\\Velmora\\Thudra", "/h/Velmora/Thudra.conf"},
      {"software\\Velmora\\Other", "/h/Velmora/Other.conf"},
      {"Velmora/Thudra", "/h/Velmora/Thudra.conf"},
      {"Software\\Velmora\\..\\..\\etc", ""},
      {"Software\\Velmora\\", ""},
      {"Software\\Velmora\\a\nb", ""},
      {"Software", "/h/Software.conf"},
  };
  for (const auto& c : cases) EXPECT_EQ(TSettingsStore::FileForKey("/h", c.key), c.file) << c.key;
  EXPECT_EQ(TSettingsStore::FileForKey("", "Software\\Velmora\\Thudra"), "");
}

TEST_F(SettingsStoreTest, TwoProcessesSettingDifferentValuesKeepBoth) {
  IRegistry::Open("Thudra");
  IRegistry::SetString("Before", "kept");
  constexpr int valuesEach = 30;
  pid_t children[2];
  for (int side = 0; side < 2; ++side) {
    children[side] = fork();
    ASSERT_GE(children[side], 0);
    if (children[side] == 0) {
      IRegistry::Open("Thudra");
      for (int i = 0; i < valuesEach; ++i)
        IRegistry::SetDword(TStr(side ? "B" : "A") + TStr::FromInt(i), static_cast<uint32_t>(i));
      _exit(0);
    }
  }
  EXPECT_TRUE(EndedWell(children[0]));
  EXPECT_TRUE(EndedWell(children[1]));
  for (int i = 0; i < valuesEach; ++i) {
    EXPECT_EQ(IRegistry::GetDword(TStr("A") + TStr::FromInt(i), 999), static_cast<uint32_t>(i));
    EXPECT_EQ(IRegistry::GetDword(TStr("B") + TStr::FromInt(i), 999), static_cast<uint32_t>(i));
  }
  EXPECT_EQ(std::string(IRegistry::GetString("Before", "")), "kept");
}

std::string Payload(uint32_t counter) {
  std::string text = "payload " + std::to_string(counter) + " ";
  while (text.size() < 3000) text += "=\"\\\n\xFF";
  return text;
}

// A child that sets values as fast as it can is killed at random moments; after every
// kill the file parses completely and holds the old or the new values.
TEST_F(SettingsStoreTest, AProcessKilledWhileSettingLeavesTheOldOrTheNewFile) {
  // A file of some size, so that kills often land while it is being written.
  TSettingsFile::TEntries initial;
  for (uint32_t i = 0; i < 100; ++i)
    initial.push_back({"Filler" + std::to_string(i), RegistryDword, std::string(reinterpret_cast<char*>(&i), 4)});
  WriteText(File(), TSettingsFile::Format(initial, "Software\\Velmora\\Thudra"));
  IRegistry::Open("Thudra");
  IRegistry::SetString("Fixed", "keep me");
  IRegistry::SetDword("Counter", 0);
  IRegistry::SetString("Payload", TStr(Payload(0)));

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayMicroseconds(200, 8000);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  uint32_t last = 0;
  int kills = 0, leftTemporary = 0;
  while (std::chrono::steady_clock::now() < end) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      IRegistry::Open("Thudra");
      uint32_t counter = IRegistry::GetDword("Counter", 0);
      for (;;) {
        ++counter;
        IRegistry::SetString("Payload", TStr(Payload(counter)));
        IRegistry::SetDword("Counter", counter);
      }
    }
    // Every eighth child lives long enough to get values written even on a busy machine.
    usleep(static_cast<useconds_t>(kills % 8 == 7 ? 40000 : delayMicroseconds(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ++kills;
    leftTemporary += fs::exists(File() + ".tmp");

    int unreadable = -1;
    const auto entries = Entries(unreadable);
    ASSERT_EQ(unreadable, 0) << "after kill " << kills;
    ASSERT_EQ(entries.size(), 103u) << "after kill " << kills;
    const auto* fixed = Find(entries, "Fixed");
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->data, std::string("keep me", 8));
    const auto* counterEntry = Find(entries, "Counter");
    const auto* payload = Find(entries, "Payload");
    ASSERT_TRUE(counterEntry && payload);
    const uint32_t counter = DwordOf(*counterEntry);
    ASSERT_GE(counter, last);
    // The payload is set first: it is the counter's or, killed in between, the next.
    const bool matches = payload->data == Payload(counter) + '\0' || payload->data == Payload(counter + 1) + '\0';
    ASSERT_TRUE(matches) << "counter " << counter;
    last = counter;
  }
  EXPECT_GT(last, 0u) << "the children never got a value written";
  std::printf("%d kills, %u values written, %d kills left a temporary file\n", kills, last, leftTemporary);

  // A temporary file left by a killed writer is never read and goes at the next open.
  IRegistry::Open("Thudra");
  EXPECT_FALSE(fs::exists(File() + ".tmp"));
  EXPECT_EQ(IRegistry::GetDword("Counter", 0), last);
}

}  // namespace
