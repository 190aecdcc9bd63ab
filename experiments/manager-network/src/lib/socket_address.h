// A numeric socket address as written in configuration files:
// "a.b.c.d:port" or "[ipv6]:port". Host names are not accepted.
//
// Plain value; safe to copy and share between threads.
#ifndef CORVANE_MANAGER_NETWORK_SOCKET_ADDRESS_H
#define CORVANE_MANAGER_NETWORK_SOCKET_ADDRESS_H

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json_record.h"

namespace corvane_manager_network_lab {

struct SocketAddress {
  bool ipv6 = false;
  std::array<std::uint8_t, 16> address{};  // IPv4 uses the first four bytes
  std::uint16_t port = 0;

  // Exactly the IPv4 and bracketed IPv6 forms with a decimal port.
  static std::optional<SocketAddress> parse(std::string_view text);

  std::string text() const;

  // The address for bind and connect; returns its length.
  socklen_t to_sockaddr(sockaddr_storage& out) const;

  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

}  // namespace corvane_manager_network_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Codec<corvane_manager_network_lab::SocketAddress> {
  static std::expected<corvane_manager_network_lab::SocketAddress, Error> read(const Value& v);
  static void write(Writer& w, const corvane_manager_network_lab::SocketAddress& address);
};

}  // namespace corvane_manager_ha_lab::json

#endif
