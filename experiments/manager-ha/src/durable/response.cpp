#include "durable/response.h"

#include <array>
#include <string_view>
#include <utility>

namespace corvane_manager_ha_lab::json {

namespace {

using durable::Response;

constexpr std::string_view TAG = "result";

// The tag text of each variant, in the variant's index order.
constexpr std::array<std::string_view, std::variant_size_v<Response::Variant>> RESULTS = {
    "observed", "imported", "snapshot", "inspection", "service_check"};

constexpr std::string_view EXPECTED =
    "`observed`, `imported`, `snapshot`, `inspection`, `service_check`";

template <std::size_t I>
std::expected<Response, Error> read_index(const Value& v) {
  auto variant = read_record_members<std::variant_alternative_t<I, Response::Variant>>(v, TAG);
  if (!variant) return std::unexpected(variant.error());
  return Response{std::move(*variant)};
}

}  // namespace

std::expected<Response, Error> Codec<Response>::read(const Value& v) {
  auto tag = read_tag(v, TAG, "Response");
  if (!tag) return std::unexpected(tag.error());
  if (*tag == RESULTS[0]) return read_index<0>(v);
  if (*tag == RESULTS[1]) return read_index<1>(v);
  if (*tag == RESULTS[2]) return read_index<2>(v);
  if (*tag == RESULTS[3]) return read_index<3>(v);
  if (*tag == RESULTS[4]) return read_index<4>(v);
  return std::unexpected(unknown_variant(v, TAG, *tag, EXPECTED));
}

void Codec<Response>::write(Writer& w, const Response& response) {
  std::visit(
      [&](const auto& variant) { write_tagged(w, TAG, RESULTS[response.value.index()], variant); },
      response.value);
}

}  // namespace corvane_manager_ha_lab::json
