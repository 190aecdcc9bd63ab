// The 32-byte key a pair of replicas shares, held everywhere as 64 lowercase
// hexadecimal digits and decoded only when a code is computed.
//
// Pure; safe from any thread.
#ifndef CORVANE_MANAGER_NETWORK_PAIR_KEY_H
#define CORVANE_MANAGER_NETWORK_PAIR_KEY_H

#include <array>
#include <cstdint>
#include <expected>
#include <string_view>

#include "lib/error.h"

namespace corvane_manager_network_lab {

using PairKey = std::array<std::uint8_t, 32>;

// Exactly 64 digits 0-9 and a-f; uppercase is refused.
bool is_pair_key_text(std::string_view hex);

std::expected<PairKey, Error> parse_key(std::string_view hex);

}  // namespace corvane_manager_network_lab

#endif
