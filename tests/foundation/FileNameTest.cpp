#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "foundation/ConsoleFileDialogPresenter.h"
#include "foundation/IFileName.h"
#include "foundation/ScriptedFileDialogPresenter.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
namespace fs = std::filesystem;

std::string S(const TStr& text) { return text.Text(); }

class FileNameTest : public ::testing::Test {
protected:
  void SetUp() override { InstallPosixPlatform(); }
  EPtr<IFileName> name;
};

TEST_F(FileNameTest, NameWithExtensionFollowsTheType) {
  name->SetName("take");
  name->SetType(FileTypeWav);
  EXPECT_EQ(S(name->GetNameWithExtension()), "take.wav");
  name->SetType(FileTypeNone);
  EXPECT_EQ(S(name->GetNameWithExtension()), "take");
  name->SetType(FileTypeAudio);  // no default extension
  EXPECT_EQ(S(name->GetNameWithExtension()), "take");
  name->SetType(99);  // outside the table: as type 0
  EXPECT_EQ(S(name->GetNameWithExtension()), "take");
  name->SetType(-3);
  EXPECT_EQ(S(name->GetNameWithExtension()), "take");
}

TEST_F(FileNameTest, FolderLosesTrailingSeparatorsAndTakesBothSeparators) {
  const struct {
    const char* given;
    const char* stored;
  } cases[] = {
      {"/home/user/", "/home/user"},  {"/home/user\\", "/home/user"}, {"/home/user//", "/home/user"},
      {"C:\\Sounds\\Kits\\", "C:/Sounds/Kits"}, {"/", "/"}, {"", ""}, {"relative", "relative"},
  };
  for (const auto& c : cases) {
    name->SetFolder(c.given);
    EXPECT_EQ(S(name->GetFolder()), c.stored) << c.given;
  }
}

TEST_F(FileNameTest, FullPathJoinsFolderAndName) {
  name->SetName("Last Session");
  name->SetType(FileTypeSession);
  EXPECT_EQ(S(name->GetPath()), "Last Session.tsn") << "no folder: the name alone";
  name->SetFolder("/opt/thudra/");
  EXPECT_EQ(S(name->GetPath()), "/opt/thudra/Last Session.tsn");
  name->SetFolder("/");
  EXPECT_EQ(S(name->GetPath()), "/Last Session.tsn");
}

TEST_F(FileNameTest, PathsSplitIntoFolderNameAndType) {
  const struct {
    const char* path;
    int32_t fallback;
    const char* folder;
    const char* name;
    int32_t type;
    const char* back;
  } cases[] = {
      {"/a/b/take.wav", 0, "/a/b", "take", FileTypeWav, "/a/b/take.wav"},
      {"C:\\kits\\drums.AIF", 0, "C:/kits", "drums", FileTypeAiff, "C:/kits/drums.AIF"},
      {"/a/song.mid", 0, "/a", "song", FileTypeMidi, "/a/song.mid"},
      {"/a/notes.txt", 0, "/a", "notes.txt", FileTypeNone, "/a/notes.txt"},
      {"/a/session", FileTypeSession, "/a", "session", FileTypeSession, "/a/session.tsn"},
      {"/a/session", FileTypeAudio, "/a", "session", FileTypeNone, "/a/session"},
      {"/a/.wav", 0, "/a", ".wav", FileTypeNone, "/a/.wav"},
      {"/a/x.", FileTypeWav, "/a", "x.", FileTypeNone, "/a/x."},
      {"/take.ssf", 0, "/", "take", FileTypeSnapshot, "/take.ssf"},
      {"take.tsn", 0, "", "take", FileTypeSession, "take.tsn"},
      {"/a/b/", 0, "/a/b", "", FileTypeNone, "/a/b/"},
      {"", 0, "", "", FileTypeNone, ""},
  };
  for (const auto& c : cases) {
    name->SetPath(c.path, c.fallback);
    EXPECT_EQ(S(name->GetFolder()), c.folder) << c.path;
    EXPECT_EQ(S(name->GetName()), c.name) << c.path;
    EXPECT_EQ(name->GetType(), c.type) << c.path;
    EXPECT_EQ(S(name->GetPath()), c.back) << c.path;
  }
  EPtr<IFileName> copy;
  name->SetPath("/x/Y.WAV");
  copy->CopyFrom(*name);
  EXPECT_EQ(S(copy->GetPath()), "/x/Y.WAV");
  EXPECT_EQ(copy->GetType(), FileTypeWav);
}

TEST_F(FileNameTest, TheFileTypeTable) {
  const struct {
    int32_t type;
    const char* extension;
    size_t filters;
    const char* firstDescription;
    const char* firstPattern;
  } rows[] = {
      {0, "", 0, nullptr, nullptr},
      {1, "tsn", 1, "Thudra Session (*.tsn)", "*.tsn"},
      {2, "ism", 2, "Instruments (*.ism)", "*.ism"},
      {3, "mdl", 2, "Macros (*.mdl)", "*.mdl"},
      {4, "wav", 2, "WAV Files (*.wav)", "*.wav"},
      {5, "aif", 2, "AIFF Files (*.aif)", "*.aif"},
      {6, "sd2", 2, "SoundDesigner 2 (*.sd2)", "*.sd2"},
      {7, "map", 2, "Map Files (*.map)", "*.map"},
      {8, "mid", 2, "Standard Midi Files (*.mid)", "*.mid"},
      {9, "ssf", 1, "Snapshot Files (*.ssf)", "*.ssf"},
      {10, "bnk", 1, "Bank Files (*.bnk)", "*.bnk"},
      {11, "pst", 1, "Preset Files (*.pst)", "*.pst"},
      {12, "exe", 2, "Program Files (*.exe)", "*.exe"},
      {13, "", 0, nullptr, nullptr},
      {14, "", 4, "Audiofiles (*.wav)(*.aif)", "*.wav;*.aif"},
      {15, "", 5, "Samplefiles (*.map)(*.wav)(*.aif)", "*.map;*.wav;*.aif"},
      {16, "", 1, "All Files (*.*)", "*.*"},
      {17, "", 0, nullptr, nullptr},
      {18, "", 1, "Banks and Presets (*.bnk)(*.pst)", "*.bnk;*.pst"},
  };
  for (const auto& row : rows) {
    const TFileType& type = GetFileType(row.type);
    EXPECT_STREQ(type.extension, row.extension) << row.type;
    ASSERT_EQ(type.filters.size(), row.filters) << row.type;
    if (row.filters == 0) continue;
    EXPECT_EQ(S(type.filters[0].description), row.firstDescription);
    EXPECT_EQ(S(type.filters[0].pattern), row.firstPattern);
    if (row.filters == 2) {
      EXPECT_EQ(S(type.filters[1].description), "All Files (*.*)") << row.type;
      EXPECT_EQ(S(type.filters[1].pattern), "*.*") << row.type;
    }
  }
  const TFileType& samples = GetFileType(FileTypeSample);
  EXPECT_EQ(S(samples.filters[1].description), "Map Files (*.map)");
  EXPECT_EQ(S(samples.filters[2].description), "WAV Files (*.wav)");
  EXPECT_EQ(S(samples.filters[3].description), "AIFF Files (*.aif)");
  EXPECT_EQ(S(samples.filters[4].pattern), "*.*");
  EXPECT_EQ(GetFileType(19).filters.size(), 0u);
  EXPECT_EQ(GetFileType(-1).extension[0], 0);
}

TEST_F(FileNameTest, TypeDetectionFromAnExtension) {
  EXPECT_EQ(FindFileType("wav"), FileTypeWav);
  EXPECT_EQ(FindFileType("WaV"), FileTypeWav);
  EXPECT_EQ(FindFileType("tsn"), FileTypeSession);
  EXPECT_EQ(FindFileType("exe"), FileTypeProgram);
  EXPECT_EQ(FindFileType("wave"), FileTypeNone);
  EXPECT_EQ(FindFileType(""), FileTypeNone);
  name->SetName("x");
  EXPECT_TRUE(name->SetTypeFromExtension(".mid"));
  EXPECT_EQ(name->GetType(), FileTypeMidi);
  EXPECT_FALSE(name->SetTypeFromExtension("doc"));
  EXPECT_EQ(name->GetType(), FileTypeMidi);
}

TEST_F(FileNameTest, ExistsProgramFolderAndTemporaryNames) {
  name->SetProgramFolder();
  EXPECT_EQ(S(name->GetFolder()), fs::canonical(THUDRA_TEST_DIR).string());
  const fs::path folder = fs::temp_directory_path() / ("thudra-names-" + std::to_string(getpid()));
  fs::create_directories(folder);
  name->SetFolder(folder.string().c_str());
  std::set<std::string> made;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(name->SetTempName("rec"));
    EXPECT_EQ(S(name->GetFolder()), folder.string());
    EXPECT_EQ(S(name->GetName()).rfind("rec", 0), 0u);
    EXPECT_TRUE(name->Exists());
    made.insert(S(name->GetPath()));
  }
  EXPECT_EQ(made.size(), 3u);
  name->SetName("not there");
  EXPECT_FALSE(name->Exists());
  name->SetFolder("/no/such/folder");
  EXPECT_FALSE(name->SetTempName("rec"));
  fs::remove_all(folder);
}

TEST_F(FileNameTest, RunStartsTheFileAsAProgram) {
  const fs::path folder = fs::temp_directory_path() / ("thudra-run-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path script = folder / "touch.sh";
  const fs::path marker = folder / "ran";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
  }
  chmod(script.c_str(), 0755);
  name->SetPath(script.string().c_str());
  ASSERT_TRUE(name->Run());
  for (int i = 0; i < 500 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(marker));
  name->SetPath((folder / "missing").string().c_str());
  EXPECT_FALSE(name->Run());
  fs::remove_all(folder);
}

TEST_F(FileNameTest, DialogsUseTheTypesFiltersAndSplitTheChoice) {
  TScriptedFileDialogPresenter dialogs;
  name->SetFolder("/kits");
  name->SetName("untitled");
  name->SetType(FileTypeSession);

  dialogs.AnswerCancel();
  EXPECT_FALSE(name->SaveDialog("Save Session As"));
  EXPECT_EQ(S(name->GetPath()), "/kits/untitled.tsn") << "Cancel changes nothing";
  ASSERT_EQ(dialogs.requests.size(), 1u);
  const TFileDialogRequest& save = dialogs.requests[0];
  EXPECT_EQ(save.kind, EFileDialog::Save);
  EXPECT_EQ(S(save.title), "Save Session As");
  EXPECT_EQ(S(save.defaultExtension), "tsn");
  EXPECT_EQ(S(save.folder), "/kits");
  EXPECT_EQ(S(save.name), "untitled.tsn");
  ASSERT_EQ(save.filters.size(), 1u);
  EXPECT_EQ(S(save.filters[0].description), "Thudra Session (*.tsn)");

  dialogs.AnswerPath("/home/me/groove");  // typed without extension
  EXPECT_TRUE(name->SaveDialog("Save Session As"));
  EXPECT_EQ(S(name->GetPath()), "/home/me/groove.tsn");

  name->SetType(FileTypeAudio);
  dialogs.AnswerPath("/samples/kick.aif");
  EXPECT_TRUE(name->OpenDialog("Open"));
  EXPECT_EQ(S(name->GetFolder()), "/samples");
  EXPECT_EQ(S(name->GetName()), "kick");
  EXPECT_EQ(name->GetType(), FileTypeAiff);
  EXPECT_EQ(dialogs.requests.back().filters.size(), 4u);

  dialogs.AnswerPath("/new/folder/");
  EXPECT_TRUE(name->ChooseFolder("Choose a folder"));
  EXPECT_EQ(S(name->GetFolder()), "/new/folder");
  EXPECT_EQ(S(name->GetName()), "kick");
  EXPECT_EQ(dialogs.requests.back().kind, EFileDialog::Folder);

  EXPECT_FALSE(name->OpenDialog("Open")) << "an empty queue answers Cancel";
}

// Random paths of separators, points and other bytes never break the splitting:
// the path that comes back always names the same file.
TEST_F(FileNameTest, HostilePathsSplitSafely) {
  std::mt19937 random(77);
  const char alphabet[] = "/\\..abWAVwav \x01\xff";
  for (int round = 0; round < 2000; ++round) {
    std::string path(random() % 24, ' ');
    for (char& c : path) c = alphabet[random() % (sizeof alphabet - 1)];
    name->SetPath(TStr(path.c_str()), static_cast<int32_t>(random() % 22) - 2);
    std::string expected = path;
    for (char& c : expected)
      if (c == '\\') c = '/';
    const std::string back = S(name->GetPath());
    // Only repeated separators inside the folder may collapse.
    auto squeeze = [](std::string text) {
      std::string out;
      for (char c : text)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
      return out;
    };
    const std::string file = expected.substr(expected.rfind('/') == std::string::npos ? 0 : expected.rfind('/') + 1);
    const bool gotExtension = back.size() > squeeze(expected).size();
    ASSERT_TRUE(squeeze(back) == squeeze(expected) || (gotExtension && file.find('.', 1) == std::string::npos))
        << path << " -> " << back;
  }
}

TEST_F(FileNameTest, ConsoleDialogsCancelUnlessAPathWasGiven) {
  TConsoleFileDialogPresenter console;
  IFileDialogPresenter* previous = SetFileDialogPresenter(&console);
  name->SetType(FileTypeMidi);
  EXPECT_FALSE(name->OpenDialog("Open"));
  console.AddPath("/songs/beat.mid");
  EXPECT_TRUE(name->OpenDialog("Open"));
  EXPECT_EQ(S(name->GetPath()), "/songs/beat.mid");
  EXPECT_FALSE(name->OpenDialog("Open"));
  SetFileDialogPresenter(previous);
}
}  // namespace
