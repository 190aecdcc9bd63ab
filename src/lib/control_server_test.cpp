#include "lib/control_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lib/file_descriptor.h"

namespace corvane_manager_resident_lab {
namespace {

// One control exchange over a socket pair: the client half sends `request`
// and shuts down its sending side before the server half is served.
std::string exchange(const std::string& request, const ControlContext& context) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return "<socketpair>";
  FileDescriptor client(pair[0]);
  FileDescriptor server(pair[1]);
  if (::send(client.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return "<send>";
  }
  ::shutdown(client.get(), SHUT_WR);
  if (!serve_control_connection(server.get(), Clock::now(), context)) return "<serve>";
  server.reset();
  std::string response;
  char buffer[4096];
  for (ssize_t got; (got = ::recv(client.get(), buffer, sizeof buffer, 0)) > 0;) {
    response.append(buffer, static_cast<std::size_t>(got));
  }
  return response;
}

TEST(ControlServer, AnswersLongerThanTheBoundAreReplaced) {
  Configuration configuration;
  configuration.observation_writer_uid = ::geteuid();
  auto shared = std::make_shared<Shared>(PeerEntries{});
  AppendWorkers pending;
  std::size_t length = 0;
  const AppendBody body = [&](const Configuration&, const AppendObservationRequest&) {
    return AppendCompletion{AppendStored{std::string(length, 'x')}};
  };
  const ControlContext context{configuration, shared, pending, body};
  const std::string append =
      R"({"operation":"append_observation","operation_id":"op","scope":"s","subject":"d",)"
      R"("value":"v"})";

  length = 32'768;
  EXPECT_EQ(exchange(append, context), std::string(32'768, 'x'));
  length = 32'769;
  EXPECT_EQ(exchange(append, context), R"({"error":"control response exceeds bound"})");
}

TEST(ControlServer, ShutdownSetsTheStopFlagAndSaysSo) {
  Configuration configuration;
  auto shared = std::make_shared<Shared>(PeerEntries{});
  AppendWorkers pending;
  const AppendBody unused;
  const ControlContext context{configuration, shared, pending, unused};
  EXPECT_EQ(exchange(R"({"operation":"status","x":1})", context),
            R"({"error":"invalid typed control request"})");
  EXPECT_FALSE(shared->stop.load());
  EXPECT_EQ(exchange(R"(["shutdown"])", context), R"({"shutdown_requested":true})");
  EXPECT_TRUE(shared->stop.load());
}

}  // namespace
}  // namespace corvane_manager_resident_lab
