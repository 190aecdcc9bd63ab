#include "lib/configuration_file.h"

#include <set>

#include "lib/pair_key.h"
#include "replica.h"

namespace corvane_manager_network_lab {

std::expected<void, Error> ConfigurationFile::validate() const {
  auto topology = manager.topology();
  if (!topology) return std::unexpected(Error::refused(topology.error()));
  if (auto local = topology->instantiate(replica_id); !local) {
    return std::unexpected(Error::refused(local.error()));
  }
  if (peers.size() + 1 != topology->replicas.size()) {
    return std::unexpected(
        Error::refused("every other configured manager replica must have exactly one peer entry"));
  }
  std::set<std::string> seen_ids{replica_id};
  std::set<std::string> seen_keys;
  for (const Peer& peer : peers) {
    if (auto replica = topology->instantiate(peer.replica_id); !replica) {
      return std::unexpected(Error::refused(replica.error()));
    }
    if (!seen_ids.insert(peer.replica_id).second) {
      return std::unexpected(Error::refused("peer identities must be distinct and non-local"));
    }
    auto key = parse_key(peer.shared_key_hex);
    if (!key) return std::unexpected(key.error());
    // After the digit check the text is already lowercase.
    if (!seen_keys.insert(peer.shared_key_hex).second) {
      return std::unexpected(Error::refused("each local peer must use a distinct pair key"));
    }
  }
  return {};
}

}  // namespace corvane_manager_network_lab
