#include "lib/control_server.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

#include "durable/os_error.h"
#include "lib/status.h"

namespace corvane_manager_resident_lab {

namespace {

using corvane_manager_ha_lab::durable::os_error_text;

std::unexpected<std::string> os_failure() { return std::unexpected(os_error_text(errno)); }

// A socket timeout of `left`, rounded up to whole microseconds: a zero
// timeout would mean "wait forever".
timeval timeout_of(Clock::duration left) {
  auto us = std::chrono::ceil<std::chrono::microseconds>(left).count();
  if (us < 1) us = 1;
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(us / 1'000'000);
  tv.tv_usec = static_cast<suseconds_t>(us % 1'000'000);
  return tv;
}

std::expected<void, std::string> set_timeout(int connection, int option, Clock::duration left) {
  const timeval tv = timeout_of(left);
  if (::setsockopt(connection, SOL_SOCKET, option, &tv, sizeof tv) != 0) return os_failure();
  return {};
}

// The six checks of an append request, in order; any failure refuses it
// with the same answer, whichever check it was.
bool append_acceptable(int connection, const AppendObservationRequest& request,
                       const Configuration& configuration) {
  if (!validate_control_token(request.operation_id)) return false;
  // Identifiers with this prefix belong to imports over the peer network.
  if (request.operation_id.starts_with("network:")) return false;
  if (!validate_control_scope(request.scope)) return false;
  if (!validate_control_token(request.subject)) return false;
  if (request.value.empty() || request.value.size() > 4096) return false;
  const auto uid = peer_uid(connection);
  return uid && *uid == configuration.observation_writer_uid;
}

}  // namespace

std::expected<std::string, std::string> read_control_request(int connection,
                                                             Clock::time_point deadline) {
  std::string request;
  char buffer[CONTROL_READ_CHUNK];
  for (;;) {
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return std::unexpected(std::string("deadline passed"));
    if (auto ok = set_timeout(connection, SO_RCVTIMEO, left); !ok)
      return std::unexpected(ok.error());
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    if (got == 0) return request;
    request.append(buffer, static_cast<std::size_t>(got));
    if (request.size() > CONTROL_BOUND) return std::unexpected(std::string("request too long"));
  }
}

std::expected<void, std::string> write_control(int connection, std::string_view bytes,
                                               Clock::time_point deadline) {
  while (!bytes.empty()) {
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return std::unexpected(std::string("deadline passed"));
    if (auto ok = set_timeout(connection, SO_SNDTIMEO, left); !ok) return ok;
    const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    if (sent == 0) return std::unexpected(std::string("connection accepted no bytes"));
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return {};
}

std::expected<uid_t, std::string> peer_uid(int connection) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    return os_failure();
  }
  return credentials.uid;
}

std::string control_response(int connection, std::string_view request, Clock::time_point deadline,
                             const ControlContext& context) {
  auto control = Control::parse(request);
  if (!control) return std::string(INVALID_REQUEST);
  if (std::holds_alternative<StatusRequest>(control->request)) {
    return status_response(context.configuration, *context.shared, Clock::now());
  }
  if (std::holds_alternative<ShutdownRequest>(control->request)) {
    context.shared->stop.store(true);
    return std::string(SHUTDOWN_REQUESTED);
  }
  const auto& append = std::get<AppendObservationRequest>(control->request);
  if (!append_acceptable(connection, append, context.configuration)) {
    return std::string(APPEND_REFUSED);
  }
  return start_append_observation(context.configuration, context.shared, append, deadline,
                                  context.pending_appends, context.append_body);
}

std::expected<void, std::string> serve_control_connection(int connection,
                                                          Clock::time_point accepted_at,
                                                          const ControlContext& context) {
  const Clock::time_point deadline = accepted_at + CONTROL_DEADLINE;
  if (auto ok = set_timeout(connection, SO_RCVTIMEO, CONTROL_DEADLINE); !ok) return ok;
  if (auto ok = set_timeout(connection, SO_SNDTIMEO, CONTROL_DEADLINE); !ok) return ok;

  auto request = read_control_request(connection, deadline);
  std::string response = request ? control_response(connection, *request, deadline, context)
                                 : std::string(BOUND_EXCEEDED);
  if (response.size() > CONTROL_BOUND) response = std::string(RESPONSE_TOO_LONG);
  // The client learns nothing more if the answer cannot be written.
  (void)write_control(connection, response, deadline);
  return {};
}

}  // namespace corvane_manager_resident_lab
