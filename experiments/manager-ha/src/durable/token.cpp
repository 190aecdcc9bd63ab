#include "durable/token.h"

#include <algorithm>

namespace corvane_manager_ha_lab::durable {

namespace {

bool token_byte(char c, bool allow_slash) {
  const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return alnum || c == '-' || c == '.' || c == ':' || c == '_' || (allow_slash && c == '/');
}

}  // namespace

bool is_token(std::string_view text, bool allow_slash) {
  return !text.empty() && text.size() <= MAX_TOKEN_BYTES &&
         std::ranges::all_of(text, [&](char c) { return token_byte(c, allow_slash); });
}

std::expected<void, DurableError> validate_token(std::string_view text) {
  if (!is_token(text)) return std::unexpected(DurableError::refused(RefusalReason::InvalidRequest));
  return {};
}

std::expected<void, DurableError> validate_optional_token(const std::optional<std::string>& text) {
  if (!text) return {};
  return validate_token(*text);
}

}  // namespace corvane_manager_ha_lab::durable
