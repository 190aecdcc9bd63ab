#include "lib/control.h"

#include <array>
#include <optional>
#include <vector>

namespace corvane_manager_resident_lab {

namespace {

namespace json = corvane_manager_ha_lab::json;

// The members an operation carries, in their declared order.
struct Operation {
  std::string_view name;
  std::vector<std::string_view> members;
};

const std::array<Operation, 3>& operations() {
  static const std::array<Operation, 3> table = {
      Operation{"status", {}},
      Operation{"shutdown", {}},
      Operation{"append_observation", {"operation_id", "scope", "subject", "value"}},
  };
  return table;
}

std::expected<std::size_t, json::Error> operation_index(const json::Value& tag) {
  if (!tag.is(json::Kind::String)) return std::unexpected(json::type_error(tag, "a string"));
  for (std::size_t i = 0; i < operations().size(); ++i) {
    if (operations()[i].name == tag.text) return i;
  }
  return std::unexpected(json::Error{"unknown variant " + json::quote(tag.text), tag.position});
}

// Builds the request from its member values, given in declared order.
std::expected<Control, json::Error> build(std::size_t index,
                                          const std::vector<const json::Value*>& values) {
  std::vector<std::string> texts;
  for (const json::Value* value : values) {
    auto text = json::read_string(*value);
    if (!text) return std::unexpected(text.error());
    texts.push_back(std::move(*text));
  }
  switch (index) {
    case 0: return Control{StatusRequest{}};
    case 1: return Control{ShutdownRequest{}};
    default:
      return Control{AppendObservationRequest{std::move(texts[0]), std::move(texts[1]),
                                              std::move(texts[2]), std::move(texts[3])}};
  }
}

std::expected<Control, json::Error> read_array(const json::Value& v) {
  if (v.items.empty()) {
    return std::unexpected(json::Error{"invalid length 0, expected an operation", v.position});
  }
  auto index = operation_index(v.items[0]);
  if (!index) return std::unexpected(index.error());
  const Operation& operation = operations()[*index];
  if (v.items.size() != operation.members.size() + 1) {
    return std::unexpected(json::Error{"invalid length " + std::to_string(v.items.size()) +
                                           " for operation " + json::quote(operation.name),
                                       v.position});
  }
  std::vector<const json::Value*> values;
  for (std::size_t i = 1; i < v.items.size(); ++i) values.push_back(&v.items[i]);
  return build(*index, values);
}

std::expected<Control, json::Error> read_object(const json::Value& v) {
  const json::Member* tag = nullptr;
  for (const json::Member& m : v.members) {
    if (m.name != "operation") continue;
    if (tag != nullptr) {
      return std::unexpected(json::Error{"duplicate member \"operation\"", m.position});
    }
    tag = &m;
  }
  if (tag == nullptr) return std::unexpected(json::Error{"missing member `operation`", v.position});
  auto index = operation_index(tag->value);
  if (!index) return std::unexpected(index.error());
  const Operation& operation = operations()[*index];

  std::vector<const json::Value*> values(operation.members.size(), nullptr);
  for (const json::Member& m : v.members) {
    if (&m == tag) continue;
    std::size_t slot = values.size();
    for (std::size_t i = 0; i < operation.members.size(); ++i) {
      if (operation.members[i] == m.name) slot = i;
    }
    if (slot == values.size()) {
      return std::unexpected(json::Error{"unknown member " + json::quote(m.name), m.position});
    }
    if (values[slot] != nullptr) {
      return std::unexpected(json::Error{"duplicate member " + json::quote(m.name), m.position});
    }
    values[slot] = &m.value;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i] == nullptr) {
      return std::unexpected(
          json::Error{"missing member `" + std::string(operation.members[i]) + "`", v.position});
    }
  }
  return build(*index, values);
}

}  // namespace

std::expected<Control, std::string> Control::parse(std::string_view bytes) {
  auto control = json::from_json<Control>(bytes);
  if (!control) return std::unexpected(control.error().text());
  return std::move(*control);
}

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

using corvane_manager_resident_lab::Control;

std::expected<Control, Error> Codec<Control>::read(const Value& v) {
  if (v.is(Kind::Array)) return corvane_manager_resident_lab::read_array(v);
  if (v.is(Kind::Object)) return corvane_manager_resident_lab::read_object(v);
  return std::unexpected(type_error(v, "an object Control"));
}

void Codec<Control>::write(Writer& w, const Control& control) {
  using namespace corvane_manager_resident_lab;
  w.begin_object();
  w.key("operation");
  if (std::holds_alternative<StatusRequest>(control.request)) {
    w.string("status");
  } else if (std::holds_alternative<ShutdownRequest>(control.request)) {
    w.string("shutdown");
  } else {
    const auto& append = std::get<AppendObservationRequest>(control.request);
    w.string("append_observation");
    w.key("operation_id");
    w.string(append.operation_id);
    w.key("scope");
    w.string(append.scope);
    w.key("subject");
    w.string(append.subject);
    w.key("value");
    w.string(append.value);
  }
  w.end_object();
}

}  // namespace corvane_manager_ha_lab::json
