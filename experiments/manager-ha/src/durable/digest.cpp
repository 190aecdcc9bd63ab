#include "durable/digest.h"

#include <openssl/evp.h>

#include <array>
#include <cstdlib>

namespace corvane_manager_ha_lab::durable {

std::string digest(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
  unsigned int length = 0;
  // A one-shot SHA-256 fails only when OpenSSL cannot allocate its context;
  // a process that cannot hash cannot keep its store honest, so it stops.
  if (EVP_Digest(bytes.data(), bytes.size(), md.data(), &length, EVP_sha256(), nullptr) != 1) {
    std::abort();
  }
  return lower_hex(std::string_view(reinterpret_cast<const char*>(md.data()), length));
}

std::string lower_hex(std::string_view bytes) {
  static constexpr std::string_view DIGITS = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += DIGITS[byte >> 4];
    out += DIGITS[byte & 0x0f];
  }
  return out;
}

}  // namespace corvane_manager_ha_lab::durable
