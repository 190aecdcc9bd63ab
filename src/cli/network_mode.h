// The CORVANE_MANAGER_NETWORK_MODE switch, read with two strengths: the
// lenient check lets the configuration check run with networking unset or
// disabled; the strict check lets the resident mode start only when
// networking is explicitly enabled. Values are compared byte for byte.
//
// The `*_value` forms are pure; the others read the environment.
#ifndef CORVANE_MANAGERD_CLI_NETWORK_MODE_H
#define CORVANE_MANAGERD_CLI_NETWORK_MODE_H

#include <expected>
#include <optional>
#include <string>

namespace corvane_manager_resident_lab::cli {

inline constexpr const char* NETWORK_MODE_VARIABLE = "CORVANE_MANAGER_NETWORK_MODE";

std::expected<void, std::string> lenient_network_mode_value(const std::optional<std::string>& value);
std::expected<void, std::string> strict_network_mode_value(const std::optional<std::string>& value);

// The current value of CORVANE_MANAGER_NETWORK_MODE, if set.
std::optional<std::string> network_mode_from_environment();

std::expected<void, std::string> lenient_network_mode();
std::expected<void, std::string> require_network_mode();

}  // namespace corvane_manager_resident_lab::cli

#endif
