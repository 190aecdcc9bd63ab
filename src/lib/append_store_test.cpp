#include "lib/append_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "durable/test_support.h"

namespace corvane_manager_resident_lab {
namespace {

namespace net = corvane_manager_network_lab;
using corvane_manager_ha_lab::durable::testing_support::TempDir;

Configuration replica(const std::string& id, const std::string& database) {
  Configuration c;
  c.network.replica_id = id;
  c.network.database_path = database;
  c.network.manager = {"lm", {{"r1", "h1"}, {"r2", "h2"}}, {{"site/r1", "r1"}, {"site/r2", "r2"}}};
  c.network.bind = *net::SocketAddress::parse("127.0.0.1:7001");
  const std::string other = id == "r1" ? "r2" : "r1";
  c.network.peers = {{other, *net::SocketAddress::parse("127.0.0.1:7002"), std::string(64, 'a')}};
  return c;
}

bool exec(const std::string& database, const char* sql) {
  sqlite3* db = nullptr;
  const bool ok =
      sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
      sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

class AppendStoreTest : public ::testing::Test {
 protected:
  std::string database() const { return (dir_ / "store.sqlite3").string(); }
  AppendCompletion append(const std::string& operation_id, const std::string& scope,
                          const std::string& value) {
    return append_observation_store(replica("r1", database()),
                                    AppendObservationRequest{operation_id, scope, "door", value});
  }
  TempDir dir_;
};

TEST_F(AppendStoreTest, StoredReplayedAndRefusedByTheStoresRules) {
  const AppendCompletion first = append("op-1", "site/r1", "open");
  const auto* stored = std::get_if<AppendStored>(&first);
  ASSERT_NE(stored, nullptr);
  ASSERT_TRUE(stored->response.starts_with(R"({"response":{"result":"observed","fact":)"))
      << stored->response;
  ASSERT_TRUE(stored->response.ends_with(R"("replayed":false})")) << stored->response;
  const std::string replayed = stored->response.substr(0, stored->response.size() - 6) + "true}";

  EXPECT_EQ(append("op-1", "site/r1", "open"), AppendCompletion(AppendStored{replayed}));
  EXPECT_EQ(append("op-1", "site/r1", "closed"), AppendCompletion(AppendRefused{}));
  // A scope owned by another replica: the fact model refuses it.
  EXPECT_EQ(append("op-2", "site/r2", "open"), AppendCompletion(AppendRefused{}));
}

TEST_F(AppendStoreTest, AStoreThatCannotVouchForTheResultIsUncertain) {
  ASSERT_TRUE(std::holds_alternative<AppendStored>(append("op-1", "site/r1", "open")));

  // Opened for another replica: the store does not open at all.
  EXPECT_EQ(append_observation_store(replica("r2", database()),
                                     AppendObservationRequest{"op-9", "site/r2", "door", "open"}),
            AppendCompletion(AppendUncertain{}));

  // A fact edited behind the store's back, its trigger put back as it was:
  // the store opens, and the request finds the corruption.
  ASSERT_TRUE(exec(database(),
                   "DROP TRIGGER facts_no_update;"
                   "UPDATE facts SET fact_json = fact_json || ' ';"
                   "CREATE TRIGGER facts_no_update BEFORE UPDATE ON facts BEGIN SELECT "
                   "RAISE(ABORT, 'immutable fact'); END;"));
  ASSERT_TRUE(store(replica("r1", database())));
  EXPECT_EQ(append("op-2", "site/r1", "open"), AppendCompletion(AppendUncertain{}));
}

}  // namespace
}  // namespace corvane_manager_resident_lab
