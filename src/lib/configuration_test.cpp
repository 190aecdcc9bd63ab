#include "lib/configuration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace corvane_manager_resident_lab {
namespace {

namespace net = corvane_manager_network_lab;
using corvane_manager_ha_lab::ReplicaConfig;
using corvane_manager_ha_lab::ScopeGrant;

std::string key(unsigned i) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "%04x", i);
  return std::string(60, 'a') + tail;
}

// A group of `replicas` replicas r0..rN-1 on loopback; the local one is r0.
net::ConfigurationFile network(unsigned replicas, const std::string& database) {
  net::ConfigurationFile file;
  file.replica_id = "r0";
  file.database_path = database;
  file.manager.logical_manager_id = "lm";
  for (unsigned i = 0; i < replicas; ++i) {
    const std::string id = "r" + std::to_string(i);
    file.manager.replicas.push_back(ReplicaConfig{id, "h" + std::to_string(i)});
    file.manager.grants.push_back(ScopeGrant{"scope-" + id, id});
    if (i != 0) {
      file.peers.push_back(net::Peer{id, *net::SocketAddress::parse("127.0.0.1:" + std::to_string(7000 + i)),
                                     key(i)});
    }
  }
  file.bind = *net::SocketAddress::parse("127.0.0.1:7000");
  return file;
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    valid_ = Configuration{network(3, dir_ + "/store.sqlite3"), dir_ + "/control.sock", 1000, 500, 5000, 2};
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string validate(const Configuration& c) {
    auto result = Configuration::validate(c);
    return result ? "" : result.error();
  }

  std::string dir_;
  Configuration valid_;
};

TEST_F(ConfigurationTest, ReadsTheObjectAndTheGenericForm) {
  const std::string text = corvane_manager_ha_lab::json::to_json(valid_);
  auto object = Configuration::read(text);
  ASSERT_TRUE(object) << object.error();
  EXPECT_EQ(*object, valid_);

  const std::string net_json = corvane_manager_ha_lab::json::to_json(valid_.network);
  auto generic = Configuration::read("[" + net_json + ",\"" + valid_.control_socket + "\",1000,500,5000,2]");
  ASSERT_TRUE(generic) << generic.error();
  EXPECT_EQ(*generic, valid_);
}

TEST_F(ConfigurationTest, ReadingFaultsNameTheMemberAndThePlace) {
  const std::string net_json = corvane_manager_ha_lab::json::to_json(valid_.network);
  auto with = [&](const std::string& tail) {
    return "{\"network\":" + net_json + ",\n\"control_socket\":\"/run/c/s\"," + tail + "}";
  };
  const std::string rest = "\"interval_ms\":500,\"max_backoff_ms\":600,\"incoming_workers\":1";
  struct Case {
    std::string text;
    std::string contains;
  };
  const std::vector<Case> cases = {
      {with("\"observation_writer_uid\":-1," + rest),
       "member `observation_writer_uid`: invalid type: expected unsigned 32-bit integer, found "
       "negative number -1 at line 2 column"},
      {with("\"observation_writer_uid\":4294967296," + rest), "found out-of-range integer 4294967296"},
      {with("\"observation_writer_uid\":\"0\"," + rest),
       "member `observation_writer_uid`: invalid type: expected unsigned 32-bit integer, found string"},
      {with("\"observation_writer_uid\":0,\"interval_ms\":500,\"max_backoff_ms\":600"),
       "missing member `incoming_workers` in Configuration at line 2"},
      {with("\"observation_writer_uid\":0," + rest + ",\"extra\":1"),
       "unknown member \"extra\", expected one of `network`, `control_socket`, "
       "`observation_writer_uid`, `interval_ms`, `max_backoff_ms`, `incoming_workers` at line 2"},
      {with("\"observation_writer_uid\":0,\"observation_writer_uid\":0," + rest),
       "duplicate member \"observation_writer_uid\" at line 2"},
      {with("\"observation_writer_uid\":0," + rest + ","), "syntax error:"},
      {"{\"network\":{\"replica_id\":\"r0\",\"bind\":\"localhost:7000\"}}",
       "member `network.bind`: invalid socket address \"localhost:7000\""},
  };
  for (const auto& c : cases) {
    auto result = Configuration::read(c.text);
    ASSERT_FALSE(result) << c.text;
    EXPECT_NE(result.error().find(c.contains), std::string::npos) << result.error();
  }
  auto zero = Configuration::read(with("\"observation_writer_uid\":0," + rest));
  ASSERT_TRUE(zero) << zero.error();
  EXPECT_EQ(zero->observation_writer_uid, 0u);
}

TEST_F(ConfigurationTest, ValidConfigurationPasses) { EXPECT_EQ(validate(valid_), ""); }

TEST_F(ConfigurationTest, LimitsHoldAtTheirBounds) {
  const std::string limits = "invalid interval, backoff, workers or peer count";
  struct Case {
    std::uint64_t interval, backoff, workers;
    bool ok;
  };
  const std::vector<Case> cases = {
      {100, 100, 1, true},     {99, 100, 1, false},      {60000, 60000, 8, true},
      {60001, 60001, 1, false}, {1000, 999, 1, false},   {1000, 300000, 1, true},
      {1000, 300001, 1, false}, {1000, 1000, 0, false},  {1000, 1000, 9, false},
  };
  for (const auto& c : cases) {
    Configuration config = valid_;
    config.interval_ms = c.interval;
    config.max_backoff_ms = c.backoff;
    config.incoming_workers = c.workers;
    EXPECT_EQ(validate(config), c.ok ? "" : limits) << c.interval << " " << c.backoff << " " << c.workers;
  }
  Configuration fifteen = valid_;
  fifteen.network = network(16, valid_.network.database_path);
  EXPECT_EQ(validate(fifteen), "");
  Configuration sixteen = valid_;
  sixteen.network = network(17, valid_.network.database_path);
  EXPECT_EQ(validate(sixteen), limits);
}

TEST_F(ConfigurationTest, PathsPortsAndSocketParentFollowTheirOrder) {
  auto with = [&](auto change) {
    Configuration config = valid_;
    change(config);
    return validate(config);
  };
  EXPECT_EQ(with([](Configuration& c) { c.network.database_path = "store.sqlite3"; }),
            "database requires a bounded absolute local path");
  EXPECT_EQ(with([](Configuration& c) {
              c.control_socket = "control.sock";
              c.network.bind.port = 0;
            }),
            "control socket requires a bounded absolute local path");
  const std::string hundred = dir_ + "/" + std::string(100 - dir_.size() - 1, 's');
  ASSERT_EQ(hundred.size(), 100u);
  EXPECT_EQ(with([&](Configuration& c) { c.control_socket = hundred; }), "");
  EXPECT_EQ(with([&](Configuration& c) { c.control_socket = hundred + "s"; }),
            "control socket requires a bounded absolute local path");
  EXPECT_EQ(with([](Configuration& c) { c.network.bind.port = 0; }), "static endpoints require nonzero ports");
  EXPECT_EQ(with([](Configuration& c) { c.network.peers[1].endpoint = *net::SocketAddress::parse("[::1]:0"); }),
            "static endpoints require nonzero ports");
  EXPECT_EQ(with([](Configuration& c) { c.control_socket = "/"; }), "socket has no parent");
  EXPECT_EQ(with([&](Configuration& c) { c.control_socket = dir_ + "/absent/control.sock"; }),
            "No such file or directory (os error 2)");
}

TEST_F(ConfigurationTest, SocketParentMustBeAPrivateDirectory) {
  const std::string parent_message = "control socket parent must be a private directory";
  struct Case {
    mode_t mode;
    bool ok;
  };
  for (const Case c : {Case{0700, true}, Case{0710, false}, Case{0701, false}, Case{0750, false}}) {
    const std::string sub = dir_ + "/run" + std::to_string(c.mode);
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(sub.c_str(), c.mode), 0);
    Configuration config = valid_;
    config.control_socket = sub + "/c.sock";
    EXPECT_EQ(validate(config), c.ok ? "" : parent_message) << std::oct << c.mode;
  }
  const std::string link = dir_ + "/link";
  ASSERT_EQ(::mkdir((dir_ + "/private").c_str(), 0700), 0);
  ASSERT_EQ(::symlink((dir_ + "/private").c_str(), link.c_str()), 0);
  Configuration config = valid_;
  config.control_socket = link + "/c.sock";
  EXPECT_EQ(validate(config), parent_message);
}

TEST_F(ConfigurationTest, IdentityAndScopeRulesComeFirst) {
  const std::string token = "control token must be 1-128 safe ASCII characters";
  const std::string scope = "control scope must be a bounded safe hierarchical token";
  auto with = [&](auto change) {
    Configuration config = valid_;
    change(config);
    auto result = Configuration::validate_inspection(config);
    return result ? std::string() : result.error();
  };
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.logical_manager_id = std::string(129, 'l'); }), token);
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.replicas[1].replica_id = "r/1"; }), token);
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.replicas[1].host_id = "h 1"; }), token);
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.grants[0].scope = "a/../b"; }), scope);
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.grants[0].owner_replica_id = ""; }), token);
  EXPECT_EQ(with([](Configuration& c) { c.network.manager.replicas[1].host_id = "h0"; }),
            "replica and host identities must be non-empty and unique");
  EXPECT_EQ(with([](Configuration& c) { c.network.replica_id = "r9"; }), "unknown replica");
  // Network peer rules are not part of the inspection level.
  EXPECT_EQ(with([](Configuration& c) { c.network.peers.clear(); }), "");
}

TEST(ControlIdentifiers, TokenAndScopeRules) {
  const std::string max(128, 'a');
  for (const std::string& ok : {std::string("a"), max, std::string("A-z.0:9_")}) {
    EXPECT_TRUE(validate_control_token(ok)) << ok;
  }
  for (const std::string& bad : {std::string(), max + "a", std::string("a/b"), std::string("a b"),
                                std::string("\xc3\xa9")}) {
    EXPECT_FALSE(validate_control_token(bad)) << bad;
  }
  for (const std::string& ok : {std::string("a"), std::string("a/b-1/c.d"), std::string("..a/b..")}) {
    EXPECT_TRUE(validate_control_scope(ok)) << ok;
  }
  for (const std::string& bad : {std::string(), std::string("/a"), std::string("a/"), std::string("a//b"),
                                std::string("a/./b"), std::string("a/.."), std::string("."),
                                std::string(129, 'a'), std::string("a/b c")}) {
    auto result = validate_control_scope(bad);
    ASSERT_FALSE(result) << bad;
    EXPECT_EQ(result.error(), "control scope must be a bounded safe hierarchical token");
  }
}

}  // namespace
}  // namespace corvane_manager_resident_lab
