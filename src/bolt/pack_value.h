// PackStream values as Bolt carries them: null, boolean, 64-bit integer,
// 64-bit float, string, byte array, list, map (string keys, in the order
// sent) and structure (a one-byte tag and up to 15 fields). This is the
// decoded form of a request; what the structures mean (a message, a date, a
// point) is read by the layers above (bolt/messages.h, bolt/value_mapping.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "graph/value.h"

namespace orvane::bolt {

class PackValue;
struct PackEntry;
using PackList = std::vector<PackValue>;
using PackMap = std::vector<PackEntry>;  // keys unique, in the order sent

struct PackStruct {
  std::uint8_t tag = 0;
  std::vector<PackValue> fields;  // at most 15
  friend bool operator==(const PackStruct&, const PackStruct&) = default;
};

class PackValue {
 public:
  enum class Kind : std::uint8_t { kNull, kBool, kInteger, kFloat, kString, kBytes, kList, kMap, kStruct };
  using Storage =
      std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, PackList, PackMap, PackStruct>;

  // Constructors are defined where PackEntry is complete (pack_value.cpp):
  // the variant's converting constructor needs every alternative complete.
  PackValue() = default;
  PackValue(bool v);          // NOLINT(google-explicit-constructor): values convert
  PackValue(std::int64_t v);  // NOLINT(google-explicit-constructor)
  PackValue(int v);           // NOLINT(google-explicit-constructor)
  PackValue(double v);        // NOLINT(google-explicit-constructor)
  PackValue(std::string v);   // NOLINT(google-explicit-constructor)
  PackValue(const char* v);   // NOLINT(google-explicit-constructor)
  PackValue(Bytes v);         // NOLINT(google-explicit-constructor)
  PackValue(PackList v);      // NOLINT(google-explicit-constructor)
  PackValue(PackMap v);       // NOLINT(google-explicit-constructor)
  PackValue(PackStruct v);    // NOLINT(google-explicit-constructor)

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool is_null() const { return storage_.index() == 0; }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(storage_);
  }
  template <typename T>
  const T& as() const {
    return std::get<T>(storage_);
  }
  const Storage& storage() const { return storage_; }

  // The member `key` of a map, or null when absent. Requires: is<PackMap>().
  const PackValue* find(std::string_view key) const;

  friend bool operator==(const PackValue& a, const PackValue& b);

 private:
  Storage storage_;
};

struct PackEntry {
  std::string key;
  PackValue value;
  friend bool operator==(const PackEntry&, const PackEntry&) = default;
};

// "Null", "Boolean", "Integer", "Float", "String", "Bytes", "List", "Map",
// "Structure": how messages name a value's type in errors.
const char* pack_type_name(const PackValue& value);

// A readable rendering for tests and errors: null, true, 42, 1.5, "text",
// #0A0B, [1, 2], {a: 1}, Struct<0x4E>(1, [...], {}).
std::string to_debug_text(const PackValue& value);

}  // namespace orvane::bolt
