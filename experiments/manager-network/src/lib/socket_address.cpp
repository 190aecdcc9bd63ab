#include "lib/socket_address.h"

#include <arpa/inet.h>

#include <cstring>

namespace corvane_manager_network_lab {

namespace {

std::optional<std::uint16_t> parse_port(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<SocketAddress> SocketAddress::parse(std::string_view text) {
  SocketAddress result;
  std::string host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return std::nullopt;
    }
    host = std::string(text.substr(1, close - 1));
    port = text.substr(close + 2);
    result.ipv6 = true;
    if (inet_pton(AF_INET6, host.c_str(), result.address.data()) != 1) return std::nullopt;
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = std::string(text.substr(0, colon));
    port = text.substr(colon + 1);
    if (inet_pton(AF_INET, host.c_str(), result.address.data()) != 1) return std::nullopt;
  }
  // inet_pton stops at a NUL; the text must not hide one.
  if (host.find('\0') != std::string::npos) return std::nullopt;
  const auto parsed_port = parse_port(port);
  if (!parsed_port) return std::nullopt;
  result.port = *parsed_port;
  return result;
}

std::string SocketAddress::text() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  inet_ntop(ipv6 ? AF_INET6 : AF_INET, address.data(), buffer, sizeof buffer);
  const std::string host = ipv6 ? "[" + std::string(buffer) + "]" : std::string(buffer);
  return host + ":" + std::to_string(port);
}

socklen_t SocketAddress::to_sockaddr(sockaddr_storage& out) const {
  std::memset(&out, 0, sizeof out);
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&out);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    std::memcpy(&a->sin6_addr, address.data(), 16);
    return sizeof(sockaddr_in6);
  }
  auto* a = reinterpret_cast<sockaddr_in*>(&out);
  a->sin_family = AF_INET;
  a->sin_port = htons(port);
  std::memcpy(&a->sin_addr, address.data(), 4);
  return sizeof(sockaddr_in);
}

}  // namespace corvane_manager_network_lab

namespace corvane_manager_ha_lab::json {

std::expected<corvane_manager_network_lab::SocketAddress, Error>
Codec<corvane_manager_network_lab::SocketAddress>::read(const Value& v) {
  if (!v.is(Kind::String)) return std::unexpected(type_error(v, "a socket address string"));
  auto parsed = corvane_manager_network_lab::SocketAddress::parse(v.text);
  if (!parsed) {
    return std::unexpected(Error{"invalid socket address " + quote(v.text) +
                                     ", expected a.b.c.d:port or [ipv6]:port",
                                 v.position});
  }
  return *parsed;
}

void Codec<corvane_manager_network_lab::SocketAddress>::write(
    Writer& w, const corvane_manager_network_lab::SocketAddress& address) {
  w.string(address.text());
}

}  // namespace corvane_manager_ha_lab::json
