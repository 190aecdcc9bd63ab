#include "lib/node.h"

#include <gtest/gtest.h>

#include "durable/test_support.h"

namespace corvane_manager_network_lab {
namespace {

namespace durable = corvane_manager_ha_lab::durable;
using durable::DurableError;
using durable::RefusalReason;
using durable::testing_support::TempDir;

const std::string KEY_A(64, 'a');
const std::string KEY_B(64, 'b');
const std::string KEY_C(64, 'c');

Peer peer(const std::string& id, const std::string& key) {
  return Peer{id, *SocketAddress::parse("127.0.0.1:7100"), key};
}

ConfigurationFile replica(const std::string& id, const std::string& database) {
  ConfigurationFile file;
  file.replica_id = id;
  file.database_path = database;
  file.manager = {"lm", {{"r1", "h1"}, {"r2", "h2"}, {"r3", "h3"}}, {{"a", "r1"}}};
  file.bind = *SocketAddress::parse("127.0.0.1:7001");
  if (id == "r1") file.peers = {peer("r3", KEY_B), peer("r2", KEY_A)};
  if (id == "r2") file.peers = {peer("r1", KEY_A), peer("r3", KEY_C)};
  return file;
}

TEST(Node, OpensItsStoreAndKeepsCopiesOfTheConfiguration) {
  TempDir dir;
  const ConfigurationFile file = replica("r1", dir / "store.sqlite3");
  auto node = file.open();
  ASSERT_TRUE(node) << node.error().text();
  EXPECT_EQ(node->replica_id, "r1");
  EXPECT_EQ(node->manager, file.manager);
  EXPECT_EQ(node->peers, file.peers);
  EXPECT_EQ(node->audit_fault_phase, std::nullopt);
  EXPECT_EQ(node->store.replica_id(), "r1");

  // A second node on the same file has its own connection.
  auto second = file.open();
  EXPECT_TRUE(second) << second.error().text();
}

TEST(Node, AStoreOfAnotherReplicaIsRefusedAsANetworkError) {
  TempDir dir;
  ASSERT_TRUE(replica("r1", dir / "store.sqlite3").open());
  auto other = replica("r2", dir / "store.sqlite3").open();
  ASSERT_FALSE(other);
  EXPECT_EQ(other.error(),
            (Error{ErrorCategory::Refused, ErrorSource::Local, "refused: identity_mismatch"}));
}

TEST(Node, AnInvalidConfigurationOpensNoStore) {
  TempDir dir;
  ConfigurationFile file = replica("r1", dir / "store.sqlite3");
  file.peers.pop_back();
  auto node = file.open();
  ASSERT_FALSE(node);
  EXPECT_EQ(node.error().detail,
            "every other configured manager replica must have exactly one peer entry");
  EXPECT_FALSE(std::filesystem::exists(dir / "store.sqlite3"));
}

TEST(Node, PeerLookupIsExactAndInFileOrder) {
  TempDir dir;
  ConfigurationFile file = replica("r1", dir / "store.sqlite3");
  auto node = file.open();
  ASSERT_TRUE(node) << node.error().text();
  EXPECT_EQ(node->peer("r2"), file.peers[1]);
  EXPECT_EQ(node->peer("r3"), file.peers[0]);
  const Error missing{ErrorCategory::Refused, ErrorSource::Local, "peer is not configured"};
  for (const char* id : {"r1", "R2", "r2 ", ""})
    EXPECT_EQ(node->peer(id), std::unexpected(missing)) << id;
}

TEST(Node, StoreErrorsBecomeLocalNetworkErrorsByKind) {
  struct Case {
    DurableError error;
    ErrorCategory category;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {DurableError::refused(RefusalReason::OperationIdReused), ErrorCategory::Refused,
       "refused: operation_id_reused"},
      {DurableError::corrupt("stored fact hash mismatch"), ErrorCategory::Refused,
       "corrupt: stored fact hash mismatch"},
      {DurableError::storage("disk I/O error"), ErrorCategory::Unavailable,
       "storage: disk I/O error"},
      {DurableError::invalid_audit("bad phase"), ErrorCategory::Malformed,
       "invalid_audit: bad phase"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Error::durable(c.error), (Error{c.category, ErrorSource::Local, c.detail}))
        << c.detail;
  }
}

}  // namespace
}  // namespace corvane_manager_network_lab
