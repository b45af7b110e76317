// orvane::Value: one property value with its type, as Neo4j defines the
// property types: null (absent), boolean, 64-bit integer, 64-bit float,
// string, byte array, the temporal and spatial types (graph/temporal.h) and
// homogeneous lists of these.
//
// The typed JSON form is how a value crosses every boundary that speaks
// JSON (HTTP answers, JSON-lines export, the bridges' output, the console):
// plain JSON wherever JSON keeps the type (null, booleans, strings, floats,
// integers within ±2^53, lists), and Neo4j's typed form {"$type": T,
// "_value": TEXT} where it cannot: "Integer" beyond ±2^53, "Float" for NaN
// and the infinities, "Base64" byte arrays, "Date", "LocalTime", "Time",
// "LocalDateTime", "OffsetDateTime", "ZonedDateTime", "Duration" and
// "Point" (WKT with its SRID). A float is always written so that it reads
// back as a float ("1.0", never "1").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "graph/temporal.h"

namespace orvane {

struct Bytes {
  std::string data;  // raw bytes
  friend bool operator==(const Bytes&, const Bytes&) = default;
};

class Value;
using ValueList = std::vector<Value>;

class Value {
 public:
  using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, Date, LocalTime, Time,
                               LocalDateTime, DateTime, Duration, Point, ValueList>;

  Value() = default;
  template <typename T>
    requires std::is_constructible_v<Storage, T&&>
  Value(T&& value) : storage_(std::forward<T>(value)) {}  // NOLINT(google-explicit-constructor): values convert
  Value(int value) : storage_(static_cast<std::int64_t>(value)) {}
  Value(const char* value) : storage_(std::string(value)) {}

  bool is_null() const { return std::holds_alternative<std::monostate>(storage_); }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(storage_);
  }
  template <typename T>
  const T& as() const {
    return std::get<T>(storage_);
  }
  const Storage& storage() const { return storage_; }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage storage_;
};

// The typed JSON form of `value` (see the top of this file).
nlohmann::json to_typed_json(const Value& value);

// Appends to `out` the text to_typed_json(value).dump() gives (compact,
// members of a typed form in byte order, text other than the JSON escapes
// copied as it is), written straight from the value: no JSON value is
// built. Requires: every text in `value` is valid UTF-8, as in any value a
// property store holds.
void append_typed_json(std::string& out, const Value& value);

// Appends `text` as a JSON string, quotes included, escaped as the JSON
// library's dump() escapes it. Requires: `text` is valid UTF-8.
void append_json_text(std::string& out, std::string_view text);

// The value of typed JSON `json`. Plain integers become INTEGER, plain
// numbers with a fraction or an exponent FLOAT, arrays lists (every element
// of one type, nulls not allowed inside, as Neo4j stores lists; integers
// and floats together make a list of floats). Throws
// std::runtime_error "invalid property value: REASON" for an object that is
// not a typed value (a map is not a property type), a list of mixed types
// or a nested list, an unknown $type, or a _value its type's parser refuses.
Value from_typed_json(const nlohmann::json& json);

// from_typed_json for JSON that was stored before values had types (older
// snapshots, exports of other tools): what no property type can hold (a
// map that is not a typed value, a list with nulls, lists or mixed types
// inside, an integer beyond 64 bits) becomes the STRING of its compact
// JSON text, so that nothing is lost. A typed value whose text its type
// refuses ({"$type": "Date", "_value": "soon"}) still throws.
Value property_value_of(const nlohmann::json& json);

}  // namespace orvane
