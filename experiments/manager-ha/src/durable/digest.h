// The store's one hash: SHA-256 as 64 lowercase hexadecimal characters.
//
// Every digest stored or compared by the store and the audit code is made
// here. Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_DIGEST_H
#define CORVANE_MANAGER_HA_DURABLE_DIGEST_H

#include <string>
#include <string_view>

namespace corvane_manager_ha_lab::durable {

// The SHA-256 of `bytes` (a text's UTF-8 bytes) in lowercase hexadecimal.
std::string digest(std::string_view bytes);

// `bytes` written as two lowercase hexadecimal digits each, high nibble first.
std::string lower_hex(std::string_view bytes);

}  // namespace corvane_manager_ha_lab::durable

#endif
