// Event identities: origin replica, a colon, the sequence in 20 padded digits.
//
// Pure computation; safe from any thread.
#include "fact.h"

#include <cstdio>

namespace corvane_manager_ha_lab {

std::string event_id(std::string_view replica_id, std::uint64_t producer_sequence) {
  char digits[21];
  std::snprintf(digits, sizeof digits, "%020llu",
                static_cast<unsigned long long>(producer_sequence));
  std::string id(replica_id);
  id.push_back(':');
  id += digits;
  return id;
}

}  // namespace corvane_manager_ha_lab
