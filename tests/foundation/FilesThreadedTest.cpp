#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/IFile.h"
#include "foundation/TFileRequests.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
namespace fs = std::filesystem;

class FilesThreadedTest : public ::testing::Test {
protected:
  void SetUp() override {
    InstallPosixPlatform();
    folder = fs::temp_directory_path() /
             ("thudra-async-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  EPtr<IFileName> Name(const std::string& file) const {
    return EPtr<IFileName>(IFileName::Create(TStr((folder / file).string().c_str())));
  }

  // Polls like the disk streaming does, with a generous limit.
  static bool WaitUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }

  fs::path folder;
};

std::vector<uint8_t> Block(int seed, size_t size) {
  std::vector<uint8_t> block(size);
  for (size_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(seed * 31 + i);
  return block;
}

TEST_F(FilesThreadedTest, AsyncWritesAndReadsLandAndStopBeingPending) {
  EPtr<IFile> file;
  auto name = Name("async.bin");
  file->OpenReadWrite(*name);
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 8; ++i) blocks.push_back(Block(i, 16384));
  for (const auto& block : blocks) ASSERT_EQ(file->WriteAsync(block.data(), static_cast<int64_t>(block.size())), 0);
  ASSERT_TRUE(WaitUntil([&] { return !file->IsWritePending(); }));
  EXPECT_FALSE(file->IsReadPending());
  EXPECT_EQ(file->GetSize(), 8 * 16384);

  file->Seek(0);
  std::vector<std::vector<uint8_t>> back(8, std::vector<uint8_t>(16384));
  for (auto& block : back) ASSERT_EQ(file->ReadAsync(block.data(), static_cast<int64_t>(block.size())), 0);
  EXPECT_FALSE(file->IsWritePending());
  ASSERT_TRUE(WaitUntil([&] { return !file->IsReadPending(); }));
  EXPECT_EQ(back, blocks) << "requests run in their order, at the file's position";
}

TEST_F(FilesThreadedTest, ManyFilesFromManyThreads) {
  constexpr int threads = 4;
  std::vector<std::thread> workers;
  std::atomic<int> failures{0};
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      EPtr<IFile> file;
      auto name = Name("worker" + std::to_string(t) + ".bin");
      file->OpenReadWrite(*name);
      std::vector<std::vector<uint8_t>> blocks;
      for (int i = 0; i < 20; ++i) blocks.push_back(Block(t * 100 + i, 4096));
      for (const auto& block : blocks) {
        // A full ring refuses; the stream counts a dropout and tries the next block.
        while (file->WriteAsync(block.data(), 4096) != 0) std::this_thread::yield();
      }
      if (!WaitUntil([&] { return !file->IsWritePending(); })) ++failures;
      file->Seek(0);
      std::vector<uint8_t> all(20 * 4096);
      file->ReadRaw(all.data(), static_cast<int64_t>(all.size()));
      for (int i = 0; i < 20; ++i)
        if (!std::equal(blocks[i].begin(), blocks[i].end(), all.begin() + i * 4096)) ++failures;
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(FilesThreadedTest, ClosingWithQueuedRequestsIsSafe) {
  for (int round = 0; round < 20; ++round) {
    EPtr<IFile> file;
    auto name = Name("close.bin");
    file->OpenWrite(*name);
    std::vector<uint8_t> block = Block(round, 65536);
    for (int i = 0; i < 16; ++i) file->WriteAsync(block.data(), 65536);
    if (round % 2) file->CancelIo();
    file->Close();  // drops what is queued, waits for the one in progress
    EXPECT_FALSE(file->IsWritePending());
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(fs::file_size(folder / "close.bin") % 65536, 0u) << "whole requests only";
  }
}

TEST_F(FilesThreadedTest, AFullQueueRefusesInsteadOfWaiting) {
  EPtr<IFile> file;
  auto name = Name("full.bin");
  file->OpenWrite(*name);
  static uint8_t byte = 7;
  int refused = 0;
  for (int i = 0; i < 4 * TFileRequests::capacity; ++i)
    if (file->WriteAsync(&byte, 1) != 0) ++refused;
  ASSERT_TRUE(WaitUntil([&] { return !file->IsWritePending(); }));
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(folder / "full.bin")) + refused, 4 * TFileRequests::capacity);
}

TEST_F(FilesThreadedTest, AsyncReadPastTheEndStopsAtTheEnd) {
  {
    std::ofstream out(folder / "small.bin", std::ios::binary);
    out << "abc";
  }
  EPtr<IFile> file;
  auto name = Name("small.bin");
  file->OpenRead(*name);
  char buffer[16] = {};
  ASSERT_EQ(file->ReadAsync(buffer, sizeof buffer), 0);
  ASSERT_TRUE(WaitUntil([&] { return !file->IsReadPending(); }));
  EXPECT_STREQ(buffer, "abc");
}
}  // namespace
