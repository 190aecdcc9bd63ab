// Typed JSON reading and canonical writing driven by one member table per
// record.
//
// A record type declares its members once, in JSON order:
//
//   template <> struct json::Record<ScopeGrant> {
//     static constexpr std::string_view name = "ScopeGrant";
//     static constexpr auto fields = std::tuple{
//         json::field("scope", &ScopeGrant::scope),
//         json::field("owner_replica_id", &ScopeGrant::owner_replica_id)};
//   };
//
// and `json::read<T>` / `json::write` / `json::to_json` then handle it. Reading
// is strict: an object with every required member exactly once and no other
// member, or the generic form, an array of the values in declared order.
// `std::optional` members may be null or missing. Types with another form
// specialize `json::Codec<T>` instead (static `read(const Value&)` and
// `write(Writer&, const T&)`). A tagged union written as one object (a tag
// member naming the variant, then the variant's members) reads its tag with
// `read_tag`, the variant's members with `read_record_members` and writes
// them with `write_tagged`.
//
// Everything here is stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_JSON_RECORD_H
#define CORVANE_MANAGER_HA_JSON_RECORD_H

#include <array>
#include <charconv>
#include <cstdint>
#include <expected>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "json_value.h"
#include "json_writer.h"

namespace corvane_manager_ha_lab::json {

template <class T, class M>
struct Field {
  std::string_view name;
  M T::*member;
};

template <class T, class M>
constexpr Field<T, M> field(std::string_view name, M T::*member) {
  return Field<T, M>{name, member};
}

template <class T>
struct Record {
  static constexpr bool defined = false;
};

template <class T>
struct Codec {
  static constexpr bool defined = false;
};

template <class T>
concept HasRecord = requires { Record<T>::fields; };

template <class T>
concept HasCodec = requires(const Value& v, Writer& w, const T& t) {
  Codec<T>::read(v);
  Codec<T>::write(w, t);
};

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class U>
struct IsOptional<std::optional<U>> : std::true_type {};

template <class T>
struct IsVector : std::false_type {};
template <class U>
struct IsVector<std::vector<U>> : std::true_type {};

template <class T>
struct IsStringMap : std::false_type {};
template <class U>
struct IsStringMap<std::map<std::string, U>> : std::true_type {};

template <class T>
constexpr bool is_unsigned_integer =
    std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>;

template <class T>
constexpr std::string_view unsigned_name() {
  if constexpr (sizeof(T) == 8) return "unsigned 64-bit integer";
  else if constexpr (sizeof(T) == 4) return "unsigned 32-bit integer";
  else if constexpr (sizeof(T) == 2) return "unsigned 16-bit integer";
  else return "unsigned 8-bit integer";
}

}  // namespace detail

// A type fault at `v`: "invalid type: expected <expected>, found <what v is>".
inline Error type_error(const Value& v, std::string_view expected) {
  std::string found(kind_name(v.kind));
  if (v.is(Kind::String)) found += " " + quote(v.text);
  if (v.is(Kind::Number)) found += " " + v.text;
  return Error{"invalid type: expected " + std::string(expected) + ", found " + found, v.position};
}

inline std::expected<std::string, Error> read_string(const Value& v) {
  if (!v.is(Kind::String)) return std::unexpected(type_error(v, "a string"));
  return v.text;
}

template <class T>
std::expected<T, Error> read_unsigned(const Value& v) {
  constexpr std::string_view expected = detail::unsigned_name<T>();
  if (!v.is(Kind::Number)) return std::unexpected(type_error(v, expected));
  const std::string& t = v.text;
  auto fail = [&](std::string_view what) {
    return std::unexpected(Error{"invalid type: expected " + std::string(expected) + ", found " +
                                     std::string(what) + " " + t,
                                 v.position});
  };
  if (!t.empty() && t.front() == '-') return fail("negative number");
  if (t.find_first_of(".eE") != std::string::npos) return fail("floating point number");
  std::uint64_t wide = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), wide);
  if (ec != std::errc() || end != t.data() + t.size() || wide > std::numeric_limits<T>::max()) {
    return fail("out-of-range integer");
  }
  return static_cast<T>(wide);
}

template <class T>
std::expected<T, Error> read(const Value& v);

template <class T>
void write(Writer& w, const T& value);

namespace detail {

template <class T>
constexpr std::size_t field_count = std::tuple_size_v<std::remove_cvref_t<decltype(Record<T>::fields)>>;

template <class T, std::size_t... I>
constexpr std::array<std::string_view, sizeof...(I)> field_names(std::index_sequence<I...>) {
  return {std::get<I>(Record<T>::fields).name...};
}

template <class T>
std::string expected_names() {
  constexpr auto names = field_names<T>(std::make_index_sequence<field_count<T>>{});
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += ", ";
    out += "`" + std::string(names[i]) + "`";
  }
  return out;
}

// Reads field I of T from `v` into `out`; on failure records the error.
template <class T, std::size_t I>
void read_field(const Value& v, T& out, std::optional<Error>& error) {
  const auto& f = std::get<I>(Record<T>::fields);
  using M = std::remove_cvref_t<decltype(out.*(f.member))>;
  auto value = read<M>(v);
  if (!value) {
    error = value.error().within(f.name);
    return;
  }
  out.*(f.member) = std::move(*value);
}

template <class T, std::size_t... I>
void read_field_at(std::size_t index, const Value& v, T& out, std::optional<Error>& error,
                   std::index_sequence<I...>) {
  ((index == I ? read_field<T, I>(v, out, error) : void()), ...);
}

template <class T, std::size_t I>
constexpr bool field_optional() {
  using M = std::remove_cvref_t<decltype(std::declval<T&>().*(std::get<I>(Record<T>::fields).member))>;
  return IsOptional<M>::value;
}

template <class T, std::size_t... I>
constexpr std::array<bool, sizeof...(I)> optional_flags(std::index_sequence<I...>) {
  return {field_optional<T, I>()...};
}

}  // namespace detail

// Reads the members of record T from the object `v`, which may also hold one
// member named `tag` (the variant tag of a tagged union, read by the caller);
// with an empty `tag` every member must belong to T.
template <HasRecord T>
std::expected<T, Error> read_record_members(const Value& v, std::string_view tag) {
  constexpr std::size_t n = detail::field_count<T>;
  using Indexes = std::make_index_sequence<n>;
  if (!v.is(Kind::Object)) {
    return std::unexpected(type_error(v, "an object " + std::string(Record<T>::name)));
  }
  T out{};
  std::optional<Error> error;
  constexpr auto names = detail::field_names<T>(Indexes{});
  std::array<bool, n> seen{};
  for (const Member& m : v.members) {
    if (!tag.empty() && m.name == tag) continue;
    std::size_t index = n;
    for (std::size_t i = 0; i < n; ++i) {
      if (names[i] == m.name) index = i;
    }
    if (index == n) {
      std::string expected = detail::expected_names<T>();
      return std::unexpected(Error{
          "unknown member " + quote(m.name) +
              (expected.empty() ? ", expected no other member" : ", expected one of " + expected),
          m.position});
    }
    if (seen[index]) {
      return std::unexpected(Error{"duplicate member " + quote(m.name), m.position});
    }
    seen[index] = true;
    detail::read_field_at(index, m.value, out, error, Indexes{});
    if (error) return std::unexpected(*error);
  }
  constexpr auto optional = detail::optional_flags<T>(Indexes{});
  for (std::size_t i = 0; i < n; ++i) {
    if (!seen[i] && !optional[i]) {
      return std::unexpected(Error{"missing member `" + std::string(names[i]) + "` in " +
                                       std::string(Record<T>::name),
                                   v.position});
    }
  }
  return out;
}

template <HasRecord T>
std::expected<T, Error> read_record(const Value& v) {
  constexpr std::size_t n = detail::field_count<T>;
  using Indexes = std::make_index_sequence<n>;
  if (v.is(Kind::Array)) {
    T out{};
    std::optional<Error> error;
    if (v.items.size() != n) {
      return std::unexpected(Error{"invalid length " + std::to_string(v.items.size()) +
                                       ", expected an array of " + std::to_string(n) +
                                       " values for " + std::string(Record<T>::name),
                                   v.position});
    }
    for (std::size_t i = 0; i < n && !error; ++i) {
      detail::read_field_at(i, v.items[i], out, error, Indexes{});
    }
    if (error) return std::unexpected(*error);
    return out;
  }
  return read_record_members<T>(v, {});
}

// The text of the tag member `tag` of a tagged union written as one object:
// the object must hold it exactly once, as a string.
inline std::expected<std::string, Error> read_tag(const Value& v, std::string_view tag,
                                                  std::string_view type_name) {
  if (!v.is(Kind::Object)) {
    return std::unexpected(type_error(v, "an object " + std::string(type_name)));
  }
  const Member* found = nullptr;
  for (const Member& m : v.members) {
    if (m.name != tag) continue;
    if (found != nullptr) {
      return std::unexpected(Error{"duplicate member " + quote(m.name), m.position});
    }
    found = &m;
  }
  if (found == nullptr) {
    return std::unexpected(Error{
        "missing member `" + std::string(tag) + "` in " + std::string(type_name), v.position});
  }
  auto text = read_string(found->value);
  if (!text) return std::unexpected(text.error().within(tag));
  return text;
}

// The fault of a tag value that names no variant.
inline Error unknown_variant(const Value& v, std::string_view tag, std::string_view value,
                             std::string_view expected) {
  Position position = v.position;
  for (const Member& m : v.members) {
    if (m.name == tag) position = m.value.position;
  }
  return Error{"unknown variant " + quote(value) + ", expected one of " + std::string(expected),
               position};
}

template <HasRecord T>
void write_record(Writer& w, const T& value) {
  w.begin_object();
  std::apply(
      [&](const auto&... f) {
        ((w.key(f.name), write(w, value.*(f.member))), ...);
      },
      Record<T>::fields);
  w.end_object();
}

// Writes record T as one object whose first member is the tag `tag` with the
// text `variant`, followed by T's members in declared order.
template <HasRecord T>
void write_tagged(Writer& w, std::string_view tag, std::string_view variant, const T& value) {
  w.begin_object();
  w.key(tag);
  w.string(variant);
  std::apply([&](const auto&... f) { ((w.key(f.name), write(w, value.*(f.member))), ...); },
             Record<T>::fields);
  w.end_object();
}

template <class T>
std::expected<T, Error> read(const Value& v) {
  if constexpr (HasCodec<T>) {
    return Codec<T>::read(v);
  } else if constexpr (HasRecord<T>) {
    return read_record<T>(v);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return read_string(v);
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!v.is(Kind::Boolean)) return std::unexpected(type_error(v, "a boolean"));
    return v.boolean;
  } else if constexpr (detail::is_unsigned_integer<T>) {
    return read_unsigned<T>(v);
  } else if constexpr (detail::IsOptional<T>::value) {
    if (v.is(Kind::Null)) return T{};
    auto inner = read<typename T::value_type>(v);
    if (!inner) return std::unexpected(inner.error());
    return T{std::move(*inner)};
  } else if constexpr (detail::IsVector<T>::value) {
    if (!v.is(Kind::Array)) return std::unexpected(type_error(v, "an array"));
    T out;
    out.reserve(v.items.size());
    for (std::size_t i = 0; i < v.items.size(); ++i) {
      auto item = read<typename T::value_type>(v.items[i]);
      if (!item) return std::unexpected(item.error().within("[" + std::to_string(i) + "]"));
      out.push_back(std::move(*item));
    }
    return out;
  } else if constexpr (detail::IsStringMap<T>::value) {
    if (!v.is(Kind::Object)) return std::unexpected(type_error(v, "an object"));
    T out;
    for (const Member& m : v.members) {
      auto item = read<typename T::mapped_type>(m.value);
      if (!item) return std::unexpected(item.error().within(m.name));
      if (!out.emplace(m.name, std::move(*item)).second) {
        return std::unexpected(Error{"duplicate member " + quote(m.name), m.position});
      }
    }
    return out;
  } else {
    static_assert(sizeof(T) == 0, "no JSON form for this type");
  }
}

template <class T>
void write(Writer& w, const T& value) {
  if constexpr (HasCodec<T>) {
    Codec<T>::write(w, value);
  } else if constexpr (HasRecord<T>) {
    write_record(w, value);
  } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
    w.string(value);
  } else if constexpr (std::is_same_v<T, bool>) {
    w.boolean(value);
  } else if constexpr (detail::is_unsigned_integer<T>) {
    w.unsigned_integer(value);
  } else if constexpr (detail::IsOptional<T>::value) {
    if (value) {
      write(w, *value);
    } else {
      w.null();
    }
  } else if constexpr (detail::IsVector<T>::value) {
    w.begin_array();
    for (const auto& item : value) write(w, item);
    w.end_array();
  } else if constexpr (detail::IsStringMap<T>::value) {
    w.begin_object();
    for (const auto& [k, item] : value) {
      w.key(k);
      write(w, item);
    }
    w.end_object();
  } else {
    static_assert(sizeof(T) == 0, "no JSON form for this type");
  }
}

// The canonical JSON of `value`.
template <class T>
std::string to_json(const T& value) {
  Writer w;
  write(w, value);
  return w.take();
}

// Parses `text` as one JSON value of type T.
template <class T>
std::expected<T, Error> from_json(std::string_view text) {
  auto tree = parse(text);
  if (!tree) return std::unexpected(tree.error());
  return read<T>(*tree);
}

}  // namespace corvane_manager_ha_lab::json

#endif
