// Helpers shared by the durable store's tests: private temporary
// directories, whole-file reads, and raw SQLite access that does not go
// through the store's own connection layer, so tests can build hostile
// stores and look at what the store wrote independently of it.
//
// Header-only (every .cpp here belongs to the library). Test use only.
#ifndef CORVANE_MANAGER_HA_DURABLE_TEST_SUPPORT_H
#define CORVANE_MANAGER_HA_DURABLE_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "durable/error.h"
#include "durable/read_only_snapshot.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

inline void PrintTo(const DurableError& error, std::ostream* out) { *out << error.text(); }

namespace testing_support {

// A fresh directory under the system temporary directory, removed with its
// contents when dropped.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Points TMPDIR at a private directory for the lifetime of the guard, so that
// snapshot directories made by the code under test can be counted without
// seeing anyone else's.
class PrivateTmpdir {
 public:
  PrivateTmpdir() {
    if (const char* old = std::getenv("TMPDIR")) previous_ = old;
    ::setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  PrivateTmpdir(const PrivateTmpdir&) = delete;
  PrivateTmpdir& operator=(const PrivateTmpdir&) = delete;
  ~PrivateTmpdir() {
    if (previous_) {
      ::setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  const std::filesystem::path& path() const { return dir_.path(); }

  // Names of entries that look like snapshot directories.
  std::vector<std::string> snapshot_directories() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(SNAPSHOT_DIRECTORY_PREFIX)) found.push_back(name);
    }
    return found;
  }

 private:
  TempDir dir_;
  std::optional<std::string> previous_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A connection of the plain SQLite C API, for building and examining stores
// behind the store's back.
class RawDb {
 public:
  explicit RawDb(const std::filesystem::path& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db_);
    }
  }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  ~RawDb() { sqlite3_close_v2(db_); }

  // Runs `sql`; returns SQLite's error message, or empty on success.
  std::string exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    std::string text = rc == SQLITE_OK ? "" : (message ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    return text;
  }

  void must(const std::string& sql) { ASSERT_EQ(exec(sql), "") << sql; }

  // Every row of `sql`, columns joined by "|", NULL as "NULL".
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return out;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i != 0) row += "|";
        const auto* text = sqlite3_column_text(statement, i);
        row += text ? reinterpret_cast<const char*>(text) : "NULL";
      }
      out.push_back(row);
    }
    sqlite3_finalize(statement);
    return out;
  }

  std::string value(const std::string& sql) {
    auto all = rows(sql);
    return all.empty() ? "<no rows>" : all.front();
  }

 private:
  sqlite3* db_ = nullptr;
};

// Two replicas, each owning one scope.
inline Configuration sample_configuration() {
  return Configuration{.logical_manager_id = "lm",
                       .replicas = {{"r1", "h1"}, {"r2", "h2"}},
                       .grants = {{"ops", "r1"}, {"db", "r2"}}};
}

}  // namespace testing_support

}  // namespace corvane_manager_ha_lab::durable

#endif
