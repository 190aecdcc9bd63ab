#include "durable/request.h"

#include <array>
#include <string_view>
#include <utility>

namespace corvane_manager_ha_lab::durable {

const std::string* operation_id(const Request& request) {
  if (const auto* observe = std::get_if<Request::Observe>(&request.value)) {
    return &observe->operation_id;
  }
  if (const auto* import = std::get_if<Request::Import>(&request.value)) {
    return &import->operation_id;
  }
  return nullptr;
}

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

namespace {

using durable::Request;

constexpr std::string_view TAG = "operation";

// The tag text of each variant, in the variant's index order.
constexpr std::array<std::string_view, std::variant_size_v<Request::Variant>> OPERATIONS = {
    "observe", "import", "export", "inspect", "check_service"};

constexpr std::string_view EXPECTED = "`observe`, `import`, `export`, `inspect`, `check_service`";

template <std::size_t I>
std::expected<Request, Error> read_index(const Value& v) {
  auto variant = read_record_members<std::variant_alternative_t<I, Request::Variant>>(v, TAG);
  if (!variant) return std::unexpected(variant.error());
  return Request{std::move(*variant)};
}

}  // namespace

std::expected<Request, Error> Codec<Request>::read(const Value& v) {
  auto tag = read_tag(v, TAG, "Request");
  if (!tag) return std::unexpected(tag.error());
  if (*tag == OPERATIONS[0]) return read_index<0>(v);
  if (*tag == OPERATIONS[1]) return read_index<1>(v);
  if (*tag == OPERATIONS[2]) return read_index<2>(v);
  if (*tag == OPERATIONS[3]) return read_index<3>(v);
  if (*tag == OPERATIONS[4]) return read_index<4>(v);
  return std::unexpected(unknown_variant(v, TAG, *tag, EXPECTED));
}

void Codec<Request>::write(Writer& w, const Request& request) {
  std::visit(
      [&](const auto& variant) {
        write_tagged(w, TAG, OPERATIONS[request.value.index()], variant);
      },
      request.value);
}

}  // namespace corvane_manager_ha_lab::json
