// orvane::QlQuery: one parsed statement of the read-only Cypher subset —
// a linear MATCH pattern, node inequalities, a count or row projection and
// an optional LIMIT. Labels, types, variables and property names stay text;
// the executor resolves them against a graph.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "query/ql_error.h"

namespace orvane {

inline constexpr std::size_t kMaxQueryBytes = 65536;
inline constexpr std::size_t kMaxPatternRelationships = 16;
inline constexpr int kMaxHops = 16;
inline constexpr int kMaxLiteralDepth = 16;
inline constexpr std::uint64_t kMaxRows = 10000;

enum class QlDirection : std::int32_t { Out = 0, In = 1, Both = 2 };

struct QlNodePattern {
  std::string variable;  // empty when none was written
  std::string label;     // empty when none was written
  std::map<std::string, nlohmann::json> properties;  // property filters, unique names
};

struct QlRelPattern {
  std::string type;                         // never empty
  QlDirection direction = QlDirection::Out;
  std::int32_t min_hops = 1;                // 0 … 16
  std::int32_t max_hops = 1;                // min_hops … 16
};

struct QlReturnItem {
  std::string variable;  // a node variable
  std::string property;  // empty when the whole node is returned
  std::string column;    // result column name
};

struct QlQuery {
  std::vector<QlNodePattern> nodes;          // node positions, one more than relationships
  std::vector<QlRelPattern> relationships;   // relationship i joins nodes[i] and nodes[i+1]
  std::vector<std::pair<std::string, std::string>> where_not_equal;  // WHERE a <> b, in order
  bool count_star = true;                    // count(*)
  bool distinct = false;                     // DISTINCT in count(...) or after RETURN
  std::string count_variable;                // variable inside count(...)
  std::string text;                          // the whole statement, set after parsing
  bool is_count = true;                      // count projection; false for rows
  std::vector<QlReturnItem> returns;         // row projection items
  std::string count_alias = "count";         // column name of a count
  std::uint64_t limit = kMaxRows;            // maximum number of rows
  bool has_limit = false;                    // LIMIT was written
};

// Parses one statement. Throws QlError with the user-facing message for any
// lexical, grammatical or semantic failure (text that is not UTF-8, unknown
// variables, limits: 64 KiB
// of text, 16 relationships, 16 hops, literals nested 16 deep, LIMIT 0 …
// 10000); never returns a partial query.
QlQuery parse_query(std::string_view text);

}  // namespace orvane
