// The program's one-shot behaviour as a user sees it: version line, command
// line faults, the configuration check and its refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "process.h"

namespace corvane_tests {
namespace {

const std::string BINARY = CORVANE_MANAGERD_BINARY;
const std::string VALID_LINE =
    "{\"configuration_valid\":true,\"durable_store_checked\":false,\"network_started\":false}\n";

std::string example(const std::string& replica) {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/../examples/" + replica + ".json");
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The example replica r1 laid out under a private temporary directory.
class ExampleReplica : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = dir_.path() + "/state";
    run_ = dir_.path() + "/run";
    config_ = dir_.path() + "/config.json";
    ASSERT_EQ(::mkdir(state_.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(run_.c_str(), 0700), 0);
    text_ = replace_all(example("r1"), "/tmp/corvane-demo/r1", dir_.path());
    write_file(config_, text_);
  }

  std::vector<std::string> flags() const {
    return {"--config", config_, "--state-dir", state_, "--runtime-dir", run_, "--validate-config"};
  }

  void expect_refused(const Outcome& outcome, const std::string& message) {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "resident refused: " + message + "\n");
  }

  TempDir dir_;
  std::string state_, run_, config_, text_;
};

TEST(Program, PrintsItsVersionOnlyForTheSingleFlag) {
  const Outcome version = run_binary(BINARY, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "corvane-managerd 0.1.0\n");
  EXPECT_EQ(version.err, "");

  const Outcome mixed = run_binary(BINARY, {"--version", "--config", "/c"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.out, "");
  EXPECT_EQ(mixed.err, "resident refused: unknown or positional argument in flag mode\n");
}

TEST(Program, ReportsGrammarFaultsOnOneLine) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "--config required"},
      {{"--config"}, "missing option value"},
      {{"--inspect-store"}, "--config required"},
      {{"--config", "c", "--inspect-store", "--runtime-dir", "r", "--state-dir", "s", "--validate-config"},
       "--inspect-store cannot be combined with --validate-config"},
      {{"relative.json"},
       "paths must be absolute without traversal, repeated separators or trailing separators"},
  };
  for (const auto& [arguments, message] : cases) {
    const Outcome outcome = run_binary(BINARY, arguments);
    EXPECT_EQ(outcome.status, 1) << message;
    EXPECT_EQ(outcome.out, "") << message;
    EXPECT_EQ(outcome.err, "resident refused: " + message + "\n");
  }
}

TEST_F(ExampleReplica, ConfigurationCheckPrintsItsLineWhateverTheNetworkSwitch) {
  for (const std::optional<std::string>& mode :
       {std::optional<std::string>(), std::optional<std::string>("disabled"),
        std::optional<std::string>("authenticated-static-peers")}) {
    const Outcome outcome = run_binary(BINARY, flags(), {{"CORVANE_MANAGER_NETWORK_MODE", mode}});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, VALID_LINE);
    EXPECT_EQ(outcome.err, "");
  }
  expect_refused(run_binary(BINARY, flags(), {{"CORVANE_MANAGER_NETWORK_MODE", "Disabled"}}),
                 "unsupported CORVANE_MANAGER_NETWORK_MODE");
}

TEST_F(ExampleReplica, ReadsAtMostOneMebibyteOfConfiguration) {
  std::string padded = text_;
  padded.resize(1024 * 1024, ' ');
  write_file(config_, padded);
  const Outcome fits = run_binary(BINARY, flags());
  EXPECT_EQ(fits.status, 0) << fits.err;

  write_file(config_, padded + " ");
  expect_refused(run_binary(BINARY, flags()), "configuration exceeds 1 MiB");
}

TEST_F(ExampleReplica, MalformedConfigurationNamesMemberAndPlace) {
  write_file(config_, replace_all(text_, "\"incoming_workers\": 4", "\"incoming_workers\": \"4\""));
  const Outcome wrong_type = run_binary(BINARY, flags());
  EXPECT_EQ(wrong_type.status, 1);
  EXPECT_EQ(wrong_type.err,
            "resident refused: member `incoming_workers`: invalid type: expected unsigned 64-bit "
            "integer, found string \"4\" at line 28 column 26\n");

  write_file(config_, replace_all(text_, "\"bind\": \"127.0.0.1:17101\"", "\"bind\": \"localhost:17101\""));
  const Outcome host_name = run_binary(BINARY, flags());
  EXPECT_EQ(host_name.status, 1);
  EXPECT_NE(host_name.err.find("member `network.bind`: invalid socket address \"localhost:17101\""),
            std::string::npos)
      << host_name.err;
}

TEST_F(ExampleReplica, EachLaterCheckReachesTheUser) {
  write_file(config_, replace_all(text_, "\"interval_ms\": 1000", "\"interval_ms\": 99"));
  expect_refused(run_binary(BINARY, flags()), "invalid interval, backoff, workers or peer count");

  write_file(config_, replace_all(text_, "127.0.0.1:17102", "127.0.0.1:0"));
  expect_refused(run_binary(BINARY, flags()), "static endpoints require nonzero ports");

  write_file(config_, replace_all(text_, "\"replica_id\": \"r2\", \"endpoint\"", "\"replica_id\": \"r3\", \"endpoint\""));
  expect_refused(run_binary(BINARY, flags()), "peer identities must be distinct and non-local");

  write_file(config_, text_, 0664);
  expect_refused(run_binary(BINARY, flags()),
                 "file must be regular, singly linked, owned and not untrusted-writable");
}

TEST_F(ExampleReplica, PathChecksReachTheUser) {
  ASSERT_EQ(::chmod(run_.c_str(), 0750), 0);
  expect_refused(run_binary(BINARY, flags()),
                 "declared directories require current-user ownership and safe permissions");
  ASSERT_EQ(::chmod(run_.c_str(), 0700), 0);

  write_file(run_ + "/control.sock", "not a socket");
  expect_refused(run_binary(BINARY, flags()), "existing control path must be an owned private Unix socket");
  ASSERT_EQ(::unlink((run_ + "/control.sock").c_str()), 0);

  ASSERT_EQ(::mkdir((state_ + "/sub").c_str(), 0700), 0);
  write_file(config_, replace_all(text_, "/state/manager.sqlite3", "/state/sub/manager.sqlite3"));
  expect_refused(run_binary(BINARY, flags()), "database must be a direct child of the declared state directory");

  write_file(config_, text_);
  write_file(state_ + "/manager.sqlite3-wal", "", 0666);
  expect_refused(run_binary(BINARY, flags()),
                 "file must be regular, singly linked, owned and not untrusted-writable");
  ASSERT_EQ(::unlink((state_ + "/manager.sqlite3-wal").c_str()), 0);

  const std::string link = dir_.path() + "/link";
  ASSERT_EQ(::symlink(state_.c_str(), link.c_str()), 0);
  std::vector<std::string> through_link = flags();
  through_link[3] = link;
  expect_refused(run_binary(BINARY, through_link),
                 "directory chain must be nonsymlink and owned by root or current user");

  EXPECT_EQ(run_binary(BINARY, flags()).out, VALID_LINE);
}

TEST_F(ExampleReplica, PositionalFormDerivesTheDirectoriesAndRunsTheResidentMode) {
  // The resident mode starts with the strict network-mode check.
  const Outcome outcome = run_binary(BINARY, {config_}, {{"CORVANE_MANAGER_NETWORK_MODE", std::nullopt}});
  expect_refused(outcome,
                 "runtime networking disabled; set CORVANE_MANAGER_NETWORK_MODE=authenticated-static-peers "
                 "explicitly");
}

}  // namespace
}  // namespace corvane_tests
