// The resident daemon as its clients see it: the real binary in fresh
// private directories, spoken to over its real control socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "json_value.h"
#include "json_writer.h"
#include "process.h"

namespace corvane_tests {
namespace {

using namespace std::chrono_literals;
namespace json = corvane_manager_ha_lab::json;

const std::string BINARY = CORVANE_MANAGERD_BINARY;
const std::string CTL_BINARY = CORVANE_MANAGERCTL_BINARY;
const std::map<std::string, std::optional<std::string>> ENABLED = {
    {"CORVANE_MANAGER_NETWORK_MODE", "authenticated-static-peers"}};

const std::string PEER_BEFORE_ANY_ATTEMPT =
    R"({"authenticated_successes":0,"failures":0,"last_success_age_ms":null,)"
    R"("acknowledged_history_len":null,"local_history_len_at_attempt":null,)"
    R"("history_count_delta":null,"outcome":"unknown","next_attempt_in_ms":0})";
const std::string SHUTDOWN_ANSWER = R"({"shutdown_requested":true})";
const std::string REFUSED = R"({"error":"append_observation_refused"})";
const std::string BUSY = R"({"error":"append_observation_busy"})";
const std::string UNCERTAIN = R"({"error":"append_observation_uncertain"})";
const std::string INVALID = R"({"error":"invalid typed control request"})";
const std::string BOUND = R"({"error":"control request bound exceeded"})";

// A TCP port on 127.0.0.1 that was free a moment ago.
std::uint16_t free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string endpoint(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

// An owned client socket.
struct Socket {
  int fd = -1;
  explicit Socket(int fd) : fd(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
};

std::unique_ptr<Socket> connect_unix(const std::string& path) {
  auto s = std::make_unique<Socket>(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (::connect(s->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return nullptr;
  const timeval wait{10, 0};
  ::setsockopt(s->fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  ::setsockopt(s->fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  return s;
}

std::unique_ptr<Socket> connect_tcp(std::uint16_t port) {
  auto s = std::make_unique<Socket>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(s->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return nullptr;
  const timeval wait{10, 0};
  ::setsockopt(s->fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  return s;
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Everything until the other side closes (or a receive error, or 10 s).
std::string read_to_end(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

std::string append_request(const std::string& operation_id, const std::string& value,
                           const std::string& scope = "site/r1",
                           const std::string& subject = "door") {
  json::Writer w;
  w.begin_object();
  w.key("operation");
  w.string("append_observation");
  w.key("operation_id");
  w.string(operation_id);
  w.key("scope");
  w.string(scope);
  w.key("subject");
  w.string(subject);
  w.key("value");
  w.string(value);
  w.end_object();
  return w.take();
}

bool is_socket(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

// The member `name` of a JSON object, or nothing.
const json::Value* member(const json::Value& object, std::string_view name) {
  for (const auto& m : object.members) {
    if (m.name == name) return &m.value;
  }
  return nullptr;
}

// A three-replica group whose local replica r1 lives under a fresh private
// directory: state/, run/ (both 0700) and config.json (0600).
class Resident : public ::testing::Test {
 protected:
  struct Options {
    std::optional<std::uint32_t> writer_uid;  // default: this process's user
    unsigned incoming_workers = 2;
  };

  void SetUp() override {
    state_ = dir_.path() + "/state";
    run_ = dir_.path() + "/run";
    config_ = dir_.path() + "/config.json";
    database_ = state_ + "/manager.sqlite3";
    socket_ = run_ + "/control.sock";
    ASSERT_EQ(::mkdir(state_.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(run_.c_str(), 0700), 0);
    ::chmod(state_.c_str(), 0700);
    ::chmod(run_.c_str(), 0700);
    bind_port_ = free_port();
    configure(Options{});
  }

  void configure(const Options& options) {
    const std::string manager =
        R"({"logical_manager_id":"lm","replicas":[{"replica_id":"r1","host_id":"h1"},)"
        R"({"replica_id":"r2","host_id":"h2"},{"replica_id":"r3","host_id":"h3"}],)"
        R"("grants":[{"scope":"site/r1","owner_replica_id":"r1"},)"
        R"({"scope":"site/r2","owner_replica_id":"r2"}]})";
    // Peers deliberately out of order: the status document sorts them.
    const std::string peers = R"([{"replica_id":"r3","endpoint":")" + endpoint(free_port()) +
                              R"(","shared_key_hex":")" + std::string(64, 'b') +
                              R"("},{"replica_id":"r2","endpoint":")" + endpoint(free_port()) +
                              R"(","shared_key_hex":")" + std::string(64, 'a') + R"("}])";
    const std::uint32_t uid = options.writer_uid.value_or(::geteuid());
    write_file(config_, R"({"network":{"replica_id":"r1","database_path":")" + database_ +
                            R"(","manager":)" + manager + R"(,"bind":")" + endpoint(bind_port_) +
                            R"(","peers":)" + peers + R"(},"control_socket":")" + socket_ +
                            R"(","observation_writer_uid":)" + std::to_string(uid) +
                            R"(,"interval_ms":1000,"max_backoff_ms":8000,"incoming_workers":)" +
                            std::to_string(options.incoming_workers) + "}");
  }

  std::vector<std::string> arguments() const {
    return {"--config", config_, "--state-dir", state_, "--runtime-dir", run_};
  }

  // Starts the daemon and waits for its control socket.
  void start(std::optional<mode_t> umask = std::nullopt) {
    daemon_ = std::make_unique<BackgroundProcess>(BINARY, arguments(), ENABLED, umask);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!is_socket(socket_) && daemon_->running() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(is_socket(socket_)) << "control socket did not appear";
    ASSERT_TRUE(daemon_->running());
  }

  // Sends one complete request and returns the whole answer.
  std::string ask(const std::string& request, const std::string& socket = {}) {
    auto client = connect_unix(socket.empty() ? socket_ : socket);
    if (!client) return "<connect failed>";
    if (!send_all(client->fd, request)) return "<send failed>";
    ::shutdown(client->fd, SHUT_WR);
    return read_to_end(client->fd);
  }

  std::string status() { return ask(R"({"operation":"status"})"); }

  // The value of one counter of the status document.
  std::string counter(const std::string& name) {
    auto document = json::parse(status());
    if (!document) return "<no status>";
    const json::Value* value = member(*document, name);
    return value ? value->text : "<missing>";
  }

  // Polls the status until `name` reads `expected` (at most 10 s).
  bool counter_becomes(const std::string& name, const std::string& expected) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (counter(name) != expected) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  // Sends shutdown and waits for the process to end.
  Outcome stop() {
    EXPECT_EQ(ask(R"({"operation":"shutdown"})"), SHUTDOWN_ANSWER);
    auto outcome = daemon_->wait(10s);
    EXPECT_TRUE(outcome) << "daemon did not stop";
    return outcome.value_or(Outcome{});
  }

  TempDir dir_;
  std::string state_, run_, config_, database_, socket_;
  std::uint16_t bind_port_ = 0;
  std::unique_ptr<BackgroundProcess> daemon_;
};

// Holds SQLite's write lock on the store from a connection of its own, as a
// concurrent writer in another process would.
class WriteLock {
 public:
  explicit WriteLock(const std::string& database) {
    if (sqlite3_open_v2(database.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      return;
    held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~WriteLock() {
    release();
    sqlite3_close(db_);
  }
  bool held() const { return held_; }
  void release() {
    if (held_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    held_ = false;
  }

 private:
  sqlite3* db_ = nullptr;
  bool held_ = false;
};

TEST_F(Resident, StatusAppendReplayShutdownAndRestart) {
  start();
  EXPECT_EQ(status(), R"({"kind":"resident_observation","replica_id":"r1",)"
                      R"("canonical_inspection_available_via":"--inspect-store","peers":{"r2":)" +
                          PEER_BEFORE_ANY_ATTEMPT + R"(,"r3":)" + PEER_BEFORE_ANY_ATTEMPT +
                          R"(},"active_incoming":0,"peak_incoming":0,"rejected_connections":0,)"
                          R"("append_worker_failures":0,"incoming_limit":2,"outgoing_limit":1,)"
                          R"("activation_authority":false})");

  const std::string first = ask(append_request("op-1", "open"));
  auto executed = json::parse(first);
  ASSERT_TRUE(executed) << first;
  const json::Value* response = member(*executed, "response");
  const json::Value* receipt = member(*executed, "receipt");
  ASSERT_TRUE(response && receipt) << first;
  EXPECT_EQ(member(*response, "result")->text, "observed");
  EXPECT_EQ(member(*receipt, "operation_id")->text, "op-1");
  EXPECT_EQ(member(*receipt, "kind")->text, "observe");
  const std::string fresh_tail = R"("replayed":false})";
  ASSERT_TRUE(first.ends_with(fresh_tail)) << first;
  const std::string replayed =
      first.substr(0, first.size() - fresh_tail.size()) + R"("replayed":true})";

  EXPECT_EQ(ask(append_request("op-1", "open")), replayed);
  EXPECT_EQ(ask(append_request("op-1", "closed")), REFUSED);

  const Outcome ended = stop();
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.out, "");
  EXPECT_EQ(ended.err, "");
  EXPECT_FALSE(exists(socket_));
  EXPECT_TRUE(exists(state_ + "/manager.resident-lock"));

  start();
  EXPECT_EQ(ask(append_request("op-1", "open")), replayed);
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, AppendChecksRefuseBadFields) {
  start();
  struct Case {
    std::string operation_id, scope, subject, value;
    bool refused;
  };
  const std::string long_id(129, 'i');
  const std::vector<Case> cases = {
      {"", "site/r1", "door", "v", true},            // operation_id: token rule
      {long_id, "site/r1", "door", "v", true},       // operation_id: 129 bytes
      {"op/1", "site/r1", "door", "v", true},        // operation_id: not a token byte
      {"network:op", "site/r1", "door", "v", true},  // reserved for network imports
      {"network:", "site/r1", "door", "v", true},    // the prefix alone
      {"op-2", "/site", "door", "v", true},          // scope rule
      {"op-2", "site//r1", "door", "v", true},       // scope rule
      {"op-2", "site/r1", "a door", "v", true},      // subject: token rule
      {"op-2", "site/r1", "door", "", true},         // empty value
      {"op-2", "site/r1", "door", std::string(4097, 'v'), true},
      {"op-2", "site/r1", "door", std::string(4096, 'v'), false},
      {"network-op", "site/r1", "door", "v", false},     // no colon right after "network"
      {"op:network:", "site/r1", "window", "v", false},  // the colon elsewhere
      {std::string(128, 'i'), "site/r1", "lamp", "v", false},
  };
  for (const auto& c : cases) {
    const std::string answer = ask(append_request(c.operation_id, c.value, c.scope, c.subject));
    if (c.refused) {
      EXPECT_EQ(answer, REFUSED) << c.operation_id << " " << c.scope << " " << c.subject;
    } else {
      EXPECT_TRUE(answer.ends_with(R"("replayed":false})")) << c.operation_id << ": " << answer;
    }
  }
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, OnlyTheConfiguredWriterMayAppend) {
  configure(Options{.writer_uid = ::geteuid() + 1});
  start();
  EXPECT_EQ(ask(append_request("op-1", "open")), REFUSED);
  // Status and shutdown are governed by the socket's mode alone.
  EXPECT_TRUE(status().starts_with(R"({"kind":"resident_observation")"));
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, RequestFormsAndBounds) {
  start();
  EXPECT_EQ(ask(R"({"operation":"status","verbose":true})"), INVALID);
  EXPECT_EQ(ask(R"({"operation":"Status"})"), INVALID);
  EXPECT_TRUE(ask(R"(["status"])").starts_with(R"({"kind":"resident_observation")"));

  const std::string request = R"({"operation":"status"})";
  const std::string at_bound = request + std::string(32'768 - request.size(), ' ');
  EXPECT_TRUE(ask(at_bound).starts_with(R"({"kind":"resident_observation")"));
  EXPECT_EQ(ask(at_bound + " "), BOUND);
  EXPECT_EQ(ask(std::string(100'000, '[')), BOUND);
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, AClientThatNeverFinishesGetsNoAnswer) {
  start();
  auto client = connect_unix(socket_);
  ASSERT_TRUE(client);
  const auto connected = std::chrono::steady_clock::now();
  ASSERT_TRUE(send_all(client->fd, R"({"operation":"status"})"));
  EXPECT_EQ(read_to_end(client->fd), "");
  const auto closed_after = std::chrono::steady_clock::now() - connected;
  EXPECT_GE(closed_after, 240ms);
  EXPECT_LT(closed_after, 5s);
  // The daemon goes on serving.
  EXPECT_TRUE(status().starts_with(R"({"kind":"resident_observation")"));
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, ASecondDaemonOnTheSameStoreStopsAtTheLock) {
  start();
  // The same configuration: had it got past the lock, binding would fail instead.
  const Outcome second = run_binary(BINARY, arguments(), ENABLED);
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err, "resident refused: Resource temporarily unavailable (os error 11)\n");
  EXPECT_TRUE(status().starts_with(R"({"kind":"resident_observation")"));
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, ALeftoverControlSocketMakesTheBindFail) {
  {
    Socket leftover(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket_.data(), socket_.size());
    ASSERT_EQ(::bind(leftover.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::chmod(socket_.c_str(), 0600), 0);
  }
  const Outcome outcome = run_binary(BINARY, arguments(), ENABLED);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "resident refused: Address already in use (os error 98)\n");
  EXPECT_TRUE(is_socket(socket_));
}

TEST_F(Resident, TheResidentModeNeedsNetworkingSwitchedOnExplicitly) {
  const std::string refused =
      "resident refused: runtime networking disabled; set "
      "CORVANE_MANAGER_NETWORK_MODE=authenticated-static-peers explicitly\n";
  for (const std::optional<std::string>& mode :
       {std::optional<std::string>(), std::optional<std::string>("disabled")}) {
    const std::map<std::string, std::optional<std::string>> environment = {
        {"CORVANE_MANAGER_NETWORK_MODE", mode}};
    const Outcome resident = run_binary(BINARY, arguments(), environment);
    EXPECT_EQ(resident.status, 1);
    EXPECT_EQ(resident.err, refused);
    auto check = arguments();
    check.push_back("--validate-config");
    const Outcome checked = run_binary(BINARY, check, environment);
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(checked.err, "");
  }
  EXPECT_FALSE(exists(database_));
  EXPECT_FALSE(exists(state_ + "/manager.resident-lock"));
}

TEST_F(Resident, ADeletedControlSocketMakesTheOrderlyShutdownFail) {
  start();
  const std::string other = run_ + "/other.sock";
  ASSERT_EQ(::link(socket_.c_str(), other.c_str()), 0);
  ASSERT_EQ(::unlink(socket_.c_str()), 0);
  EXPECT_EQ(ask(R"({"operation":"shutdown"})", other), SHUTDOWN_ANSWER);
  auto outcome = daemon_->wait(10s);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->status, 1);
  EXPECT_EQ(outcome->err, "resident refused: No such file or directory (os error 2)\n");
}

TEST_F(Resident, TheWorkerLimitRejectsAndCountsConnections) {
  configure(Options{.writer_uid = std::nullopt, .incoming_workers = 1});
  start();
  // While the write lock is held, the inbound worker waits in opening its
  // store, so its connection stays in the worker list.
  WriteLock lock(database_);
  ASSERT_TRUE(lock.held());
  auto held = connect_tcp(bind_port_);
  ASSERT_TRUE(held);
  ASSERT_TRUE(counter_becomes("active_incoming", "1"));

  auto rejected = connect_tcp(bind_port_);
  ASSERT_TRUE(rejected);
  EXPECT_EQ(read_to_end(rejected->fd), "");
  EXPECT_TRUE(counter_becomes("rejected_connections", "1"));
  EXPECT_EQ(counter("peak_incoming"), "1");

  lock.release();
  EXPECT_TRUE(counter_becomes("active_incoming", "0"));
  EXPECT_EQ(counter("peak_incoming"), "1");
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, ASlowCommitIsUncertainThenBusyAndLaterReplayed) {
  start();
  WriteLock lock(database_);
  ASSERT_TRUE(lock.held());
  EXPECT_EQ(ask(append_request("slow-1", "open")), UNCERTAIN);
  EXPECT_EQ(ask(append_request("slow-2", "open")), BUSY);
  std::this_thread::sleep_for(50ms);
  lock.release();

  const auto end = std::chrono::steady_clock::now() + 10s;
  std::string retry = ask(append_request("slow-1", "open"));
  while (retry == BUSY && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(10ms);
    retry = ask(append_request("slow-1", "open"));
  }
  EXPECT_TRUE(retry.ends_with(R"("replayed":true})")) << retry;
  EXPECT_NE(retry.find(R"("operation_id":"slow-1")"), std::string::npos) << retry;
  EXPECT_EQ(counter("append_worker_failures"), "0");
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, UnderAnOpenUmaskTheLockFileIsStillPrivate) {
  start(0);
  struct stat lock_status {};
  ASSERT_EQ(::lstat((state_ + "/manager.resident-lock").c_str(), &lock_status), 0);
  EXPECT_EQ(lock_status.st_mode & 07777, 0600u);
  struct stat socket_status {};
  ASSERT_EQ(::lstat(socket_.c_str(), &socket_status), 0);
  EXPECT_EQ(socket_status.st_mode & 07777, 0600u);
  EXPECT_EQ(stop().status, 0);
  // The next start passes its own path checks on what this one left.
  start(0);
  EXPECT_EQ(stop().status, 0);
}

TEST_F(Resident, TheControlToolPrintsOneAnswer) {
  start();
  const Outcome status = run_binary(CTL_BINARY, {"--socket", socket_, "status"});
  EXPECT_EQ(status.status, 0);
  EXPECT_TRUE(status.out.starts_with(R"({"kind":"resident_observation")")) << status.out;
  EXPECT_TRUE(status.out.ends_with("}\n"));

  const Outcome append =
      run_binary(CTL_BINARY, {"--socket", socket_, "append", "--operation-id", "ctl-1", "--scope",
                              "site/r1", "--subject", "door", "--value", "open"});
  EXPECT_EQ(append.status, 0);
  EXPECT_TRUE(append.out.ends_with("\"replayed\":false}\n")) << append.out;

  const Outcome shutdown = run_binary(CTL_BINARY, {"shutdown", "--socket", socket_});
  EXPECT_EQ(shutdown.status, 0);
  EXPECT_EQ(shutdown.out, SHUTDOWN_ANSWER + "\n");
  auto ended = daemon_->wait(10s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->status, 0);

  const Outcome nobody = run_binary(CTL_BINARY, {"--socket", socket_, "status"});
  EXPECT_NE(nobody.status, 0);
  EXPECT_EQ(nobody.out, "");
  EXPECT_NE(nobody.err.find("No such file or directory (os error 2)"), std::string::npos);
}

}  // namespace
}  // namespace corvane_tests
