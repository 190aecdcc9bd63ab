#include "lib/configuration.h"

#include <sys/stat.h>

#include <cerrno>

#include "cli/path_trust.h"
#include "durable/os_error.h"
#include "replica.h"

namespace corvane_manager_resident_lab {

namespace {

std::unexpected<std::string> fail(const char* message) { return std::unexpected(std::string(message)); }

bool token_byte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
         c == '.' || c == ':' || c == '_';
}

bool segment_ok(std::string_view segment) {
  if (segment.empty() || segment == "." || segment == "..") return false;
  for (const char c : segment) {
    if (!token_byte(c)) return false;
  }
  return true;
}

}  // namespace

std::expected<Configuration, std::string> Configuration::read(std::string_view text) {
  auto parsed = corvane_manager_ha_lab::json::from_json<Configuration>(text);
  if (!parsed) return std::unexpected(parsed.error().text());
  return std::move(*parsed);
}

std::expected<void, std::string> validate_control_token(std::string_view text) {
  bool ok = !text.empty() && text.size() <= 128;
  for (const char c : text) ok = ok && token_byte(c);
  if (!ok) return fail("control token must be 1-128 safe ASCII characters");
  return {};
}

std::expected<void, std::string> validate_control_scope(std::string_view text) {
  bool ok = !text.empty() && text.size() <= 128;
  std::size_t start = 0;
  while (ok) {
    const std::size_t slash = text.find('/', start);
    const std::string_view segment = text.substr(start, slash == std::string_view::npos ? text.npos : slash - start);
    ok = segment_ok(segment);
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (!ok) return fail("control scope must be a bounded safe hierarchical token");
  return {};
}

std::expected<void, std::string> Configuration::validate_inspection(const Configuration& configuration) {
  const auto& manager = configuration.network.manager;
  if (auto ok = validate_control_token(manager.logical_manager_id); !ok) return ok;
  for (const auto& replica : manager.replicas) {
    if (auto ok = validate_control_token(replica.replica_id); !ok) return ok;
    if (auto ok = validate_control_token(replica.host_id); !ok) return ok;
  }
  for (const auto& grant : manager.grants) {
    if (auto ok = validate_control_scope(grant.scope); !ok) return ok;
    if (auto ok = validate_control_token(grant.owner_replica_id); !ok) return ok;
  }
  auto topology = manager.topology();
  if (!topology) return std::unexpected(topology.error());
  auto replica = topology->instantiate(configuration.network.replica_id);
  if (!replica) return std::unexpected(replica.error());
  return {};
}

std::expected<void, std::string> Configuration::validate(const Configuration& configuration) {
  if (auto ok = validate_inspection(configuration); !ok) return ok;
  if (auto ok = configuration.network.validate(); !ok) return std::unexpected(ok.error().text());
  const bool limits_ok =
      configuration.interval_ms >= 100 && configuration.interval_ms <= 60'000 &&
      configuration.interval_ms <= configuration.max_backoff_ms &&
      configuration.max_backoff_ms <= 300'000 && configuration.incoming_workers >= 1 &&
      configuration.incoming_workers <= 8 && configuration.network.peers.size() <= 15;
  if (!limits_ok) return fail("invalid interval, backoff, workers or peer count");
  if (!configuration.network.database_path.starts_with('/')) {
    return fail("database requires a bounded absolute local path");
  }
  const std::string& socket = configuration.control_socket;
  if (!socket.starts_with('/') || socket.size() > 100) {
    return fail("control socket requires a bounded absolute local path");
  }
  bool ports_ok = configuration.network.bind.port != 0;
  for (const auto& peer : configuration.network.peers) ports_ok = ports_ok && peer.endpoint.port != 0;
  if (!ports_ok) return fail("static endpoints require nonzero ports");
  const auto parent = cli::parent_directory(socket);
  if (!parent) return fail("socket has no parent");
  struct stat status {};
  if (::lstat(parent->c_str(), &status) != 0) {
    return std::unexpected(corvane_manager_ha_lab::durable::os_error_text(errno));
  }
  if (!S_ISDIR(status.st_mode) || (status.st_mode & 0077) != 0) {
    return fail("control socket parent must be a private directory");
  }
  return {};
}

}  // namespace corvane_manager_resident_lab
