// Helpers shared by the tests of store requests, receipts and snapshots:
// the byte-exact vectors, a SHA-256 that does not go through the store's own
// digest code, the sqlite3 shell for editing stores behind the store's back,
// and stores opened on the vectors' three-replica group.
//
// Header-only (every .cpp here belongs to the library). Test use only.
#ifndef CORVANE_MANAGER_HA_DURABLE_REQUEST_TEST_SUPPORT_H
#define CORVANE_MANAGER_HA_DURABLE_REQUEST_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "durable/executed.h"
#include "durable/request.h"
#include "durable/store.h"
#include "durable/test_support.h"
#include "json_record.h"
#include "json_value.h"

namespace corvane_manager_ha_lab::durable::testing_support {

// The string member `name` of `object` (a vectors entry).
inline const json::Value& vector_member(const json::Value& object, std::string_view name) {
  for (const json::Member& m : object.members) {
    if (m.name == name) return m.value;
  }
  ADD_FAILURE() << "no member " << name;
  static const json::Value none;
  return none;
}

// The vectors file, parsed once per call.
inline json::Value vectors() {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto tree = json::parse(text.str());
  EXPECT_TRUE(tree.has_value()) << (tree ? "" : tree.error().text());
  return tree ? *tree : json::Value{};
}

// vectors[section][name] as text.
inline std::string vector_text(std::string_view section, std::string_view name) {
  const json::Value all = vectors();
  return vector_member(vector_member(all, section), name).text;
}

// vectors["facts"][index]["fact_json"].
inline std::string vector_fact_json(std::size_t index) {
  const json::Value all = vectors();
  return vector_member(vector_member(all, "facts").items.at(index), "fact_json").text;
}

// SHA-256 in lowercase hex straight from OpenSSL, independent of `digest`.
inline std::string independent_sha256(std::string_view bytes) {
  unsigned char md[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), md);
  std::string hex;
  for (const unsigned char byte : md) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

// The vectors' group: r1 owns "ops-x", r2 owns "ops/db", r3 owns "alpha",
// listed in a deliberately unsorted order.
inline Configuration vectors_configuration() {
  return Configuration{.logical_manager_id = "lm",
                       .replicas = {{"r2", "h2"}, {"r1", "h1"}, {"r3", "h3"}},
                       .grants = {{"ops/db", "r2"}, {"ops-x", "r1"}, {"alpha", "r3"}}};
}

inline Store open_store(const std::filesystem::path& path, const std::string& replica_id,
                        Configuration configuration = vectors_configuration()) {
  auto store = Store::open(path, std::move(configuration), replica_id);
  if (!store) {
    ADD_FAILURE() << "cannot open " << path << ": " << store.error().text();
    std::abort();
  }
  return std::move(*store);
}

inline Request observe(std::string operation_id, std::string scope, std::string subject,
                       std::string value, std::optional<std::string> resource = std::nullopt,
                       bool active_claim = false) {
  return Request{Request::Observe{.operation_id = std::move(operation_id),
                                  .scope = std::move(scope),
                                  .subject = std::move(subject),
                                  .exclusive_resource = std::move(resource),
                                  .active_claim = active_claim,
                                  .value = std::move(value)}};
}

inline Request import(std::string operation_id, Snapshot snapshot) {
  return Request{
      Request::Import{.operation_id = std::move(operation_id), .snapshot = std::move(snapshot)}};
}

// The store's own snapshot through an Export request.
inline Snapshot export_of(Store& store) {
  auto response = store.execute(Request{Request::Export{}});
  EXPECT_TRUE(response.has_value()) << response.error().text();
  if (!response) return {};
  return std::get<Response::Snapshot>(response->value).snapshot;
}

// Runs `sql` through the sqlite3 command-line shell on `path`; returns the
// shell's exit status.
inline int sqlite3_shell(const std::filesystem::path& path, const std::string& sql) {
  const std::string command = "sqlite3 -bail '" + path.string() + "' >/dev/null";
  FILE* shell = ::popen(command.c_str(), "w");
  if (shell == nullptr) return -1;
  std::fputs(sql.c_str(), shell);
  return ::pclose(shell);
}

// The statement that restores a trigger after a test dropped it to edit rows;
// the schema then matches again exactly.
inline std::string no_update_trigger(std::string_view table, std::string_view message) {
  return "CREATE TRIGGER " + std::string(table) + "_no_update BEFORE UPDATE ON " +
         std::string(table) + " BEGIN SELECT RAISE(ABORT, '" + std::string(message) + "'); END;\n";
}

// `sql` run with the update trigger of `table` dropped, then restored.
inline std::string with_updates_allowed(std::string_view table, std::string_view message,
                                        const std::string& sql) {
  return "DROP TRIGGER " + std::string(table) + "_no_update;\n" + sql + "\n" +
         no_update_trigger(table, message);
}

inline std::int64_t row_count(const std::filesystem::path& path, const std::string& table) {
  RawDb db(path);
  return std::stoll(db.value("SELECT count(*) FROM " + table));
}

}  // namespace corvane_manager_ha_lab::durable::testing_support

#endif
