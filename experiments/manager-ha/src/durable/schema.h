// The manager store's schema: the batch that creates it, its shape as read
// back from sqlite_master, and the check that a store still has exactly that
// shape.
//
// A shape lists (type, name, normalized SQL) of every object that is not one
// of SQLite's own, ordered by type, then name. Normalizing joins the
// white-space-separated pieces of the statement with one space, drops
// trailing semicolons and lowercases ASCII letters, so stores written with
// other amounts or kinds of white space or another letter case still match,
// but a missing line break does not.
//
// The expected shape is computed once per process from the batch itself in
// a private in-memory database; reading it is thread-safe.
#ifndef CORVANE_MANAGER_HA_DURABLE_SCHEMA_H
#define CORVANE_MANAGER_HA_DURABLE_SCHEMA_H

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "durable/connection.h"
#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

// The schema version of every store this program writes; 0 is a file that
// was never initialized.
inline constexpr std::int64_t SCHEMA_VERSION = 3;

// Executed once, when a store is created, inside its first transaction.
// Stores written by earlier runs must keep matching: these texts may change
// only in the length or kind of their white space and in letter case.
inline constexpr std::string_view SCHEMA_BATCH =
    R"sql(CREATE TABLE identity (singleton INTEGER PRIMARY KEY CHECK(singleton=1), replica_id TEXT NOT NULL, topology_json TEXT NOT NULL);
CREATE TABLE facts (event_id TEXT PRIMARY KEY, fact_json TEXT NOT NULL, sha256 TEXT NOT NULL);
CREATE TABLE receipts (
    operation_id TEXT PRIMARY KEY,
    kind TEXT NOT NULL,
    source_replica_id TEXT,
    wire_operation_id TEXT,
    request_json TEXT NOT NULL,
    response_json TEXT NOT NULL,
    sha256 TEXT NOT NULL
);
CREATE TABLE exchange_audit_events (
    audit_event_id TEXT PRIMARY KEY,
    attempt_id TEXT NOT NULL,
    wire_nonce TEXT NOT NULL,
    direction TEXT NOT NULL,
    phase TEXT NOT NULL,
    authenticated_peer_id TEXT,
    peer_claim TEXT,
    operation_id TEXT,
    request_frame_bytes INTEGER NOT NULL,
    request_announced_body_bytes INTEGER,
    request_sha256 TEXT,
    reply_frame_bytes INTEGER NOT NULL,
    reply_announced_body_bytes INTEGER,
    reply_sha256 TEXT,
    outcome TEXT NOT NULL,
    error_category TEXT,
    reason_code TEXT,
    local_receipt_operation_id TEXT,
    local_receipt_sha256 TEXT,
    remote_receipt_operation_id TEXT,
    remote_receipt_sha256 TEXT,
    replayed INTEGER NOT NULL CHECK(replayed IN (0, 1)),
    record_json TEXT NOT NULL,
    sha256 TEXT NOT NULL,
    UNIQUE(direction, attempt_id, phase)
);
CREATE TRIGGER facts_no_update BEFORE UPDATE ON facts BEGIN SELECT RAISE(ABORT, 'immutable fact'); END;
CREATE TRIGGER facts_no_delete BEFORE DELETE ON facts BEGIN SELECT RAISE(ABORT, 'immutable fact'); END;
CREATE TRIGGER identity_no_update BEFORE UPDATE ON identity BEGIN SELECT RAISE(ABORT, 'immutable identity'); END;
CREATE TRIGGER identity_no_delete BEFORE DELETE ON identity BEGIN SELECT RAISE(ABORT, 'immutable identity'); END;
CREATE TRIGGER receipts_no_update BEFORE UPDATE ON receipts BEGIN SELECT RAISE(ABORT, 'immutable receipt'); END;
CREATE TRIGGER receipts_no_delete BEFORE DELETE ON receipts BEGIN SELECT RAISE(ABORT, 'immutable receipt'); END;
CREATE TRIGGER exchange_audit_events_no_update BEFORE UPDATE ON exchange_audit_events BEGIN SELECT RAISE(ABORT, 'immutable exchange audit event'); END;
CREATE TRIGGER exchange_audit_events_no_delete BEFORE DELETE ON exchange_audit_events BEGIN SELECT RAISE(ABORT, 'immutable exchange audit event'); END;
PRAGMA user_version=3;
)sql";

// One schema object as it appears in a shape.
struct SchemaObject {
  std::string type;
  std::string name;
  std::string sql;  // normalized

  friend bool operator==(const SchemaObject&, const SchemaObject&) = default;
};

using SchemaShape = std::vector<SchemaObject>;

// The normalized form of one statement text (see the header comment).
std::string normalize_schema_sql(std::string_view sql);

// The shape of the schema of `connection`.
std::expected<SchemaShape, DurableError> schema_shape(Connection& connection);

// The shape of a correct store (EXPECTED_SCHEMA_SHAPE). The process aborts
// if the fixed batch cannot produce it, which would be a defect of the build.
const SchemaShape& expected_schema_shape();

// Corrupt "manager store schema shape mismatch" unless the shape of
// `connection` is the expected one; SQLite errors are Storage.
std::expected<void, DurableError> verify_immutable_schema(Connection& connection);

}  // namespace corvane_manager_ha_lab::durable

#endif
