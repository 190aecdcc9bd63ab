#include "lib/run.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "cli/network_mode.h"
#include "cli/path_trust.h"
#include "durable/os_error.h"
#include "lib/append.h"
#include "lib/append_store.h"
#include "lib/control_server.h"
#include "lib/file_descriptor.h"
#include "lib/node.h"
#include "lib/replication.h"
#include "lib/shared.h"
#include "lib/worker_thread.h"

namespace corvane_manager_resident_lab {

namespace {

namespace net = corvane_manager_network_lab;
using corvane_manager_ha_lab::durable::os_error_text;

using Failure = std::unexpected<std::string>;
using ReplicationThread = WorkerThread<std::expected<void, std::string>>;

Failure os_failure() { return Failure(os_error_text(errno)); }

std::expected<void, std::string> set_nonblocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return os_failure();
  return {};
}

// Opens (creating if absent) and exclusively locks the lock file. It is
// created private: the start-up path checks refuse a lock file that group or
// others may write, whatever the umask was when it was made.
std::expected<FileDescriptor, std::string> lock_store(const std::string& lock_path) {
  FileDescriptor file(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file.valid()) return os_failure();
  while (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return os_failure();
  }
  return file;
}

std::expected<FileDescriptor, std::string> bind_peer_listener(const net::SocketAddress& bind) {
  FileDescriptor listener(::socket(bind.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return os_failure();
  const int on = 1;
  if (::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    return os_failure();
  }
  sockaddr_storage address{};
  const socklen_t length = bind.to_sockaddr(address);
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(listener.get(), PEER_LISTEN_BACKLOG) != 0) {
    return os_failure();
  }
  if (auto ok = set_nonblocking(listener.get()); !ok) return std::unexpected(ok.error());
  return listener;
}

// Binds the control socket. A file already at the path is never removed: a
// leftover makes the bind fail, and the operator decides what it was.
std::expected<FileDescriptor, std::string> bind_control_listener(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return Failure(os_error_text(ENAMETOOLONG));
  std::memcpy(address.sun_path, path.data(), path.size());
  FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return os_failure();
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), SOMAXCONN) != 0 || ::chmod(path.c_str(), 0600) != 0) {
    return os_failure();
  }
  if (auto ok = set_nonblocking(listener.get()); !ok) return std::unexpected(ok.error());
  return listener;
}

// One accepted connection, nothing pending, or the accept error.
std::expected<std::optional<FileDescriptor>, std::string> accept_one(int listener) {
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return std::optional<FileDescriptor>(FileDescriptor(fd));
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return std::optional<FileDescriptor>();
    return os_failure();
  }
}

// Decrements the count of inbound connections being served when the worker
// ends, however it ends.
class IncomingSlot {
 public:
  explicit IncomingSlot(Shared& shared) : shared_(shared) {}
  IncomingSlot(const IncomingSlot&) = delete;
  IncomingSlot& operator=(const IncomingSlot&) = delete;
  ~IncomingSlot() { shared_.active_incoming.fetch_sub(1); }

 private:
  Shared& shared_;
};

// One inbound peer connection on its own thread, with its own node (and so
// its own store connection). A node that cannot be opened ends the worker
// quietly: the peer only sees the connection close.
void serve_inbound(const net::ConfigurationFile& network, Shared& shared,
                   FileDescriptor connection) {
  const IncomingSlot slot(shared);
  auto node = network.open();
  if (!node) return;
  // The serving side of the peer protocol answers here once it exists;
  // until then the connection is closed after the node opened.
  connection.reset();
}

// Removes finished workers from `workers` (swapping the last one into the
// place of each) and joins them; returns how many ended abnormally.
template <class Result>
std::size_t reap_finished(std::vector<WorkerThread<Result>>& workers, bool stop_at_abnormal) {
  std::size_t abnormal = 0;
  for (std::size_t i = 0; i < workers.size();) {
    if (!workers[i].finished()) {
      ++i;
      continue;
    }
    WorkerThread<Result> done = std::move(workers[i]);
    if (i + 1 != workers.size()) workers[i] = std::move(workers.back());
    workers.pop_back();
    if (!done.join()) {
      ++abnormal;
      if (stop_at_abnormal) return abnormal;
    }
  }
  return abnormal;
}

// What the main thread owns while the daemon serves.
struct Daemon {
  const Configuration& configuration;
  std::shared_ptr<Shared> shared;
  FileDescriptor peer_listener;
  FileDescriptor control_listener;
  std::vector<WorkerThread<>> inbound;
  AppendWorkers appends;
  ReplicationThread replication;
};

std::expected<void, std::string> accept_inbound(Daemon& daemon) {
  auto accepted = accept_one(daemon.peer_listener.get());
  if (!accepted) return std::unexpected(accepted.error());
  if (!*accepted) return {};
  Shared& shared = *daemon.shared;
  if (daemon.inbound.size() >= daemon.configuration.incoming_workers) {
    shared.rejected_connections.fetch_add(1);
    return {};  // closed at once, unread
  }
  shared.enter_incoming();
  daemon.inbound.push_back(
      WorkerThread<>::spawn([network = daemon.configuration.network, shared = daemon.shared,
                             connection = std::move(**accepted)]() mutable {
        serve_inbound(network, *shared, std::move(connection));
      }));
  return {};
}

std::expected<void, std::string> accept_control(Daemon& daemon) {
  auto accepted = accept_one(daemon.control_listener.get());
  if (!accepted) return std::unexpected(accepted.error());
  if (!*accepted) return {};
  const Clock::time_point accepted_at = Clock::now();
  const AppendBody body = append_observation_store;
  const ControlContext context{daemon.configuration, daemon.shared, daemon.appends, body};
  return serve_control_connection((*accepted)->get(), accepted_at, context);
}

std::expected<void, std::string> accept_loop(Daemon& daemon) {
  Shared& shared = *daemon.shared;
  if (shared.stop.load()) return {};
  for (;;) {
    if (daemon.replication.finished()) {
      return Failure("replication worker stopped unexpectedly");
    }
    if (reap_finished(daemon.inbound, true) != 0) return Failure("incoming worker panicked");
    shared.append_worker_failures.fetch_add(reap_finished(daemon.appends, false));
    if (auto ok = accept_inbound(daemon); !ok) return ok;
    if (auto ok = accept_control(daemon); !ok) return ok;
    std::this_thread::sleep_for(ACCEPT_PASS_SLEEP);
    if (shared.stop.load()) return {};
  }
}

// Stops and joins everything, then picks the one result of the run.
std::expected<void, std::string> teardown(Daemon& daemon, std::expected<void, std::string> loop) {
  Shared& shared = *daemon.shared;
  shared.stop.exchange(true);
  daemon.control_listener.reset();
  daemon.peer_listener.reset();
  std::optional<std::string> unlink_error;
  if (::unlink(daemon.configuration.control_socket.c_str()) != 0)
    unlink_error = os_error_text(errno);

  bool inbound_abnormal = false;
  for (auto& worker : daemon.inbound) inbound_abnormal = !worker.join() || inbound_abnormal;
  daemon.inbound.clear();
  for (auto& worker : daemon.appends) {
    if (!worker.join()) shared.append_worker_failures.fetch_add(1);
  }
  daemon.appends.clear();
  auto replication = daemon.replication.join();

  if (unlink_error) return Failure(*unlink_error);
  if (inbound_abnormal) return Failure("incoming worker panicked");
  if (!replication) return Failure("outgoing worker panicked");
  if (!*replication) return Failure(replication->error());
  return loop;
}

}  // namespace

std::expected<void, std::string> run(Configuration configuration) {
  if (auto ok = cli::require_network_mode(); !ok) return ok;
  if (auto ok = Configuration::validate(configuration); !ok) return ok;
  auto lock = lock_store(cli::lock_file_path(configuration.network.database_path));
  if (!lock) return Failure(lock.error());
  std::optional<net::Node> node;
  if (auto opened = configuration.network.open(); opened) {
    node.emplace(std::move(*opened));
  } else {
    return Failure(opened.error().text());
  }
  auto peer_listener = bind_peer_listener(configuration.network.bind);
  if (!peer_listener) return Failure(peer_listener.error());
  auto control_listener = bind_control_listener(configuration.control_socket);
  if (!control_listener) return Failure(control_listener.error());

  auto shared =
      std::make_shared<Shared>(initial_peer_entries(configuration.network.peers, Clock::now()));
  auto replication = ReplicationThread::spawn(
      [copy = configuration, shared] { return synchronize(copy, shared); });
  Daemon daemon{configuration,
                shared,
                std::move(*peer_listener),
                std::move(*control_listener),
                {},
                {},
                std::move(replication)};
  auto loop = accept_loop(daemon);
  auto result = teardown(daemon, std::move(loop));
  // The node goes before the lock: nothing of this run touches the store
  // once the lock file is released.
  node.reset();
  lock->reset();
  return result;
}

}  // namespace corvane_manager_resident_lab
