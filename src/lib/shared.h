// The state every thread of the resident daemon shares: the peer table
// behind the daemon's one mutex, and lock-free counters and flags.
//
// Thread-safe. The peer table is reached only through `PeerTable::lock`; a
// holder that unwinds while holding it leaves the table poisoned, and every
// later `lock` then fails. Counters and flags use sequentially consistent
// atomics.
#ifndef CORVANE_MANAGERD_SHARED_H
#define CORVANE_MANAGERD_SHARED_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lib/configuration_file.h"
#include "lib/peer_status.h"

namespace corvane_manager_resident_lab {

using Clock = std::chrono::steady_clock;

// One peer's row: the reported status and the two instants the status
// document turns into ages.
struct PeerEntry {
  PeerStatus status;
  std::optional<Clock::time_point> last_success;
  Clock::time_point next_attempt;

  friend bool operator==(const PeerEntry&, const PeerEntry&) = default;
};

using PeerEntries = std::map<std::string, PeerEntry>;

inline constexpr const char* STATUS_LOCK_POISONED = "status lock poisoned";

class PeerTable {
 public:
  explicit PeerTable(PeerEntries entries) : entries_(std::move(entries)) {}
  PeerTable(const PeerTable&) = delete;
  PeerTable& operator=(const PeerTable&) = delete;

  // Exclusive access to the entries while it lives. Never hold one across
  // input or output.
  class Guard {
   public:
    Guard(Guard&&) noexcept = default;
    Guard& operator=(Guard&&) = delete;
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    // Marks the table poisoned when it is destroyed by an exception that
    // started while it was held: the entries may be half updated.
    ~Guard();

    PeerEntries& entries() const { return table_->entries_; }

   private:
    friend class PeerTable;
    Guard(PeerTable& table, std::unique_lock<std::mutex> lock)
        : table_(&table), lock_(std::move(lock)), exceptions_(std::uncaught_exceptions()) {}

    PeerTable* table_;
    std::unique_lock<std::mutex> lock_;
    int exceptions_;
  };

  // The guard, or STATUS_LOCK_POISONED once a holder unwound while holding it.
  std::expected<Guard, std::string> lock();

 private:
  std::mutex mutex_;
  bool poisoned_ = false;  // guarded by mutex_
  PeerEntries entries_;    // guarded by mutex_
};

// The start-up table: one entry per configured peer, nothing attempted yet,
// every peer due at `now`.
PeerEntries initial_peer_entries(const std::vector<corvane_manager_network_lab::Peer>& peers,
                                 Clock::time_point now);

struct Shared {
  explicit Shared(PeerEntries entries) : peers(std::move(entries)) {}

  PeerTable peers;
  std::atomic<std::uint64_t> active_incoming{0};
  std::atomic<std::uint64_t> peak_incoming{0};
  std::atomic<std::uint64_t> rejected_connections{0};
  std::atomic<std::uint64_t> append_worker_failures{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> append_busy{false};

  // Counts one more inbound connection being served and raises the peak.
  void enter_incoming();
};

}  // namespace corvane_manager_resident_lab

#endif
