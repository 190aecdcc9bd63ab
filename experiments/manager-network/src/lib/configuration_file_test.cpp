#include "lib/configuration_file.h"

#include <gtest/gtest.h>

namespace corvane_manager_network_lab {
namespace {

using corvane_manager_ha_lab::ReplicaConfig;
using corvane_manager_ha_lab::ScopeGrant;

const std::string KEY_A(64, 'a');
const std::string KEY_B(64, 'b');

Peer peer(const std::string& id, const std::string& key) {
  return Peer{id, *SocketAddress::parse("127.0.0.1:7100"), key};
}

ConfigurationFile three_replicas() {
  ConfigurationFile file;
  file.replica_id = "r1";
  file.database_path = "/var/lib/corvane/store.sqlite3";
  file.manager = {"lm", {{"r1", "h1"}, {"r2", "h2"}, {"r3", "h3"}}, {{"a", "r1"}}};
  file.bind = *SocketAddress::parse("127.0.0.1:7001");
  file.peers = {peer("r2", KEY_A), peer("r3", KEY_B)};
  return file;
}

TEST(NetworkConfiguration, EachPeerRuleHasItsMessage) {
  struct Case {
    const char* what;
    std::vector<Peer> peers;
    std::string message;
  };
  const std::string count = "every other configured manager replica must have exactly one peer entry";
  const std::string distinct = "peer identities must be distinct and non-local";
  const std::string key = "peer key must be a 32-byte hexadecimal value";
  const std::vector<Case> cases = {
      {"too few, count before entries", {peer("r9", "x")}, count},
      {"too many", {peer("r2", KEY_A), peer("r3", KEY_B), peer("r2", KEY_A)}, count},
      {"undeclared peer", {peer("r2", KEY_A), peer("r9", KEY_B)}, "unknown replica"},
      {"local peer", {peer("r1", KEY_A), peer("r3", KEY_B)}, distinct},
      {"repeated peer", {peer("r2", KEY_A), peer("r2", KEY_B)}, distinct},
      {"uppercase key", {peer("r2", std::string(64, 'A')), peer("r3", KEY_B)}, key},
      {"short key", {peer("r2", std::string(62, 'a')), peer("r3", KEY_B)}, key},
      {"long key", {peer("r2", std::string(66, 'a')), peer("r3", KEY_B)}, key},
      {"non-hex key", {peer("r2", std::string(63, 'a') + "g"), peer("r3", KEY_B)}, key},
      {"repeated key", {peer("r2", KEY_A), peer("r3", KEY_A)}, "each local peer must use a distinct pair key"},
  };
  for (const auto& c : cases) {
    ConfigurationFile file = three_replicas();
    file.peers = c.peers;
    auto result = file.validate();
    ASSERT_FALSE(result) << c.what;
    EXPECT_EQ(result.error(), Error::refused(c.message)) << c.what;
  }
  EXPECT_TRUE(three_replicas().validate());
}

TEST(NetworkConfiguration, TopologyAndLocalReplicaComeFirst) {
  ConfigurationFile unknown_local = three_replicas();
  unknown_local.replica_id = "r9";
  EXPECT_EQ(unknown_local.validate().error().detail, "unknown replica");

  ConfigurationFile shared_host = three_replicas();
  shared_host.manager.replicas[2].host_id = "h1";
  EXPECT_EQ(shared_host.validate().error().detail, "replica and host identities must be non-empty and unique");

  ConfigurationFile single;
  single.replica_id = "solo";
  single.manager = {"lm", {{"solo", "h"}}, {}};
  EXPECT_TRUE(single.validate());
}

TEST(NetworkConfiguration, ReadsObjectAndGenericFormsStrictly) {
  using corvane_manager_ha_lab::json::from_json;
  using corvane_manager_ha_lab::json::to_json;
  const ConfigurationFile file = three_replicas();
  auto again = from_json<ConfigurationFile>(to_json(file));
  ASSERT_TRUE(again) << again.error().text();
  EXPECT_EQ(*again, file);

  auto generic = from_json<ConfigurationFile>(
      R"(["r1","/s/db",["lm",[["r1","h1"]],[]],"[::1]:7001",[["r2","127.0.0.1:7002",")" + KEY_A + R"("]]])");
  ASSERT_TRUE(generic) << generic.error().text();
  EXPECT_EQ(generic->peers.at(0).replica_id, "r2");

  auto unknown = from_json<ConfigurationFile>(
      R"({"replica_id":"r1","database_path":"/s/db","manager":{"logical_manager_id":"lm","replicas":[],"grants":[]},"bind":"127.0.0.1:1","peers":[{"replica_id":"r2","endpoint":"127.0.0.1:2","shared_key_hex":"k","weight":1}]})");
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().member, "peers[0]");
  EXPECT_NE(unknown.error().message.find("unknown member \"weight\""), std::string::npos);
}

}  // namespace
}  // namespace corvane_manager_network_lab
