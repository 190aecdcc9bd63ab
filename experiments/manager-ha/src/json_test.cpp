// The strict reader and the canonical writer, through small records that use
// every kind of member the system's records use.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "json_record.h"
#include "rapidjson/document.h"

namespace corvane_manager_ha_lab::json {
namespace {

struct Inner {
  std::string name;
  std::optional<std::string> note;
  friend bool operator==(const Inner&, const Inner&) = default;
};

struct Outer {
  std::uint32_t small = 0;
  std::uint64_t big = 0;
  bool flag = false;
  Inner inner;
  std::vector<Inner> list;
  friend bool operator==(const Outer&, const Outer&) = default;
};

}  // namespace

template <>
struct Record<Inner> {
  static constexpr std::string_view name = "Inner";
  static constexpr auto fields = std::tuple{field("name", &Inner::name), field("note", &Inner::note)};
};

template <>
struct Record<Outer> {
  static constexpr std::string_view name = "Outer";
  static constexpr auto fields =
      std::tuple{field("small", &Outer::small), field("big", &Outer::big), field("flag", &Outer::flag),
                 field("inner", &Outer::inner), field("list", &Outer::list)};
};

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// The independently computed escaping vector: every code point listed,
// written as one string.
TEST(CanonicalWriter, MatchesTheEscapingVector) {
  rapidjson::Document vectors;
  vectors.Parse(read_file(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json").c_str());
  ASSERT_FALSE(vectors.HasParseError());
  const auto& c = vectors["canonical_string"];
  std::string input;
  for (const auto& cp : c["input_code_points"].GetArray()) {
    unsigned v = cp.GetUint();
    if (v < 0x80) {
      input.push_back(static_cast<char>(v));
    } else if (v < 0x800) {
      input.push_back(static_cast<char>(0xC0 | (v >> 6)));
      input.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    } else if (v < 0x10000) {
      input.push_back(static_cast<char>(0xE0 | (v >> 12)));
      input.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
      input.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    } else {
      input.push_back(static_cast<char>(0xF0 | (v >> 18)));
      input.push_back(static_cast<char>(0x80 | ((v >> 12) & 0x3F)));
      input.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
      input.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    }
  }
  EXPECT_EQ(quote(input), std::string(c["json"].GetString(), c["json"].GetStringLength()));
}

TEST(CanonicalWriter, EscapesEachByteBelowSpaceAndLeavesTheRest) {
  const std::map<int, std::string> short_forms = {
      {0x08, "\\b"}, {0x09, "\\t"}, {0x0A, "\\n"}, {0x0C, "\\f"}, {0x0D, "\\r"}};
  for (int b = 0; b < 0x20; ++b) {
    const std::string in(1, static_cast<char>(b));
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", b);
    const std::string expected = short_forms.contains(b) ? short_forms.at(b) : std::string(hex);
    EXPECT_EQ(quote(in), "\"" + expected + "\"") << "byte " << b;
  }
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"", "\"\\\"\""}, {"\\", "\"\\\\\""}, {"/", "\"/\""},
      {"\x7f", "\"\x7f\""}, {"\xc3\xa9\xe2\x82\xac", "\"\xc3\xa9\xe2\x82\xac\""}, {"", "\"\""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(quote(in), out);
}

TEST(CanonicalWriter, WritesRecordsCompactInDeclaredOrderWithNulls) {
  Outer value{7, 18446744073709551615ull, true, {"a", std::nullopt}, {{"b", "n"}, {"c", std::nullopt}}};
  EXPECT_EQ(to_json(value),
            R"({"small":7,"big":18446744073709551615,"flag":true,"inner":{"name":"a","note":null},)"
            R"("list":[{"name":"b","note":"n"},{"name":"c","note":null}]})");
  const std::map<std::string, std::string> map = {{"z", "1"}, {"a", "2"}};
  EXPECT_EQ(to_json(map), R"({"a":"2","z":"1"})");
  EXPECT_EQ(to_json(std::vector<std::string>{}), "[]");
}

TEST(StrictReader, RoundTripsAndAcceptsAnyMemberOrderAndTheGenericForm) {
  Outer value{1, 2, false, {"x", "y"}, {}};
  EXPECT_EQ(from_json<Outer>(to_json(value)), value);
  auto reordered = from_json<Outer>(
      R"( {"list":[],"inner":{"note":"y","name":"x"},"flag":false,"big":2,"small":1} )");
  ASSERT_TRUE(reordered) << reordered.error().text();
  EXPECT_EQ(*reordered, value);
  auto generic = from_json<Outer>(R"([1,2,false,["x","y"],[]])");
  ASSERT_TRUE(generic) << generic.error().text();
  EXPECT_EQ(*generic, value);
  auto missing_optional = from_json<Inner>(R"({"name":"x"})");
  ASSERT_TRUE(missing_optional);
  EXPECT_EQ(missing_optional->note, std::nullopt);
}

TEST(StrictReader, NamesTheFaultAndWhereItIs) {
  struct Case {
    std::string input;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"{\"small\":1,\n\"big\":2,\"flag\":true,\"inner\":{\"name\":\"a\"},\"list\":[],\"extra\":1}",
       "unknown member \"extra\", expected one of `small`, `big`, `flag`, `inner`, `list` at line 2 "
       "column 59"},
      {R"({"small":1,"small":2})", "duplicate member \"small\" at line 1 column 19"},
      {R"({"small":1,"big":2,"flag":true,"inner":{"name":"a"}})",
       "missing member `list` in Outer at line 1 column 52"},
      {R"({"small":-1})",
       "member `small`: invalid type: expected unsigned 32-bit integer, found negative number -1 "
       "at line 1 column 12"},
      {R"({"small":4294967296})",
       "member `small`: invalid type: expected unsigned 32-bit integer, found out-of-range integer "
       "4294967296 at line 1 column 20"},
      {R"({"big":18446744073709551616})",
       "member `big`: invalid type: expected unsigned 64-bit integer, found out-of-range integer "
       "18446744073709551616 at line 1 column 28"},
      {R"({"small":1.0})",
       "member `small`: invalid type: expected unsigned 32-bit integer, found floating point "
       "number 1.0 at line 1 column 13"},
      {R"({"small":"1"})",
       "member `small`: invalid type: expected unsigned 32-bit integer, found string \"1\" at line 1 "
       "column 13"},
      {R"({"small":1,"big":2,"flag":true,"inner":{"name":"a"},"list":[{"name":1}]})",
       "member `list[0].name`: invalid type: expected a string, found number 1 at line 1 column 70"},
      {R"([1,2])", "invalid length 2, expected an array of 5 values for Outer at line 1 column 5"},
      {"{\"small\":1", "syntax error: Missing a comma or '}' after an object member. at line 1 column 11"},
      {"{} {}", "syntax error: The document root must not be followed by other values. at line 1 column 4"},
      {std::string("{}\0", 3), "syntax error: trailing characters after the JSON value at line 1 column 3"},
      {"\"\xff\"", "syntax error: Invalid encoding in string. at line 1 column 2"},
      {"", "syntax error: The document is empty. at line 1 column 1"},
  };
  for (const auto& c : cases) {
    auto result = from_json<Outer>(c.input);
    ASSERT_FALSE(result) << c.input;
    EXPECT_EQ(result.error().text(), c.message) << c.input;
  }
}

TEST(StrictReader, RefusesNestingBeyondTheBound) {
  const std::string deep = std::string(MAX_NESTING + 1, '[') + std::string(MAX_NESTING + 1, ']');
  auto result = parse(deep);
  ASSERT_FALSE(result);
  EXPECT_NE(result.error().message.find("nesting deeper"), std::string::npos);
  const std::string fine = std::string(MAX_NESTING, '[') + std::string(MAX_NESTING, ']');
  EXPECT_TRUE(parse(fine));
}

TEST(StrictReader, KeepsEscapedAndRawUtf8Strings) {
  auto value = parse(R"(["a\u0000b","\u00e9","\ud83d\ude00","é"])");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->items[0].text, std::string("a\0b", 3));
  EXPECT_EQ(value->items[1].text, "\xc3\xa9");
  EXPECT_EQ(value->items[2].text, "\xf0\x9f\x98\x80");
  EXPECT_EQ(value->items[3].text, "\xc3\xa9");
  EXPECT_FALSE(parse(R"(["\ud83d"])"));  // a lone surrogate is not text
}

}  // namespace
}  // namespace corvane_manager_ha_lab::json
