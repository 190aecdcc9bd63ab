// Tests of the path trust checks against real directory trees built under a
// fresh private directory in /tmp: modes, owners, sticky bits, hard and
// symbolic links and Unix sockets. Cases that need another owner chown to uid
// 65534 and therefore need root; cases that need root-owned files to differ
// from the current user's run the check in a child process as uid 65534.
//
// Single-threaded; each test owns its own tree.
#include "cli/path_trust.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/configuration.h"

namespace corvane_manager_resident_lab::cli {
namespace {

constexpr uid_t OTHER_USER = 65534;

constexpr const char* LEXICAL =
    "paths must be absolute without traversal, repeated separators or trailing separators";
constexpr const char* CHAIN_OWNER =
    "directory chain must be nonsymlink and owned by root or current user";
constexpr const char* CHAIN_WRITABLE = "directory chain is writable by an untrusted user";
constexpr const char* DECLARED =
    "declared directories require current-user ownership and safe permissions";
constexpr const char* UNTRUSTED_FILE =
    "file must be regular, singly linked, owned and not untrusted-writable";
constexpr const char* DATABASE_CHILD =
    "database must be a direct child of the declared state directory";
constexpr const char* SOCKET_CHILD =
    "database/socket must be direct children of declared directories";
constexpr const char* SOCKET_OBJECT = "existing control path must be an owned private Unix socket";
constexpr const char* NO_SUCH_FILE = "No such file or directory (os error 2)";

constexpr const char* NEEDS_ROOT = "building files of another owner needs root (chown, setuid)";

// "ok" for success, else the error text: one comparable value per check.
std::string outcome(const Check& check) { return check ? "ok" : check.error(); }

bool running_as_root() { return ::geteuid() == 0; }

// `n` bytes: "/" then runs of 'x' with a separator every 200 bytes, so every
// segment is non-empty and the path ends in a name.
std::string long_path(std::size_t n) {
  std::string path = "/" + std::string(n - 1, 'x');
  for (std::size_t i = 200; i + 1 < n; i += 200) path[i] = '/';
  return path;
}

TEST(PathTrustText, LexicalRule) {
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"/a/b", "ok"},          {"/a/.b", "ok"},
      {"/a/..b", "ok"},        {"/a/b.", "ok"},
      {"/a/b/", LEXICAL},      {"/a//b", LEXICAL},
      {"//a", LEXICAL},        {"/a/./b", LEXICAL},
      {"/a/../b", LEXICAL},    {"/a/.", LEXICAL},
      {"/a/..", LEXICAL},      {"a/b", LEXICAL},
      {"./a", LEXICAL},        {"", LEXICAL},
      {"/", LEXICAL},          {std::string("/a\0b", 4), LEXICAL},
      {long_path(4096), "ok"}, {long_path(4097), LEXICAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40) + " (" + std::to_string(c.path.size()) + " bytes)");
    EXPECT_EQ(outcome(lexical(c.path)), c.expected);
  }
}

TEST(PathTrustText, ParentDirectory) {
  struct Case {
    std::string path;
    std::optional<std::string> parent;
  };
  const std::vector<Case> cases = {
      {"/a/b", "/a"}, {"/a", "/"},         {"/a/b/", "/a"},      {"/a//b", "/a"},    {"a/b", "a"},
      {"a", ""},      {"/", std::nullopt}, {"//", std::nullopt}, {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto parent = parent_directory(c.path);
    if (c.parent) {
      EXPECT_EQ(parent, *c.parent);
    } else {
      EXPECT_EQ(parent, std::unexpected(std::string("path has no parent")));
    }
  }
}

TEST(PathTrustText, LockFileNextToStore) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/s/store.sqlite3", "/s/store.resident-lock"},
      {"/s/store", "/s/store.resident-lock"},
      {"/s/.store", "/s/.store.resident-lock"},
      {"/s/a.b.c", "/s/a.b.resident-lock"},
      {"/s/store.", "/s/store.resident-lock"},
      // A dot in a directory name is not the file's extension.
      {"/s.d/store", "/s.d/store.resident-lock"},
  };
  for (const auto& [database, lock] : cases) EXPECT_EQ(lock_file_path(database), lock) << database;
}

// A fresh private directory under /tmp (root-owned and sticky, so it passes
// the chain rule), removed with everything below it.
class PathTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-path-trust-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr) << std::strerror(errno);
    base_ = pattern;
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
  }

  std::string path(const std::string& relative) const { return base_ + "/" + relative; }

  static void own(const std::string& full, std::optional<uid_t> owner) {
    if (owner) {
      EXPECT_EQ(::chown(full.c_str(), *owner, *owner), 0) << full << ": " << std::strerror(errno);
    }
  }

  // Modes are set with chmod after creation so the umask does not matter.
  std::string make_dir(const std::string& relative, mode_t mode,
                       std::optional<uid_t> owner = std::nullopt) const {
    const std::string full = path(relative);
    EXPECT_EQ(::mkdir(full.c_str(), 0700), 0) << full << ": " << std::strerror(errno);
    EXPECT_EQ(::chmod(full.c_str(), mode), 0) << full << ": " << std::strerror(errno);
    own(full, owner);
    return full;
  }

  std::string make_file(const std::string& relative, mode_t mode,
                        std::optional<uid_t> owner = std::nullopt) const {
    const std::string full = path(relative);
    const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0) << full << ": " << std::strerror(errno);
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(::chmod(full.c_str(), mode), 0) << full << ": " << std::strerror(errno);
    own(full, owner);
    return full;
  }

  std::string make_link(const std::string& relative, const std::string& target) const {
    const std::string full = path(relative);
    EXPECT_EQ(::symlink(target.c_str(), full.c_str()), 0) << full << ": " << std::strerror(errno);
    return full;
  }

  // A socket file left behind by a listener that is gone, as after a crash.
  std::string make_socket(const std::string& relative, mode_t mode,
                          std::optional<uid_t> owner = std::nullopt) const {
    const std::string full = path(relative);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    EXPECT_LT(full.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, full.c_str(), full.size() + 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << full << ": " << std::strerror(errno);
    ::close(fd);
    EXPECT_EQ(::chmod(full.c_str(), mode), 0) << full << ": " << std::strerror(errno);
    own(full, owner);
    return full;
  }

  std::string base_;
};

TEST_F(PathTrustTest, AncestorsPassOnlyRootOwnedStickyWritableDirectories) {
  if (!running_as_root()) GTEST_SKIP() << "a root-owned shared directory needs root";
  struct Case {
    mode_t shared_mode;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {01777, "ok"},          {01775, "ok"},          {0777, CHAIN_WRITABLE},
      {0775, CHAIN_WRITABLE}, {0757, CHAIN_WRITABLE}, {0755, "ok"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << std::oct << cases[i].shared_mode);
    const std::string shared = "shared" + std::to_string(i);
    make_dir(shared, cases[i].shared_mode);
    const std::string state = make_dir(shared + "/state", 0700);
    EXPECT_EQ(outcome(ancestors(state)), cases[i].expected);
  }
}

TEST_F(PathTrustTest, AncestorsRefuseAnotherUsersDirectory) {
  if (!running_as_root()) GTEST_SKIP() << NEEDS_ROOT;
  make_dir("other", 0755, OTHER_USER);
  EXPECT_EQ(outcome(ancestors(make_dir("other/state", 0700))), CHAIN_OWNER);
  // The sticky exception is root's alone.
  make_dir("other-shared", 01777, OTHER_USER);
  EXPECT_EQ(outcome(ancestors(make_dir("other-shared/state", 0700))), CHAIN_OWNER);
  // The directory itself is part of the chain.
  EXPECT_EQ(outcome(ancestors(make_dir("theirs", 0700, OTHER_USER))), CHAIN_OWNER);
}

TEST_F(PathTrustTest, AncestorsRefuseSymbolicLinkAnywhereEvenToTrustedDirectory) {
  make_dir("real", 0700);
  make_dir("real/inner", 0700);
  make_dir("real/inner/leaf", 0700);
  make_link("alias", path("real"));
  make_link("real/inner-alias", "inner");
  EXPECT_EQ(outcome(ancestors(path("real/inner/leaf"))), "ok");
  for (const char* through :
       {"alias", "alias/inner", "alias/inner/leaf", "real/inner-alias", "real/inner-alias/leaf"}) {
    EXPECT_EQ(outcome(ancestors(path(through))), CHAIN_OWNER) << through;
  }
}

TEST_F(PathTrustTest, AncestorsRefuseFilesAndPassMissingEntriesThrough) {
  make_file("plain", 0600);
  EXPECT_EQ(outcome(ancestors(path("plain"))), CHAIN_OWNER);
  EXPECT_EQ(outcome(ancestors(path("plain/below"))), CHAIN_OWNER);
  EXPECT_EQ(outcome(ancestors(path("missing/below"))), NO_SUCH_FILE);
  EXPECT_EQ(outcome(ancestors("/")), "ok");
}

TEST_F(PathTrustTest, DeclaredDirectoryMasks) {
  struct Case {
    mode_t mode;
    bool private_directory;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0700, true, "ok"},
      {0700, false, "ok"},
      {0750, true, DECLARED},  // a runtime directory may not even be readable by the group
      {0750, false, "ok"},     // a state directory only may not be writable
      {0701, true, DECLARED},
      {0755, false, "ok"},
      // Write bits are already refused by the chain rule, which runs first.
      {0770, false, CHAIN_WRITABLE},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(::testing::Message()
                 << std::oct << cases[i].mode << " private " << cases[i].private_directory);
    const std::string dir = make_dir("d" + std::to_string(i), cases[i].mode);
    EXPECT_EQ(outcome(directory(dir, cases[i].private_directory)), cases[i].expected);
  }
  EXPECT_EQ(outcome(directory(path("missing"), false)), NO_SUCH_FILE);
  EXPECT_EQ(outcome(directory(path("d0/"), false)), LEXICAL);
}

TEST_F(PathTrustTest, SharedTemporaryDirectoryIsNoDeclaredDirectory) {
  if (!running_as_root()) GTEST_SKIP() << "a root-owned shared directory needs root";
  const std::string shared = make_dir("shared", 01777);
  EXPECT_EQ(outcome(ancestors(shared)), "ok");
  EXPECT_EQ(outcome(directory(shared, false)), DECLARED);
}

TEST_F(PathTrustTest, TrustedFileShapes) {
  make_dir("etc", 0700);
  struct Case {
    std::string name;
    std::function<std::string()> build;
    bool may_be_absent;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"0644", [&] { return make_file("etc/a", 0644); }, false, "ok"},
      {"0640 may be absent", [&] { return make_file("etc/b", 0640); }, true, "ok"},
      {"group writable", [&] { return make_file("etc/c", 0664); }, false, UNTRUSTED_FILE},
      {"other writable", [&] { return make_file("etc/d", 0646); }, true, UNTRUSTED_FILE},
      {"two hard links",
       [&] {
         const std::string file = make_file("etc/e", 0644);
         EXPECT_EQ(::link(file.c_str(), path("etc/e-twin").c_str()), 0) << std::strerror(errno);
         return file;
       },
       false, UNTRUSTED_FILE},
      {"directory", [&] { return make_dir("etc/f", 0700); }, false, UNTRUSTED_FILE},
      {"link to a trusted file", [&] { return make_link("etc/g", path("etc/a")); }, false,
       UNTRUSTED_FILE},
      {"socket", [&] { return make_socket("etc/h", 0600); }, true, UNTRUSTED_FILE},
      {"missing, must exist", [&] { return path("etc/absent"); }, false, NO_SUCH_FILE},
      {"missing, may be absent", [&] { return path("etc/absent"); }, true, "ok"},
      {"missing under a missing directory", [&] { return path("gone/absent"); }, true,
       NO_SUCH_FILE},
      {"parent is a link",
       [&] {
         make_link("etc-alias", path("etc"));
         return path("etc-alias/a");
       },
       false, CHAIN_OWNER},
      {"relative", [] { return std::string("etc/a"); }, false, LEXICAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(outcome(trusted_file(c.build(), c.may_be_absent)), c.expected);
  }
}

TEST_F(PathTrustTest, TrustedFileRefusesAnotherUsersFileInBothForms) {
  if (!running_as_root()) GTEST_SKIP() << NEEDS_ROOT;
  const std::string file = make_file("theirs", 0644, OTHER_USER);
  EXPECT_EQ(outcome(trusted_file(file, false)), UNTRUSTED_FILE);
  EXPECT_EQ(outcome(trusted_file(file, true)), UNTRUSTED_FILE);
}

TEST_F(PathTrustTest, RootOwnedConfigurationAccepted) {
  if (!running_as_root()) GTEST_SKIP() << "a root-owned file needs root";
  EXPECT_EQ(outcome(trusted_file(make_file("config.json", 0644), false)), "ok");
}

// The store and control socket as the daemon is normally deployed: a state
// directory and a private runtime directory side by side.
class StateLayoutTest : public PathTrustTest {
 protected:
  void SetUp() override {
    PathTrustTest::SetUp();
    state_ = make_dir("state", 0700);
    runtime_ = make_dir("run", 0700);
    configuration_.network.database_path = state_ + "/store.sqlite3";
    configuration_.control_socket = runtime_ + "/control.sock";
  }

  std::string inspection() const {
    return outcome(validate_inspection_paths(configuration_, state_));
  }
  std::string resident() const { return outcome(validate_paths(configuration_, state_, runtime_)); }

  std::string state_;
  std::string runtime_;
  Configuration configuration_;
};

TEST_F(StateLayoutTest, DatabaseMayBeAbsentOnlyForTheResidentMode) {
  EXPECT_EQ(resident(), "ok");
  EXPECT_EQ(inspection(), NO_SUCH_FILE);
  make_file("state/store.sqlite3", 0600);
  make_file("state/store.sqlite3-wal", 0600);
  make_file("state/store.sqlite3-shm", 0600);
  make_file("state/store.resident-lock", 0600);
  EXPECT_EQ(resident(), "ok");
  EXPECT_EQ(inspection(), "ok");
}

TEST_F(StateLayoutTest, CompanionFilesAreChecked) {
  if (!running_as_root()) GTEST_SKIP() << NEEDS_ROOT;
  make_file("state/store.sqlite3", 0600);
  struct Case {
    std::string name;
    std::string inspection;
    std::string resident;
  };
  const std::vector<Case> cases = {
      {"store.sqlite3-wal", UNTRUSTED_FILE, UNTRUSTED_FILE},
      {"store.sqlite3-shm", UNTRUSTED_FILE, UNTRUSTED_FILE},
      // The inspection takes no lock, so it does not look at the lock file.
      {"store.resident-lock", "ok", UNTRUSTED_FILE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string companion = make_file("state/" + c.name, 0600, OTHER_USER);
    EXPECT_EQ(inspection(), c.inspection);
    EXPECT_EQ(resident(), c.resident);
    ASSERT_EQ(::unlink(companion.c_str()), 0);
  }
  // A hard-linked write-ahead log would let another name rewrite the store's log.
  make_file("state/store.sqlite3-wal", 0600);
  ASSERT_EQ(::link(path("state/store.sqlite3-wal").c_str(), path("wal-twin").c_str()), 0);
  EXPECT_EQ(resident(), UNTRUSTED_FILE);
}

TEST_F(StateLayoutTest, DatabaseMustBeDirectChildOfStateDirectory) {
  make_dir("state/sub", 0700);
  make_file("state/sub/store.sqlite3", 0600);
  configuration_.network.database_path = state_ + "/sub/store.sqlite3";
  EXPECT_EQ(inspection(), DATABASE_CHILD);
  EXPECT_EQ(resident(), DATABASE_CHILD);
  configuration_.network.database_path = runtime_ + "/store.sqlite3";
  EXPECT_EQ(resident(), DATABASE_CHILD);
  configuration_.network.database_path = state_;
  EXPECT_EQ(resident(), DATABASE_CHILD);
  configuration_.network.database_path = "store.sqlite3";
  EXPECT_EQ(resident(), LEXICAL);
}

TEST_F(StateLayoutTest, RuntimeDirectoryMustBePrivateStateDirectoryNeedNot) {
  ASSERT_EQ(::chmod(state_.c_str(), 0750), 0);
  make_file("state/store.sqlite3", 0600);
  EXPECT_EQ(inspection(), "ok");
  EXPECT_EQ(resident(), "ok");
  ASSERT_EQ(::chmod(runtime_.c_str(), 0750), 0);
  EXPECT_EQ(resident(), DECLARED);
  // The store is examined before the runtime directory.
  ASSERT_EQ(::chmod(path("state/store.sqlite3").c_str(), 0660), 0);
  EXPECT_EQ(resident(), UNTRUSTED_FILE);
}

TEST_F(StateLayoutTest, ControlSocketPath) {
  struct Case {
    std::string name;
    std::function<void()> build;
    std::string expected;
  };
  const std::string socket = configuration_.control_socket;
  const std::vector<Case> cases = {
      {"nothing there", [] {}, "ok"},
      {"leftover private socket", [&] { make_socket("run/control.sock", 0600); }, "ok"},
      {"group-accessible socket", [&] { make_socket("run/control.sock", 0660); }, SOCKET_OBJECT},
      {"regular file", [&] { make_file("run/control.sock", 0600); }, SOCKET_OBJECT},
      {"directory", [&] { make_dir("run/control.sock", 0700); }, SOCKET_OBJECT},
      {"link to a private socket",
       [&] {
         make_socket("run/real.sock", 0600);
         make_link("run/control.sock", "real.sock");
       },
       SOCKET_OBJECT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.build();
    EXPECT_EQ(resident(), c.expected);
    std::filesystem::remove(socket);
  }
}

TEST_F(StateLayoutTest, ControlSocketMustBeDirectChildOfRuntimeDirectory) {
  configuration_.control_socket = state_ + "/control.sock";
  EXPECT_EQ(resident(), SOCKET_CHILD);
  configuration_.control_socket = runtime_;
  EXPECT_EQ(resident(), SOCKET_CHILD);
  configuration_.control_socket = runtime_ + "//control.sock";
  EXPECT_EQ(resident(), LEXICAL);
}

TEST_F(StateLayoutTest, ControlSocketOfAnotherUserRefused) {
  if (!running_as_root()) GTEST_SKIP() << NEEDS_ROOT;
  make_socket("run/control.sock", 0600, OTHER_USER);
  EXPECT_EQ(resident(), SOCKET_OBJECT);
}

// Runs `check` in a child process whose user and group are 65534, so that
// root and the current user are different owners; returns its outcome.
std::string outcome_as_other_user(const std::function<Check()>& check) {
  int fds[2];
  if (::pipe(fds) != 0) return std::string("pipe: ") + std::strerror(errno);
  const pid_t pid = ::fork();
  if (pid < 0) return std::string("fork: ") + std::strerror(errno);
  if (pid == 0) {
    ::close(fds[0]);
    const bool dropped = ::setgroups(0, nullptr) == 0 &&
                         ::setresgid(OTHER_USER, OTHER_USER, OTHER_USER) == 0 &&
                         ::setresuid(OTHER_USER, OTHER_USER, OTHER_USER) == 0;
    const std::string text = dropped ? outcome(check()) : "could not become uid 65534";
    std::size_t written = 0;
    while (written < text.size()) {
      const ssize_t n = ::write(fds[1], text.data() + written, text.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return text;
}

// Here the current user is 65534, so the tree is built with the opposite
// roles: the state directory belongs to 65534 and the planted files to root.
class OtherUserTest : public PathTrustTest {
 protected:
  void SetUp() override {
    PathTrustTest::SetUp();
    if (!running_as_root()) GTEST_SKIP() << NEEDS_ROOT;
    ASSERT_EQ(::chmod(base_.c_str(), 0755), 0);
    state_ = make_dir("state", 0755, OTHER_USER);
    database_ = state_ + "/store.sqlite3";
  }

  std::string state_;
  std::string database_;
};

TEST_F(OtherUserTest, RootOwnedFilesCountOnlyWhereTheyMustExist) {
  make_dir("etc", 0755);
  const std::string config = make_file("etc/config.json", 0644);
  EXPECT_EQ(outcome_as_other_user([&] { return trusted_file(config, false); }), "ok");
  EXPECT_EQ(outcome_as_other_user([&] { return trusted_file(config, true); }), UNTRUSTED_FILE);

  make_file("state/store.sqlite3", 0644);
  EXPECT_EQ(outcome_as_other_user([&] { return validate_state_paths(database_, state_, false); }),
            "ok");
  EXPECT_EQ(outcome_as_other_user([&] { return validate_state_paths(database_, state_, true); }),
            UNTRUSTED_FILE);
}

TEST_F(OtherUserTest, RootOwnedWriteAheadLogRefusedInEveryMode) {
  make_file("state/store.sqlite3", 0644, OTHER_USER);
  make_file("state/store.sqlite3-wal", 0644);
  EXPECT_EQ(outcome_as_other_user([&] { return validate_state_paths(database_, state_, false); }),
            UNTRUSTED_FILE);
  EXPECT_EQ(outcome_as_other_user([&] { return validate_state_paths(database_, state_, true); }),
            UNTRUSTED_FILE);
}

TEST_F(OtherUserTest, OwnershipRulesSeparateRootFromCurrentUser) {
  // Root may own the chain but not a declared directory.
  const std::string root_dir = make_dir("root-dir", 0755);
  EXPECT_EQ(outcome_as_other_user([&] { return ancestors(root_dir); }), "ok");
  EXPECT_EQ(outcome_as_other_user([&] { return directory(root_dir, false); }), DECLARED);
  // Only a sticky directory that root owns may be writable by others.
  const std::string own_shared = make_dir("state/shared", 01777, OTHER_USER);
  EXPECT_EQ(outcome_as_other_user([&] { return ancestors(own_shared); }), CHAIN_WRITABLE);
  // A chain the current user may not search fails with the system's error.
  make_dir("closed", 0700);
  const std::string hidden = path("closed/state");
  EXPECT_EQ(outcome_as_other_user([&] { return ancestors(hidden); }),
            "Permission denied (os error 13)");
  // A file that cannot be looked at is not a file that is absent.
  const std::string unreadable = path("closed/store.sqlite3-wal");
  EXPECT_EQ(outcome_as_other_user([&] { return trusted_file(unreadable, true); }),
            "Permission denied (os error 13)");
}

}  // namespace
}  // namespace corvane_manager_resident_lab::cli
