// orvane::CypherValue: any value a Cypher statement computes or returns —
// the property values of graph/value.h, plus maps, lists of anything, and
// references to nodes, relationships and paths of one Database.
//
// It lives in the graph library because every layer above passes it on:
// the query engine computes it, the console renders it as typed JSON, the
// Bolt listener as PackStream, and none of them should need the other.
//
// Nodes, relationships and paths are references (identities), not copies:
// a result of a million nodes holds a million integers, and whoever renders
// it reads labels and properties from the Database it came from. Lists,
// maps and paths are shared and immutable once built, so copying a value
// (a row passed from operator to operator) costs a reference count, not a
// deep copy.
//
// Three relations between values, as Cypher defines them:
//   - equality (`=`): three-valued; null when either side is null or the
//     answer depends on a null inside a list or map; 1 = 1.0 is true;
//     values of different kinds are unequal.
//   - equivalence (grouping keys, DISTINCT, IN over lists when no null is
//     involved): like equality, but null is equivalent to null and NaN to
//     NaN; two-valued.
//   - order (ORDER BY): a total order across every kind, Neo4j's: maps,
//     nodes, relationships, lists, paths, datetimes, local datetimes,
//     dates, times, local times, durations, strings, booleans, numbers
//     (NaN above every other number), then null.
// Comparison operators (`<`, `<=`, ...) are defined within a kind only
// (numbers among themselves, strings, booleans, lists element-wise,
// temporals of one type, points of one CRS) and null otherwise.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "graph/value.h"

namespace orvane {

struct NodeRef {
  std::uint32_t identity = 0;
  friend bool operator==(const NodeRef&, const NodeRef&) = default;
};

struct RelRef {
  std::uint32_t identity = 0;
  friend bool operator==(const RelRef&, const RelRef&) = default;
};

// A path: nodes[0], rels[0], nodes[1], ..., with rels.size() + 1 ==
// nodes.size(). A relationship may be traversed against its direction; the
// Database says which end is its start.
struct PathValue {
  std::vector<std::uint32_t> nodes;  // identities
  std::vector<std::uint32_t> rels;   // relationship identities
  friend bool operator==(const PathValue&, const PathValue&) = default;
};

class CypherValue;
using CypherList = std::vector<CypherValue>;
using CypherMap = std::vector<std::pair<std::string, CypherValue>>;  // keys unique, in insertion order

class CypherValue {
 public:
  enum class Kind : std::uint8_t {
    kNull,
    kBool,
    kInteger,
    kFloat,
    kString,
    kBytes,
    kDate,
    kLocalTime,
    kTime,
    kLocalDateTime,
    kDateTime,
    kDuration,
    kPoint,
    kList,
    kMap,
    kNode,
    kRelationship,
    kPath,
  };
  using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, Date, LocalTime, Time,
                               LocalDateTime, DateTime, Duration, Point, std::shared_ptr<const CypherList>,
                               std::shared_ptr<const CypherMap>, NodeRef, RelRef, std::shared_ptr<const PathValue>>;

  CypherValue() = default;
  CypherValue(bool v) : storage_(v) {}                  // NOLINT(google-explicit-constructor)
  CypherValue(std::int64_t v) : storage_(v) {}          // NOLINT(google-explicit-constructor)
  CypherValue(int v) : storage_(std::int64_t{v}) {}     // NOLINT(google-explicit-constructor)
  CypherValue(double v) : storage_(v) {}                // NOLINT(google-explicit-constructor)
  CypherValue(std::string v) : storage_(std::move(v)) {}  // NOLINT(google-explicit-constructor)
  CypherValue(const char* v) : storage_(std::string(v)) {}  // NOLINT(google-explicit-constructor)
  CypherValue(Bytes v) : storage_(std::move(v)) {}      // NOLINT(google-explicit-constructor)
  CypherValue(Date v) : storage_(v) {}                  // NOLINT(google-explicit-constructor)
  CypherValue(LocalTime v) : storage_(v) {}             // NOLINT(google-explicit-constructor)
  CypherValue(Time v) : storage_(v) {}                  // NOLINT(google-explicit-constructor)
  CypherValue(LocalDateTime v) : storage_(v) {}         // NOLINT(google-explicit-constructor)
  CypherValue(DateTime v) : storage_(std::move(v)) {}   // NOLINT(google-explicit-constructor)
  CypherValue(Duration v) : storage_(v) {}              // NOLINT(google-explicit-constructor)
  CypherValue(Point v) : storage_(v) {}                 // NOLINT(google-explicit-constructor)
  CypherValue(CypherList v) : storage_(std::make_shared<const CypherList>(std::move(v))) {}  // NOLINT
  CypherValue(CypherMap v) : storage_(std::make_shared<const CypherMap>(std::move(v))) {}    // NOLINT
  CypherValue(NodeRef v) : storage_(v) {}               // NOLINT(google-explicit-constructor)
  CypherValue(RelRef v) : storage_(v) {}                // NOLINT(google-explicit-constructor)
  CypherValue(PathValue v) : storage_(std::make_shared<const PathValue>(std::move(v))) {}  // NOLINT

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool is_null() const { return storage_.index() == 0; }
  bool is_number() const { return kind() == Kind::kInteger || kind() == Kind::kFloat; }

  bool as_bool() const { return std::get<bool>(storage_); }
  std::int64_t as_int() const { return std::get<std::int64_t>(storage_); }
  double as_float() const { return std::get<double>(storage_); }
  // An integer or float as a double. Requires: is_number().
  double as_number() const { return kind() == Kind::kInteger ? static_cast<double>(as_int()) : as_float(); }
  const std::string& as_string() const { return std::get<std::string>(storage_); }
  const CypherList& as_list() const { return *std::get<std::shared_ptr<const CypherList>>(storage_); }
  const CypherMap& as_map() const { return *std::get<std::shared_ptr<const CypherMap>>(storage_); }
  NodeRef as_node() const { return std::get<NodeRef>(storage_); }
  RelRef as_relationship() const { return std::get<RelRef>(storage_); }
  const PathValue& as_path() const { return *std::get<std::shared_ptr<const PathValue>>(storage_); }
  template <typename T>
  const T& get() const {
    return std::get<T>(storage_);
  }
  const Storage& storage() const { return storage_; }

  // The member `key` of a map, or null when absent. Requires: kind() == kMap.
  const CypherValue* find(std::string_view key) const;

 private:
  Storage storage_;
};

// The name of a value's type as Cypher error messages and valueType() say
// it: "NULL", "BOOLEAN", "INTEGER", "FLOAT", "STRING", "BYTE ARRAY", "DATE",
// "LOCAL TIME", "ZONED TIME", "LOCAL DATETIME", "ZONED DATETIME",
// "DURATION", "POINT", "LIST<ANY>", "MAP", "NODE", "RELATIONSHIP", "PATH".
const char* type_name(const CypherValue& value);

// A property value as a Cypher value (lists become lists of values).
CypherValue from_property(const Value& value);
// The property value of `value`, or nullopt when no property can hold it
// (a map, a node, a list that mixes kinds or holds null, a nested list).
// Integers and floats in one list become floats, as the store keeps them.
std::optional<Value> to_property(const CypherValue& value);

// Cypher equality: true, false, or nullopt for null.
std::optional<bool> cypher_equals(const CypherValue& a, const CypherValue& b);
// Equivalence: equality where null ≡ null and NaN ≡ NaN; never null.
bool equivalent(const CypherValue& a, const CypherValue& b);
// A hash consistent with equivalent(): equivalent values hash alike (1 and
// 1.0 included).
std::size_t equivalence_hash(const CypherValue& value);
// ORDER BY's total order (see the top of this file): negative, zero or
// positive.
int order_compare(const CypherValue& a, const CypherValue& b);
// `<`'s three-way comparison within a kind: nullopt when the two are not
// comparable (different kinds, null involved, NaN, durations, points of
// different CRS).
std::optional<std::partial_ordering> cypher_compare(const CypherValue& a, const CypherValue& b);

}  // namespace orvane
