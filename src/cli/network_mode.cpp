#include "cli/network_mode.h"

#include <cstdlib>

#include "cli/text.h"

namespace corvane_manager_resident_lab::cli {

namespace {
constexpr const char* ENABLED = "authenticated-static-peers";
constexpr const char* DISABLED = "disabled";
constexpr const char* UNSUPPORTED = "unsupported CORVANE_MANAGER_NETWORK_MODE";
constexpr const char* NOT_ENABLED =
    "runtime networking disabled; set CORVANE_MANAGER_NETWORK_MODE=authenticated-static-peers "
    "explicitly";

bool known(const std::string& value) {
  return is_valid_utf8(value) && (value == ENABLED || value == DISABLED);
}
}  // namespace

std::expected<void, std::string> lenient_network_mode_value(const std::optional<std::string>& value) {
  if (value && !known(*value)) return std::unexpected(std::string(UNSUPPORTED));
  return {};
}

std::expected<void, std::string> strict_network_mode_value(const std::optional<std::string>& value) {
  if (value && !known(*value)) return std::unexpected(std::string(UNSUPPORTED));
  if (!value || *value != ENABLED) return std::unexpected(std::string(NOT_ENABLED));
  return {};
}

std::optional<std::string> network_mode_from_environment() {
  const char* value = std::getenv(NETWORK_MODE_VARIABLE);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::expected<void, std::string> lenient_network_mode() {
  return lenient_network_mode_value(network_mode_from_environment());
}

std::expected<void, std::string> require_network_mode() {
  return strict_network_mode_value(network_mode_from_environment());
}

}  // namespace corvane_manager_resident_lab::cli
