#include "json_value.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cassert>

namespace corvane_manager_ha_lab::json {

std::string Error::text() const {
  const std::string prefix = member.empty() ? std::string() : "member `" + member + "`: ";
  return prefix + message + " at line " + std::to_string(position.line) + " column " +
         std::to_string(position.column);
}

Error Error::within(std::string_view step) const {
  Error outer = *this;
  outer.member = std::string(step);
  if (!member.empty()) {
    if (member.front() != '[') outer.member.push_back('.');
    outer.member += member;
  }
  return outer;
}

std::string_view kind_name(Kind kind) {
  switch (kind) {
    case Kind::Null: return "null";
    case Kind::Boolean: return "boolean";
    case Kind::Number: return "number";
    case Kind::String: return "string";
    case Kind::Array: return "array";
    case Kind::Object: return "object";
  }
  return "value";
}

namespace {

// A RapidJSON input stream over a byte range that counts lines as it goes.
class TrackingStream {
 public:
  using Ch = char;

  explicit TrackingStream(std::string_view text)
      : begin_(text.data()), cur_(text.data()), end_(text.data() + text.size()),
        line_start_(text.data()) {}

  Ch Peek() const { return cur_ == end_ ? '\0' : *cur_; }
  Ch Take() {
    if (cur_ == end_) return '\0';
    const char c = *cur_++;
    if (c == '\n') {
      ++line_;
      line_start_ = cur_;
    }
    return c;
  }
  std::size_t Tell() const { return static_cast<std::size_t>(cur_ - begin_); }
  bool at_end() const { return cur_ == end_; }

  Position position() const {
    return Position{line_, static_cast<std::size_t>(cur_ - line_start_) + 1};
  }

  // Output side is never used: the reader does not parse in place.
  Ch* PutBegin() { assert(false); return nullptr; }
  void Put(Ch) { assert(false); }
  void Flush() { assert(false); }
  std::size_t PutEnd(Ch*) { assert(false); return 0; }

 private:
  const char* begin_;
  const char* cur_;
  const char* end_;
  const char* line_start_;
  std::size_t line_ = 1;
};

Position locate(std::string_view text, std::size_t offset) {
  Position p;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++p.line;
      p.column = 1;
    } else {
      ++p.column;
    }
  }
  return p;
}

// Builds the tree from SAX events. Containers under construction live on an
// explicit stack so that nesting depth is bounded by MAX_NESTING.
class TreeBuilder {
 public:
  explicit TreeBuilder(const TrackingStream& stream) : stream_(stream) {}

  bool Null() { return add(scalar(Kind::Null)); }
  bool Bool(bool b) {
    Value v = scalar(Kind::Boolean);
    v.boolean = b;
    return add(std::move(v));
  }
  // Only RawNumber is reached with kParseNumbersAsStringsFlag.
  bool Int(int) { return false; }
  bool Uint(unsigned) { return false; }
  bool Int64(int64_t) { return false; }
  bool Uint64(uint64_t) { return false; }
  bool Double(double) { return false; }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    Value v = scalar(Kind::Number);
    v.text.assign(s, n);
    return add(std::move(v));
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    Value v = scalar(Kind::String);
    v.text.assign(s, n);
    return add(std::move(v));
  }
  bool StartObject() { return open(Kind::Object); }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    Member m;
    m.name.assign(s, n);
    m.position = stream_.position();
    stack_.back().members.push_back(std::move(m));
    return true;
  }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(Kind::Array); }
  bool EndArray(rapidjson::SizeType) { return close(); }

  bool too_deep() const { return too_deep_; }
  Value take_root() { return std::move(root_); }

 private:
  Value scalar(Kind kind) const {
    Value v;
    v.kind = kind;
    v.position = stream_.position();
    return v;
  }

  bool open(Kind kind) {
    if (stack_.size() >= MAX_NESTING) {
      too_deep_ = true;
      return false;
    }
    Value v;
    v.kind = kind;
    stack_.push_back(std::move(v));
    return true;
  }

  bool close() {
    Value v = std::move(stack_.back());
    stack_.pop_back();
    v.position = stream_.position();
    return add(std::move(v));
  }

  bool add(Value v) {
    if (stack_.empty()) {
      root_ = std::move(v);
      return true;
    }
    Value& parent = stack_.back();
    if (parent.kind == Kind::Array) {
      parent.items.push_back(std::move(v));
    } else {
      parent.members.back().value = std::move(v);
    }
    return true;
  }

  const TrackingStream& stream_;
  std::vector<Value> stack_;
  Value root_;
  bool too_deep_ = false;
};

}  // namespace

std::expected<Value, Error> parse(std::string_view text) {
  TrackingStream stream(text);
  TreeBuilder builder(stream);
  rapidjson::Reader reader;
  constexpr unsigned flags = rapidjson::kParseValidateEncodingFlag |
                             rapidjson::kParseIterativeFlag |
                             rapidjson::kParseNumbersAsStringsFlag;
  const rapidjson::ParseResult result = reader.Parse<flags>(stream, builder);
  if (result.IsError()) {
    if (builder.too_deep()) {
      return std::unexpected(Error{"nesting deeper than " + std::to_string(MAX_NESTING) + " levels",
                                   locate(text, result.Offset())});
    }
    return std::unexpected(Error{std::string("syntax error: ") +
                                     rapidjson::GetParseError_En(result.Code()),
                                 locate(text, result.Offset())});
  }
  // The tokenizer treats a NUL byte as the end of input; anything after the
  // value, NUL included, is trailing data.
  if (!stream.at_end()) {
    return std::unexpected(
        Error{"syntax error: trailing characters after the JSON value", stream.position()});
  }
  return builder.take_root();
}

}  // namespace corvane_manager_ha_lab::json
