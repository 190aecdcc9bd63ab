#include "lib/pair_key.h"

namespace corvane_manager_network_lab {

namespace {
int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool is_pair_key_text(std::string_view hex) {
  if (hex.size() != 64) return false;
  for (const char c : hex) {
    if (digit_value(c) < 0) return false;
  }
  return true;
}

std::expected<PairKey, Error> parse_key(std::string_view hex) {
  if (!is_pair_key_text(hex)) return std::unexpected(Error::refused("peer key must be a 32-byte hexadecimal value"));
  PairKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<std::uint8_t>(digit_value(hex[2 * i]) * 16 + digit_value(hex[2 * i + 1]));
  }
  return key;
}

}  // namespace corvane_manager_network_lab
