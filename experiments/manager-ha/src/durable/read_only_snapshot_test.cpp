#include "durable/read_only_snapshot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "durable/test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::PrivateTmpdir;
using testing_support::RawDb;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

class ReadOnlySnapshotTest : public ::testing::Test {
 protected:
  // Whatever a test did, successfully or not, no snapshot directory is left.
  void TearDown() override { EXPECT_TRUE(tmpdir_.snapshot_directories().empty()); }

  std::vector<std::filesystem::path> files_next_to_store() const {
    std::vector<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(store_dir_.path())) {
      names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  PrivateTmpdir tmpdir_;
  TempDir store_dir_;
  std::filesystem::path store_ = store_dir_ / "store.sqlite";
};

TEST_F(ReadOnlySnapshotTest, CopyIncludesTransactionsStillInTheWriteAheadLog) {
  RawDb writer(store_);
  writer.must("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t (a);");
  writer.must("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2); INSERT INTO t VALUES (3);");
  ASSERT_GT(std::filesystem::file_size(store_dir_ / "store.sqlite-wal"), 0u);
  const std::string database_before = read_file(store_);
  const std::string wal_before = read_file(store_dir_ / "store.sqlite-wal");

  auto opened = open_read_only_snapshot(store_);
  ASSERT_TRUE(opened.has_value()) << opened.error().text();
  EXPECT_EQ(opened->connection.query_integer("SELECT count(*) FROM t"), 3);
  EXPECT_EQ(opened->connection.execute_batch("INSERT INTO t VALUES (4)").error(),
            DurableError::storage("attempt to write a readonly database"));

  // The store itself was only read.
  EXPECT_EQ(read_file(store_), database_before);
  EXPECT_EQ(read_file(store_dir_ / "store.sqlite-wal"), wal_before);
}

TEST_F(ReadOnlySnapshotTest, ClosedWalStoreIsReadWithoutCreatingCompanionsBesideIt) {
  {
    RawDb writer(store_);
    writer.must("PRAGMA journal_mode=WAL; CREATE TABLE t (a); INSERT INTO t VALUES (1);");
  }
  ASSERT_EQ(files_next_to_store(), (std::vector<std::filesystem::path>{"store.sqlite"}));
  const std::string before = read_file(store_);
  auto opened = open_read_only_snapshot(store_);
  ASSERT_TRUE(opened.has_value()) << opened.error().text();
  EXPECT_EQ(opened->connection.query_integer("SELECT count(*) FROM t"), 1);
  EXPECT_EQ(files_next_to_store(), (std::vector<std::filesystem::path>{"store.sqlite"}));
  EXPECT_EQ(read_file(store_), before);
}

TEST_F(ReadOnlySnapshotTest, CapturesTakeConsecutiveNumbersAndPrivateDirectories) {
  RawDb writer(store_);
  writer.must("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t (a);");

  const std::uint64_t first_number = NEXT_INSPECTION_SNAPSHOT.load();
  EXPECT_GE(first_number, 1u);
  auto first = ReadOnlySnapshot::capture(store_);
  auto second = ReadOnlySnapshot::capture(store_);
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_EQ(NEXT_INSPECTION_SNAPSHOT.load(), first_number + 2);

  EXPECT_NE(first->directory(), second->directory());
  for (const ReadOnlySnapshot* snapshot : {&*first, &*second}) {
    const auto& directory = snapshot->directory();
    EXPECT_EQ(directory.parent_path(), tmpdir_.path());
    const std::string name = directory.filename().string();
    EXPECT_TRUE(name.starts_with("corvane-manager-inspect-")) << name;
    EXPECT_EQ(name.size(), std::string("corvane-manager-inspect-").size() + 24) << name;
    struct stat status {};
    ASSERT_EQ(::lstat(directory.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(snapshot->database_path(), directory / "store.sqlite");
    for (const char* suffix : {"", "-wal", "-shm"}) {
      EXPECT_EQ(read_file(directory.string() + "/store.sqlite" + suffix),
                read_file(store_.string() + suffix))
          << suffix;
    }
  }
  EXPECT_EQ(tmpdir_.snapshot_directories().size(), 2u);
  const std::filesystem::path released = first->directory();
  { const ReadOnlySnapshot dropped = std::move(*first); }
  EXPECT_FALSE(std::filesystem::exists(released));
  EXPECT_EQ(tmpdir_.snapshot_directories().size(), 1u);
}

TEST_F(ReadOnlySnapshotTest, FailuresLeaveNoDirectoryBehind) {
  write_file(store_dir_ / "garbage.sqlite", std::string(8192, 'x'));
  std::filesystem::create_symlink(store_dir_ / "garbage.sqlite", store_dir_ / "link.sqlite");
  const struct {
    const char* name;
    std::filesystem::path path;
    DurableError error;
  } cases[] = {
      {"missing", store_dir_ / "absent.sqlite", DurableError::refused(RefusalReason::MissingStore)},
      {"symbolic link", store_dir_ / "link.sqlite",
       DurableError::refused(RefusalReason::UnsafeStore)},
      // Neither the read-only copy nor its materialized fallback can be read.
      {"not a database", store_dir_ / "garbage.sqlite",
       DurableError::storage("file is not a database")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto opened = open_read_only_snapshot(c.path);
    ASSERT_FALSE(opened.has_value());
    EXPECT_EQ(opened.error(), c.error);
    EXPECT_TRUE(tmpdir_.snapshot_directories().empty());
  }
}

TEST_F(ReadOnlySnapshotTest, MissingTemporaryDirectoryIsAStorageError) {
  RawDb(store_).must("CREATE TABLE t (a)");
  const std::filesystem::path absent = tmpdir_.path() / "absent";
  ::setenv("TMPDIR", absent.c_str(), 1);
  auto snapshot = ReadOnlySnapshot::capture(store_);
  ::setenv("TMPDIR", tmpdir_.path().c_str(), 1);
  ASSERT_FALSE(snapshot.has_value());
  EXPECT_EQ(snapshot.error(), DurableError::storage("No such file or directory (os error 2)"));
  EXPECT_FALSE(std::filesystem::exists(absent));
}

// The store changes inside the first `changing_reads` reads of the database
// (after its bytes were taken, so each read returns the state before).
TEST_F(ReadOnlySnapshotTest, CaptureKeepsOnlyAnImageThatTwoReadsAgreeOn) {
  const struct {
    int changing_reads;
    int expected_reads;
    bool captured;
  } cases[] = {
      {0, 2, true},   // first pair agrees
      {1, 4, true},   // second pair agrees
      {3, 6, true},   // third pair agrees
      {5, 6, false},  // every pair differs: refused after three pairs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.changing_reads);
    write_file(store_, "version 0");
    int reads = 0;
    const ReadProbe change = [&](ReadCheckpoint at) {
      if (at != ReadCheckpoint::AfterRead) return;
      ++reads;
      // Rewritten in place: same inode, so only the contents tell.
      if (reads <= c.changing_reads) {
        std::ofstream(store_, std::ios::binary | std::ios::in | std::ios::out)
            << "version " << reads;
      }
    };
    auto snapshot = ReadOnlySnapshot::capture(store_, change);
    EXPECT_EQ(reads, c.expected_reads);
    if (c.captured) {
      ASSERT_TRUE(snapshot.has_value()) << snapshot.error().text();
      EXPECT_EQ(read_file(snapshot->database_path()),
                "version " + std::to_string(c.changing_reads));
    } else {
      ASSERT_FALSE(snapshot.has_value());
      EXPECT_EQ(snapshot.error(),
                DurableError::storage(
                    "manager store changed while capturing a read-only inspection snapshot"));
    }
  }
}

// A writer in another process commits pairs of rows as fast as it can while
// captures run. Every capture is either a consistent image (integrity
// intact, whole transactions only, never older than the previous one) or
// the capture refuses with the "changed" error; never a torn copy.
TEST_F(ReadOnlySnapshotTest, CaptureDuringConcurrentWritesIsConsistentOrRefused) {
  {
    RawDb setup(store_);
    setup.must("PRAGMA journal_mode=WAL; CREATE TABLE t (k INTEGER PRIMARY KEY, pair INTEGER);");
  }
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    sqlite3* db = nullptr;
    if (sqlite3_open(store_.c_str(), &db) != SQLITE_OK) ::_exit(2);
    sqlite3_busy_timeout(db, 5000);
    for (int pair = 0; pair < 20000; ++pair) {
      const std::string sql = "BEGIN IMMEDIATE; INSERT INTO t (pair) VALUES (" +
                              std::to_string(pair) + "); INSERT INTO t (pair) VALUES (" +
                              std::to_string(pair) + "); COMMIT;";
      if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ::_exit(3);
      if (pair % 4 == 0) ::usleep(200);
    }
    sqlite3_close(db);
    ::_exit(0);
  }

  const DurableError changed = DurableError::storage(
      "manager store changed while capturing a read-only inspection snapshot");
  std::int64_t previous_rows = 0;
  for (int i = 0; i < 40; ++i) {
    auto opened = open_read_only_snapshot(store_);
    if (!opened) {
      EXPECT_EQ(opened.error(), changed);
      continue;
    }
    EXPECT_EQ(opened->connection.pragma_text("integrity_check"), "ok");
    const auto rows = opened->connection.query_integer("SELECT count(*) FROM t");
    ASSERT_TRUE(rows.has_value()) << rows.error().text();
    EXPECT_EQ(*rows % 2, 0);
    EXPECT_EQ(opened->connection.query_integer(
                  "SELECT count(*) FROM (SELECT pair FROM t GROUP BY pair HAVING count(*) <> 2)"),
              0);
    EXPECT_GE(*rows, previous_rows);
    previous_rows = *rows;
  }
  ::kill(writer, SIGKILL);
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
