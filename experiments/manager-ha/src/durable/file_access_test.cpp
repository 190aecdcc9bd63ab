#include "durable/file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>

#include "durable/random.h"
#include "durable/test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::TempDir;
using testing_support::write_file;

const DurableError UNSAFE = DurableError::refused(RefusalReason::UnsafeStore);
const DurableError MISSING = DurableError::refused(RefusalReason::MissingStore);

class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(file_, "original bytes");
    write_file(dir_ / "other", "other bytes");
  }

  TempDir dir_;
  std::filesystem::path file_ = dir_ / "store.sqlite";
};

TEST_F(FileAccessTest, ReadsARegularFile) {
  EXPECT_EQ(read_regular_file_nofollow(file_, false).value(), "original bytes");
  EXPECT_TRUE(require_regular_nonsymlink(file_).has_value());
}

TEST_F(FileAccessTest, AbsenceIsNothingOnlyWhenAllowed) {
  const auto absent = dir_ / "absent";
  EXPECT_EQ(read_regular_file_nofollow(absent, true).value(), std::nullopt);
  EXPECT_EQ(read_regular_file_nofollow(absent, false).error(), MISSING);
  EXPECT_EQ(require_regular_nonsymlink(absent).error(), MISSING);
}

TEST_F(FileAccessTest, RefusesWhatIsNotARegularFile) {
  std::filesystem::create_symlink(file_, dir_ / "link");
  std::filesystem::create_symlink(dir_ / "absent", dir_ / "dangling");
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir_ / "directory");
  for (const char* name : {"link", "dangling", "fifo", "directory"}) {
    SCOPED_TRACE(name);
    // Absence allowed or not, something that is there but unsafe is refused.
    EXPECT_EQ(read_regular_file_nofollow(dir_ / name, true).error(), UNSAFE);
    EXPECT_EQ(read_regular_file_nofollow(dir_ / name, false).error(), UNSAFE);
    EXPECT_EQ(require_regular_nonsymlink(dir_ / name).error(), UNSAFE);
  }
  EXPECT_EQ(read_regular_file_nofollow("/dev/null", false).error(), UNSAFE);
}

// Files swapped between the checks, at each point where a swap could make
// the reader return bytes of something it did not examine.
TEST_F(FileAccessTest, RefusesAFileReplacedBetweenTheChecks) {
  const auto saved = dir_ / "saved";
  const auto nothing = [] {};
  const auto replace_with_other = [&] {
    std::filesystem::create_hard_link(file_, saved);
    std::filesystem::rename(dir_ / "other", file_);
  };
  // The examined file comes back under its name: only the descriptor's
  // identity shows that other bytes were read.
  const auto put_back = [&] { std::filesystem::rename(saved, file_); };
  const auto replace_with_link = [&] {
    std::filesystem::remove(file_);
    std::filesystem::create_symlink(dir_ / "other", file_);
  };
  const auto replace_with_fifo = [&] {
    std::filesystem::remove(file_);
    ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
  };
  const struct {
    const char* name;
    std::function<void()> before_open;
    std::function<void()> after_read;
  } cases[] = {
      {"new inode before the open", replace_with_other, nothing},
      {"new inode only while reading", replace_with_other, put_back},
      {"symbolic link before the open", replace_with_link, nothing},
      {"FIFO before the open", replace_with_fifo, nothing},
      {"new inode after the read", nothing, replace_with_other},
      {"symbolic link after the read", nothing, replace_with_link},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(file_);
    std::filesystem::remove(saved);
    write_file(file_, "original bytes");
    write_file(dir_ / "other", "other bytes");
    std::vector<ReadCheckpoint> seen;
    const ReadProbe probe = [&](ReadCheckpoint at) {
      seen.push_back(at);
      (at == ReadCheckpoint::AfterFirstStatus ? c.before_open : c.after_read)();
    };
    EXPECT_EQ(read_regular_file_nofollow(file_, false, probe).error(), UNSAFE);
    EXPECT_FALSE(seen.empty());
  }
}

TEST_F(FileAccessTest, AFileRemovedBeforeTheOpenIsAStorageError) {
  const ReadProbe remove = [&](ReadCheckpoint at) {
    if (at == ReadCheckpoint::AfterFirstStatus) std::filesystem::remove(file_);
  };
  EXPECT_EQ(read_regular_file_nofollow(file_, true, remove).error(),
            DurableError::storage("No such file or directory (os error 2)"));
}

TEST_F(FileAccessTest, StoreFilesComeInDatabaseWalShmOrder) {
  auto alone = read_store_files(file_);
  ASSERT_TRUE(alone.has_value());
  EXPECT_EQ(*alone, (FileImage{{"", "original bytes"}}));

  // Written in the opposite order, to show the order is not the directory's.
  write_file(dir_ / "store.sqlite-shm", "shm");
  write_file(dir_ / "store.sqlite-wal", "wal");
  auto all = read_store_files(file_);
  ASSERT_TRUE(all.has_value());
  EXPECT_EQ(*all, (FileImage{{"", "original bytes"}, {"-wal", "wal"}, {"-shm", "shm"}}));

  std::filesystem::remove(dir_ / "store.sqlite-wal");
  auto without_wal = read_store_files(file_);
  ASSERT_TRUE(without_wal.has_value());
  EXPECT_EQ(*without_wal, (FileImage{{"", "original bytes"}, {"-shm", "shm"}}));
}

TEST_F(FileAccessTest, StoreFilesRefuseAMissingDatabaseOrALinkedCompanion) {
  EXPECT_EQ(read_store_files(dir_ / "absent.sqlite").error(), MISSING);
  std::filesystem::create_symlink(dir_ / "other", dir_ / "store.sqlite-wal");
  EXPECT_EQ(read_store_files(file_).error(), UNSAFE);
}

TEST(RandomHexTest, GivesThirtyTwoFreshLowercaseHexDigits) {
  std::set<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    auto hex = random_hex_16();
    ASSERT_TRUE(hex.has_value()) << hex.error().text();
    ASSERT_EQ(hex->size(), 32u);
    for (const char c : *hex) EXPECT_TRUE(std::isdigit(c) || (c >= 'a' && c <= 'f')) << *hex;
    seen.insert(*hex);
  }
  EXPECT_EQ(seen.size(), 8u);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
