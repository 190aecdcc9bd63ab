// The daemon configuration file: the replica's network configuration plus the
// control socket, the permitted observation writer and the timing and
// concurrency limits.
//
// Read once at start-up and never changed; workers get their own copies.
#ifndef CORVANE_MANAGERD_CONFIGURATION_H
#define CORVANE_MANAGERD_CONFIGURATION_H

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <tuple>

#include "json_record.h"
#include "lib/configuration_file.h"

namespace corvane_manager_resident_lab {

struct Configuration {
  corvane_manager_network_lab::ConfigurationFile network;
  std::string control_socket;
  std::uint32_t observation_writer_uid = 0;
  std::uint64_t interval_ms = 0;
  std::uint64_t max_backoff_ms = 0;
  std::uint64_t incoming_workers = 0;

  // Parses the configuration file's contents; the error is the reader's
  // message with the member, line and column.
  static std::expected<Configuration, std::string> read(std::string_view text);

  // Identities, scopes, topology and the local replica: enough to inspect a store.
  static std::expected<void, std::string> validate_inspection(const Configuration& configuration);

  // Everything the configuration check and the resident mode require.
  static std::expected<void, std::string> validate(const Configuration& configuration);

  friend bool operator==(const Configuration&, const Configuration&) = default;
};

// 1 to 128 bytes of ASCII letters, digits, '-', '.', ':' and '_'.
std::expected<void, std::string> validate_control_token(std::string_view text);

// Tokens joined by single '/', none of them "." or "..", at most 128 bytes.
std::expected<void, std::string> validate_control_scope(std::string_view text);

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Record<corvane_manager_resident_lab::Configuration> {
  using C = corvane_manager_resident_lab::Configuration;
  static constexpr std::string_view name = "Configuration";
  static constexpr auto fields =
      std::tuple{field("network", &C::network), field("control_socket", &C::control_socket),
                 field("observation_writer_uid", &C::observation_writer_uid),
                 field("interval_ms", &C::interval_ms), field("max_backoff_ms", &C::max_backoff_ms),
                 field("incoming_workers", &C::incoming_workers)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
