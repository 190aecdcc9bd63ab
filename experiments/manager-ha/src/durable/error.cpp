#include "durable/error.h"

#include <sqlite3.h>

#include <array>

#include "durable/os_error.h"

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::array<std::string_view, 9> REFUSAL_TEXTS = {
    "invalid_request",    "policy_violation",  "operation_id_reused",
    "unsupported_schema", "identity_mismatch", "unrecognized_store",
    "missing_store",      "unsafe_store",      "transport_unavailable",
};

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

}  // namespace

std::string_view refusal_reason_text(RefusalReason reason) {
  return REFUSAL_TEXTS.at(static_cast<std::size_t>(reason));
}

std::optional<RefusalReason> parse_refusal_reason(std::string_view text) {
  for (std::size_t i = 0; i < REFUSAL_TEXTS.size(); ++i) {
    if (REFUSAL_TEXTS[i] == text) return static_cast<RefusalReason>(i);
  }
  return std::nullopt;
}

std::optional<RefusalReason> DurableError::refusal() const {
  if (const auto* refused = std::get_if<Refused>(&variant_)) return refused->reason;
  return std::nullopt;
}

std::string DurableError::text() const {
  return std::visit(
      Overloaded{
          [](const Refused& e) { return "refused: " + std::string(refusal_reason_text(e.reason)); },
          [](const Corrupt& e) { return "corrupt: " + e.text; },
          [](const Storage& e) { return "storage: " + e.text; },
          [](const InvalidAudit& e) { return "invalid_audit: " + e.text; },
      },
      variant_);
}

DurableError corrupt_model(std::string_view text) {
  return DurableError::corrupt("stored model state is invalid: " + std::string(text));
}

DurableError sqlite_error(sqlite3* db) {
  // sqlite3_errmsg copes with a null handle (out of memory while opening).
  return DurableError::storage(sqlite3_errmsg(db));
}

DurableError sqlite_error_code(int result_code) {
  return DurableError::storage(sqlite3_errstr(result_code));
}

DurableError json_error(const json::Error& error) { return DurableError::storage(error.text()); }

DurableError io_error(int errno_value) { return DurableError::storage(os_error_text(errno_value)); }

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

std::expected<durable::RefusalReason, Error> Codec<durable::RefusalReason>::read(const Value& v) {
  auto text = read_string(v);
  if (!text) return std::unexpected(text.error());
  if (auto reason = durable::parse_refusal_reason(*text)) return *reason;
  return std::unexpected(
      Error{"unknown variant " + quote(*text) + ", expected a refusal reason", v.position});
}

void Codec<durable::RefusalReason>::write(Writer& w, durable::RefusalReason reason) {
  w.string(durable::refusal_reason_text(reason));
}

}  // namespace corvane_manager_ha_lab::json
