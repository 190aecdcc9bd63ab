// The store's source of fresh randomness, read from "/dev/urandom".
//
// Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_RANDOM_H
#define CORVANE_MANAGER_HA_DURABLE_RANDOM_H

#include <expected>
#include <string>

#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

// 32 lowercase hexadecimal characters from 16 fresh random bytes; an I/O
// error is Storage with the system's text.
std::expected<std::string, DurableError> random_hex_16();

}  // namespace corvane_manager_ha_lab::durable

#endif
