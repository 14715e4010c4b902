// A small immutable value type for property lists, used by every Ferrolux program.
//
// Arrays and dictionaries are shared, never mutated after construction, so a parsed sample can
// be handed from the reply thread to the main thread and copied freely without locks. Build a
// container with plist::Array / plist::Dict and wrap it in a Value.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plist {

class Value;
using Array = std::vector<Value>;
using Dict = std::map<std::string, Value, std::less<>>;
using Bytes = std::vector<uint8_t>;

// A date as seconds since 2001-01-01 00:00:00 UTC, the property-list epoch.
struct Date {
  double secondsSince2001 = 0;
  bool operator==(const Date&) const = default;
};

enum class Type { None, Boolean, Integer, Real, String, Data, Date, Array, Dict };

class Value {
 public:
  Value() = default;  // None: an absent value
  Value(bool b) : v_(b) {}
  Value(int i) : v_(int64_t{i}) {}
  Value(int64_t i) : v_(i) {}
  Value(uint64_t i) : v_(static_cast<int64_t>(i)) {}
  Value(double d) : v_(d) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(Bytes data) : v_(std::make_shared<const Bytes>(std::move(data))) {}
  Value(Date d) : v_(d) {}
  Value(Array a) : v_(std::make_shared<const Array>(std::move(a))) {}
  Value(Dict d) : v_(std::make_shared<const Dict>(std::move(d))) {}

  Type type() const;
  bool isNone() const { return type() == Type::None; }
  bool isDict() const { return type() == Type::Dict; }
  bool isArray() const { return type() == Type::Array; }
  bool isString() const { return type() == Type::String; }
  // True for integers and reals alike.
  bool isNumber() const { return type() == Type::Integer || type() == Type::Real; }

  // Typed access: null or nullopt when the value is of another type.
  std::optional<bool> boolean() const;
  std::optional<int64_t> integer() const;  // integers only
  std::optional<double> number() const;    // integers and reals, as a double
  const std::string* string() const;
  const Bytes* data() const;
  std::optional<Date> date() const;
  const Array* array() const;
  const Dict* dict() const;

  // Lookups that never fail: a missing key, an index out of range, or a lookup on a value of
  // another type gives None.
  const Value& operator[](std::string_view key) const;
  const Value& operator[](size_t index) const;
  size_t size() const;  // elements of an array or dictionary, else 0

  bool operator==(const Value& other) const;

 private:
  std::variant<std::monostate, bool, int64_t, double, std::string, std::shared_ptr<const Bytes>,
               Date, std::shared_ptr<const Array>, std::shared_ptr<const Dict>>
      v_;
};

// The shared None returned by failed lookups.
const Value& none();

enum class Format { XML, Binary };

struct ParseResult {
  std::optional<Value> value;  // set on success
  std::string error;           // why parsing failed; empty on success
  bool ok() const { return value.has_value(); }
};

// Parses one XML or binary property-list document. Anything after the first NUL byte is ignored,
// as the sampler separates consecutive documents with one. Duplicate keys in a dictionary keep
// the later value. Malformed input gives a result with an error, never a crash.
ParseResult parse(std::string_view bytes);
ParseResult parse(const Bytes& bytes);

// Splits NUL-separated documents and parses each; empty pieces are skipped. A document that
// fails to parse is reported in place with its error.
std::vector<ParseResult> parseAll(std::string_view bytes);

// Serialises a value; None and dictionaries holding None are written without those entries.
// Returns an empty string when the value cannot be written (None at the top).
std::string write(const Value& value, Format format);

}  // namespace plist
