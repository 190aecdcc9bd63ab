// The replica's network configuration: who it is, where its store lives, the
// declared group, where it listens and its statically configured peers with
// their pair keys. It is the `network` object of the daemon configuration.
//
// Plain values; safe to copy and to share read-only between threads.
#ifndef CORVANE_MANAGER_NETWORK_CONFIGURATION_FILE_H
#define CORVANE_MANAGER_NETWORK_CONFIGURATION_FILE_H

#include <string>
#include <tuple>
#include <vector>

#include "json_record.h"
#include "lib/error.h"
#include "lib/socket_address.h"
#include "topology.h"

namespace corvane_manager_network_lab {

class Node;

struct Peer {
  std::string replica_id;
  SocketAddress endpoint;
  std::string shared_key_hex;  // 64 lowercase hex digits; decoded only when used

  friend bool operator==(const Peer&, const Peer&) = default;
};

struct ConfigurationFile {
  std::string replica_id;
  std::string database_path;
  corvane_manager_ha_lab::durable::Configuration manager;
  SocketAddress bind;
  std::vector<Peer> peers;

  // The peer rules: one entry for every other declared replica, distinct
  // non-local identities, well-formed and distinct pair keys. Pure.
  std::expected<void, Error> validate() const;

  // Validates, then opens the store: the node this configuration describes.
  // The configuration is not consumed; the node holds copies.
  std::expected<Node, Error> open() const;

  friend bool operator==(const ConfigurationFile&, const ConfigurationFile&) = default;
};

}  // namespace corvane_manager_network_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Record<corvane_manager_network_lab::Peer> {
  using Peer = corvane_manager_network_lab::Peer;
  static constexpr std::string_view name = "Peer";
  static constexpr auto fields = std::tuple{field("replica_id", &Peer::replica_id),
                                            field("endpoint", &Peer::endpoint),
                                            field("shared_key_hex", &Peer::shared_key_hex)};
};

template <>
struct Record<corvane_manager_network_lab::ConfigurationFile> {
  using File = corvane_manager_network_lab::ConfigurationFile;
  static constexpr std::string_view name = "ConfigurationFile";
  static constexpr auto fields =
      std::tuple{field("replica_id", &File::replica_id), field("database_path", &File::database_path),
                 field("manager", &File::manager), field("bind", &File::bind),
                 field("peers", &File::peers)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
