// File dialogs on the toolkit, reached through the file name objects as the program
// reaches them: the title, the filters and the default extension of each file type
// used, the start folder, the chosen path, Cancel, and the folder browser.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <filesystem>
#include <fstream>

#include "UiTest.h"
#include "foundation/IFileName.h"
#include "pc/foundation/PosixPlatform.h"
#include "pc/ui/TQtEventLoop.h"
#include "pc/ui/TQtFileDialogPresenter.h"

namespace fs = std::filesystem;

namespace {
class QtFileDialogsTest : public ::testing::Test {
protected:
  void SetUp() override {
    OffscreenApplication();
    InstallPosixPlatform();
    loop = std::make_unique<TQtEventLoop>();
    presenter = std::make_unique<TQtFileDialogPresenter>(*loop);
    previous = SetFileDialogPresenter(presenter.get());
    root = fs::temp_directory_path() / ("thudra-dialogs-" + std::to_string(::getpid()));
    fs::create_directories(root / "sessions");
    fs::create_directories(root / "songs");
    std::ofstream(root / "sessions" / "gig.tsn") << "x";
    std::ofstream(root / "songs" / "groove.mid") << "x";
  }
  void TearDown() override {
    SetFileDialogPresenter(previous);
    fs::remove_all(root);
  }

  struct TSeen {
    QString title;
    QStringList filters;
    QString defaultSuffix;
    QString directory;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    bool detailsHidden = false;
  };
  // Notes what the dialog shows, then chooses choose ("" cancels).
  void Answer(const std::string& choose, TSeen& seen) {
    WhenModalShows([choose, &seen](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      seen.title = dialog->windowTitle();
      seen.filters = dialog->nameFilters();
      seen.defaultSuffix = dialog->defaultSuffix();
      seen.directory = dialog->directory().absolutePath();
      seen.mode = dialog->fileMode();
      seen.acceptMode = dialog->acceptMode();
      seen.detailsHidden = dialog->testOption(QFileDialog::HideNameFilterDetails);
      if (choose.empty()) {
        dialog->reject();
        return;
      }
      dialog->selectFile(QString::fromStdString(choose));
      QMetaObject::invokeMethod(dialog, "accept");
    });
  }

  std::unique_ptr<TQtEventLoop> loop;
  std::unique_ptr<TQtFileDialogPresenter> presenter;
  IFileDialogPresenter* previous = nullptr;
  fs::path root;
};

TEST_F(QtFileDialogsTest, EachFileTypeGivesItsFiltersAndDefaultExtension) {
  struct TCase {
    int32_t type;
    QStringList filters;
    QString suffix;
  };
  const TCase cases[] = {
      {FileTypeSession, {"Thudra Session (*.tsn) (*.tsn)"}, "tsn"},
      {FileTypeMidi, {"Standard Midi Files (*.mid) (*.mid)", "All Files (*.*) (*)"}, "mid"},
      {FileTypeWav, {"WAV Files (*.wav) (*.wav)", "All Files (*.*) (*)"}, "wav"},
      {FileTypeAiff, {"AIFF Files (*.aif) (*.aif)", "All Files (*.*) (*)"}, "aif"},
      {FileTypeAudio,
       {"Audiofiles (*.wav)(*.aif) (*.wav *.aif)", "WAV Files (*.wav) (*.wav)", "AIFF Files (*.aif) (*.aif)",
        "All Files (*.*) (*)"},
       ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.type);
    EPtr<IFileName> name;
    name->SetType(c.type);
    name->SetFolder(TStr(root.c_str()));
    TSeen seen;
    Answer("", seen);
    EXPECT_FALSE(name->OpenDialog("Open"));
    EXPECT_EQ(seen.title, "Open");
    EXPECT_EQ(seen.filters, c.filters);
    EXPECT_TRUE(seen.detailsHidden) << "the descriptions show as the table gives them";
    EXPECT_EQ(seen.defaultSuffix, c.suffix);
    EXPECT_EQ(seen.directory, QString::fromStdString(root.string()));
    EXPECT_EQ(seen.mode, QFileDialog::ExistingFile);
  }
}

TEST_F(QtFileDialogsTest, OpenAndSaveReturnThePathAndTheNextDialogStartsWhereTheLastFileOfItsTypeWas) {
  EPtr<IFileName> song;
  song->SetType(FileTypeMidi);
  TSeen first;
  Answer((root / "songs" / "groove.mid").string(), first);
  ASSERT_TRUE(song->OpenDialog("Open"));
  EXPECT_EQ(std::string(song->GetPath().Text()), (root / "songs" / "groove.mid").string());
  EXPECT_EQ(first.directory, QDir::homePath()) << "nothing chosen before";

  // A session dialog starts where no MIDI file was chosen; a second MIDI dialog where
  // the last MIDI file was.
  EPtr<IFileName> session;
  session->SetType(FileTypeSession);
  session->SetName("untitled");
  TSeen save;
  Answer((root / "sessions" / "live").string(), save);
  ASSERT_TRUE(session->SaveDialog("Save Session As"));
  EXPECT_EQ(save.title, "Save Session As");
  EXPECT_EQ(save.acceptMode, QFileDialog::AcceptSave);
  EXPECT_EQ(save.directory, QDir::homePath());
  EXPECT_EQ(std::string(session->GetPath().Text()), (root / "sessions" / "live.tsn").string())
      << "the default extension is added";
  EPtr<IFileName> next;
  next->SetType(FileTypeMidi);
  TSeen again;
  Answer("", again);
  EXPECT_FALSE(next->OpenDialog("Open"));
  EXPECT_EQ(again.directory, QString::fromStdString((root / "songs").string()));
  EXPECT_TRUE(next->GetName().IsEmpty()) << "Cancel changes nothing";
}

TEST_F(QtFileDialogsTest, TheFolderBrowserAnswersAFolder) {
  EPtr<IFileName> where;
  TSeen seen;
  Answer((root / "songs").string(), seen);
  ASSERT_TRUE(where->ChooseFolder("Choose a folder"));
  EXPECT_EQ(seen.mode, QFileDialog::Directory);
  EXPECT_TRUE(seen.filters.isEmpty() || seen.filters == QStringList{"All Files (*)"});
  EXPECT_EQ(std::string(where->GetFolder().Text()), (root / "songs").string());
}
}  // namespace
