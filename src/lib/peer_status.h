// The replication state of one configured peer as the status document
// reports it, and the signed 128-bit count its history delta needs (the
// difference of two unsigned 64-bit lengths does not fit 64 bits).
//
// Plain values; safe to copy and to share read-only between threads.
#ifndef CORVANE_MANAGERD_PEER_STATUS_H
#define CORVANE_MANAGERD_PEER_STATUS_H

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "json_record.h"

namespace corvane_manager_resident_lab {

__extension__ typedef __int128 Int128;

// The decimal text of `value`, with a leading '-' when negative.
std::string int128_text(Int128 value);

struct PeerStatus {
  std::uint64_t authenticated_successes = 0;
  std::uint64_t failures = 0;
  std::optional<std::uint64_t> last_success_age_ms;
  std::optional<std::uint64_t> acknowledged_history_len;
  std::optional<std::uint64_t> local_history_len_at_attempt;
  std::optional<Int128> history_count_delta;
  std::string outcome = "unknown";
  std::uint64_t next_attempt_in_ms = 0;

  friend bool operator==(const PeerStatus&, const PeerStatus&) = default;
};

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Codec<corvane_manager_resident_lab::Int128> {
  static std::expected<corvane_manager_resident_lab::Int128, Error> read(const Value& v);
  static void write(Writer& w, corvane_manager_resident_lab::Int128 value);
};

template <>
struct Record<corvane_manager_resident_lab::PeerStatus> {
  using S = corvane_manager_resident_lab::PeerStatus;
  static constexpr std::string_view name = "PeerStatus";
  static constexpr auto fields =
      std::tuple{field("authenticated_successes", &S::authenticated_successes),
                 field("failures", &S::failures),
                 field("last_success_age_ms", &S::last_success_age_ms),
                 field("acknowledged_history_len", &S::acknowledged_history_len),
                 field("local_history_len_at_attempt", &S::local_history_len_at_attempt),
                 field("history_count_delta", &S::history_count_delta),
                 field("outcome", &S::outcome),
                 field("next_attempt_in_ms", &S::next_attempt_in_ms)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
