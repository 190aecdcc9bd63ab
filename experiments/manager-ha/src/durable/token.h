// The store's identifier rules: tokens (replica and wire operation
// identities handed to the store from outside) and the operation identifiers
// that key receipts.
//
// A token is 1 to 128 bytes, each an ASCII letter or digit or one of `-`,
// `.`, `:` and `_`. An Import's operation identifier may also hold `/`, so a
// caller can name imports by path-like keys; an Observe's may not.
//
// Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_TOKEN_H
#define CORVANE_MANAGER_HA_DURABLE_TOKEN_H

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

// The longest token or operation identifier, in bytes.
inline constexpr std::size_t MAX_TOKEN_BYTES = 128;

// Whether `text` follows the token rule, with `/` also allowed when
// `allow_slash` is set.
bool is_token(std::string_view text, bool allow_slash = false);

// Refused(invalid_request) unless `text` is a token.
std::expected<void, DurableError> validate_token(std::string_view text);

// Absent succeeds; present must be a token.
std::expected<void, DurableError> validate_optional_token(const std::optional<std::string>& text);

}  // namespace corvane_manager_ha_lab::durable

#endif
