#include "durable/transaction.h"

#include <sqlite3.h>

#include <utility>

namespace corvane_manager_ha_lab::durable {

std::expected<Transaction, DurableError> Transaction::begin(Connection& connection,
                                                            TransactionMode mode) {
  const char* sql = mode == TransactionMode::Immediate ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED";
  if (auto begun = connection.execute_batch(sql); !begun) return std::unexpected(begun.error());
  return Transaction(connection, mode);
}

Transaction::Transaction(Transaction&& other) noexcept
    : connection_(other.connection_),
      mode_(other.mode_),
      open_(std::exchange(other.open_, false)) {}

Transaction::~Transaction() {
  // SQLite may already have rolled back on its own (after some errors); then
  // there is nothing left to undo.
  if (open_ && !connection_->autocommit()) {
    static_cast<void>(connection_->execute_batch("ROLLBACK"));
  }
}

std::expected<void, DurableError> Transaction::commit() {
  if (auto committed = connection_->execute_batch("COMMIT"); !committed) {
    return std::unexpected(committed.error());
  }
  open_ = false;
  // A writer that starts its next transaction at once would take the write
  // lock again before any waiting writer (polling every millisecond) could,
  // and starve it past its timeout. A short pause after releasing the lock
  // lets writers of other connections and processes take turns.
  if (mode_ == TransactionMode::Immediate) sqlite3_sleep(WRITER_TURN_MS);
  return {};
}

}  // namespace corvane_manager_ha_lab::durable
