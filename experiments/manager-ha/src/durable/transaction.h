// A store transaction that cannot be left open by an early return.
//
// `Transaction::begin` runs "BEGIN IMMEDIATE" (takes the write lock at once,
// waiting up to the connection's busy timeout) or "BEGIN DEFERRED"; the
// guard runs "ROLLBACK" when it is dropped before `commit` succeeded, and
// ignores that rollback's own error: the failure that caused the early
// return is the one worth reporting.
//
// Borrows its connection; used by the connection's thread only.
#ifndef CORVANE_MANAGER_HA_DURABLE_TRANSACTION_H
#define CORVANE_MANAGER_HA_DURABLE_TRANSACTION_H

#include <expected>

#include "durable/connection.h"
#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

enum class TransactionMode { Immediate, Deferred };

class Transaction {
 public:
  static std::expected<Transaction, DurableError> begin(Connection& connection,
                                                        TransactionMode mode);

  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&&) = delete;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();

  // "COMMIT". When it fails the transaction stays open and is rolled back
  // when the guard is dropped.
  std::expected<void, DurableError> commit();

  Connection& connection() const { return *connection_; }

 private:
  // Milliseconds a writer pauses after its commit so waiting writers get a turn.
  static constexpr int WRITER_TURN_MS = 2;

  Transaction(Connection& connection, TransactionMode mode)
      : connection_(&connection), mode_(mode) {}

  Connection* connection_;
  TransactionMode mode_;
  bool open_ = true;
};

}  // namespace corvane_manager_ha_lab::durable

#endif
