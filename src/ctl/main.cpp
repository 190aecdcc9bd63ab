// corvane-managerctl: sends one request to a replica's control socket and
// prints the daemon's answer, for operators and scripts.
//
// Single-threaded; one connection per run.
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <expected>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "durable/os_error.h"
#include "json_record.h"
#include "lib/control.h"

namespace {

namespace json = corvane_manager_ha_lab::json;
using corvane_manager_ha_lab::durable::os_error_text;
using corvane_manager_resident_lab::AppendObservationRequest;
using corvane_manager_resident_lab::Control;
using corvane_manager_resident_lab::ShutdownRequest;
using corvane_manager_resident_lab::StatusRequest;

constexpr const char* USAGE =
    "usage: corvane-managerctl --socket PATH status\n"
    "       corvane-managerctl --socket PATH shutdown\n"
    "       corvane-managerctl --socket PATH append --operation-id ID --scope S --subject S "
    "--value V\n"
    "\n"
    "Sends one request to a corvane-managerd control socket and prints the answer\n"
    "followed by a newline. Exits 0 when an answer arrived, 1 when none did, 2 on\n"
    "a usage error.\n"
    "\n"
    "  status     the replica's status document\n"
    "  shutdown   asks the daemon to stop\n"
    "  append     appends one observation; only the configured observation writer\n"
    "             may do this. Retry an \"append_observation_uncertain\" answer with\n"
    "             the same --operation-id.\n";

// How long to wait for the answer. The daemon answers within a quarter of a
// second once it accepts the connection, but it serves one client at a time.
constexpr int ANSWER_WAIT_SECONDS = 10;

struct Invocation {
  std::string socket;
  Control control;
};

std::expected<Invocation, std::string> parse(const std::vector<std::string>& arguments) {
  std::optional<std::string> socket;
  std::optional<std::string> command;
  std::map<std::string, std::string> values;
  const std::vector<std::string> append_flags = {"--operation-id", "--scope", "--subject",
                                                 "--value"};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool takes_value = a == "--socket" || std::find(append_flags.begin(), append_flags.end(),
                                                          a) != append_flags.end();
    if (takes_value) {
      if (i + 1 == arguments.size()) return std::unexpected(a + " needs a value");
      const std::string& value = arguments[++i];
      if (a == "--socket") {
        if (socket) return std::unexpected(std::string("--socket given twice"));
        socket = value;
      } else if (!values.emplace(a, value).second) {
        return std::unexpected(a + " given twice");
      }
    } else if (a == "status" || a == "shutdown" || a == "append") {
      if (command) return std::unexpected(std::string("only one command per run"));
      command = a;
    } else {
      return std::unexpected("unknown argument " + json::quote(a));
    }
  }
  if (!socket) return std::unexpected(std::string("--socket required"));
  if (!command) return std::unexpected(std::string("a command is required"));
  if (*command != "append") {
    if (!values.empty()) return std::unexpected(values.begin()->first + " belongs to append");
    if (*command == "status") return Invocation{*socket, Control{StatusRequest{}}};
    return Invocation{*socket, Control{ShutdownRequest{}}};
  }
  for (const auto& flag : append_flags) {
    if (!values.contains(flag)) return std::unexpected("append needs " + flag);
  }
  return Invocation{*socket,
                    Control{AppendObservationRequest{values["--operation-id"], values["--scope"],
                                                     values["--subject"], values["--value"]}}};
}

std::unexpected<std::string> os_failure(const std::string& what) {
  return std::unexpected(what + ": " + os_error_text(errno));
}

// Sends the request, closes the sending side, and collects the answer.
std::expected<std::string, std::string> ask_daemon(const std::string& path,
                                                   const std::string& request) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return std::unexpected(std::string("socket path too long"));
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return os_failure("socket");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return os_failure("cannot connect to " + path);
  }
  const timeval wait{ANSWER_WAIT_SECONDS, 0};
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait) != 0) {
    return os_failure("setsockopt");
  }
  std::string_view rest = request;
  while (!rest.empty()) {
    const ssize_t sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return os_failure("cannot send the request");
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }
  if (::shutdown(fd, SHUT_WR) != 0) return os_failure("shutdown");
  std::string answer;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      return os_failure("cannot read the answer");
    }
    if (got == 0) break;
    answer.append(buffer, static_cast<std::size_t>(got));
  }
  if (answer.empty()) return std::unexpected(std::string("no answer from the daemon"));
  return answer;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::cout << USAGE;
    return 0;
  }
  auto invocation = parse(arguments);
  if (!invocation) {
    std::cerr << "corvane-managerctl: " << invocation.error() << "\n\n" << USAGE;
    return 2;
  }
  auto answer = ask_daemon(invocation->socket, json::to_json(invocation->control));
  if (!answer) {
    std::cerr << "corvane-managerctl: " << answer.error() << '\n';
    return 1;
  }
  std::cout << *answer << '\n' << std::flush;
  return 0;
}
