// The driver port's loading of the access library: the program's own is complete; a
// missing file, a library without the entry, or with a short or gapped table gives
// no operations.
#include <gtest/gtest.h>

#include "audio/asio/TASIOLibrary.h"
#include "pc/host/TDlLibraryLoader.h"

TEST(AsioLibraryLoad, OnlyACompleteLibraryGivesItsOperations) {
  TDlLibraryLoader::Install();
  const std::pair<const char*, bool> cases[] = {
      {THUDRA_PROGRAM_DIR "/VMASIO.dll", true},
      {THUDRA_ASIO_TEST_LIBRARIES "/asio_no_entry.dll", false},
      {THUDRA_ASIO_TEST_LIBRARIES "/asio_short.dll", false},
      {THUDRA_ASIO_TEST_LIBRARIES "/asio_gap.dll", false},
      {THUDRA_ASIO_TEST_LIBRARIES "/no-such-library.dll", false},
  };
  for (const auto& [path, complete] : cases) {
    TASIOLibrary::SetLibraryPath(TStr(path));
    TASIOLibrary library;
    EXPECT_EQ(library.Load(), complete) << path;
    EXPECT_EQ(library.IsLoaded(), complete) << path;
    if (complete) {
      EXPECT_EQ(library.Ops().count, Asio::ordinalCount);
    }
  }
  TASIOLibrary::SetLibraryPath(TStr());
  EXPECT_NE(std::string_view(TASIOLibrary::GetLibraryPath()).find("/VMASIO.dll"), std::string_view::npos);
}
