// Serving one accepted control connection: read one request within the
// connection's 250 ms deadline, answer it, and let the caller close it.
//
// Runs on the main thread only, one connection at a time, so every bound
// here also bounds how long peer accepts wait.
#ifndef CORVANE_MANAGERD_CONTROL_SERVER_H
#define CORVANE_MANAGERD_CONTROL_SERVER_H

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "lib/append.h"
#include "lib/configuration.h"
#include "lib/shared.h"

namespace corvane_manager_resident_lab {

// Reading and writing share one deadline this long after the accept.
inline constexpr std::chrono::milliseconds CONTROL_DEADLINE{250};
// Bytes asked for per read.
inline constexpr std::size_t CONTROL_READ_CHUNK = 257;

// Everything one control connection needs besides the socket.
struct ControlContext {
  const Configuration& configuration;
  const std::shared_ptr<Shared>& shared;
  AppendWorkers& pending_appends;
  const AppendBody& append_body;
};

// Reads until the client shuts down its sending side. Fails (with the
// reason, which the caller does not report) when the deadline passes,
// the request grows beyond CONTROL_BOUND, or a read fails.
std::expected<std::string, std::string> read_control_request(int connection,
                                                             Clock::time_point deadline);

// Writes all of `bytes` before the deadline, or fails.
std::expected<void, std::string> write_control(int connection, std::string_view bytes,
                                               Clock::time_point deadline);

// The user ID of the process at the other end of a Unix-domain connection.
std::expected<uid_t, std::string> peer_uid(int connection);

// The answer to one collected request.
std::string control_response(int connection, std::string_view request, Clock::time_point deadline,
                             const ControlContext& context);

// Serves the connection accepted at `accepted_at`. Fails only when the
// connection's initial timeouts cannot be set; that error stops the daemon.
std::expected<void, std::string> serve_control_connection(int connection,
                                                          Clock::time_point accepted_at,
                                                          const ControlContext& context);

}  // namespace corvane_manager_resident_lab

#endif
