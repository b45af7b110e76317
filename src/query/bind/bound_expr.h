// A bound expression: the binder's form of a syntax-tree expression, with
// every name resolved once — variables to row slots, parameters to their
// index, functions to their implementation, label and type names to ids of
// the Database the plan was made for — so that evaluating it per row
// (exec/evaluate.h) looks nothing up by name except property keys, which
// are resolved to key ids of both property stores.
//
// Like the syntax tree, one struct with a kind and the members the kind
// uses, listed at each kind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graph/cypher_value.h"
#include "query/parse/ast.h"

namespace orvane {

struct BoundExpr;
using BoundExprPtr = std::unique_ptr<BoundExpr>;
struct ScalarFunction;
struct LogicalOp;

inline constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
inline constexpr std::uint32_t kUnknownKey = 0xFFFFFFFFu;  // a property key the store does not know

enum class BoundKind : std::uint8_t {
  kConstant,        // constant
  kParameter,       // the parameter named `name` (looked up once per execution, by index `slot`)
  kSlot,            // the value in row slot `slot`
  kProperty,        // children[0].name; node_key / rel_key resolved
  kList,            // [children...]
  kMap,             // {keys[i]: children[i]}
  kMapProjection,   // children[0] {items}: keys[i] with children[i + 1], or all properties when all_properties
  kIndex,           // children[0][children[1]]
  kSlice,           // children[0][children[1]..children[2]]; a missing bound is a null constant
  kNot,             // NOT children[0]
  kNegate,          // -children[0]
  kBinary,          // children[0] op children[1]
  kAnd,             // children... (three-valued)
  kOr,              // children... (three-valued)
  kXor,             // children[0] XOR children[1]
  kComparison,      // chain: children[i] ops[i] children[i+1], joined by AND
  kIsNull,          // children[0] IS NULL
  kIsNotNull,       // children[0] IS NOT NULL
  kHasLabels,       // children[0] has every label in label_ids (a node), or one of them as type (a relationship)
  kFunction,        // function(children...)
  kAggregate,       // the value of aggregate `slot` of the current group (aggregation operators fill it)
  kCase,            // subject (children[0] when has_subject), whens/thens, else_expr
  kListComprehension,  // [slot IN children[0] WHERE where | projection]
  kQuantifier,         // quantifier(slot IN children[0] WHERE where)
  kReduce,             // reduce(slot = children[0], slot2 IN children[1] | projection)
  kSubquery,           // EXISTS / COUNT / pattern predicate / pattern comprehension: run `plan`
                       // with this row as its argument; subquery_kind says what to make of its rows
};

enum class SubqueryKind : std::uint8_t {
  kExists,  // true when the plan yields a row
  kCount,   // the number of rows
  kCollect  // the list of children[0] (the projection) over the rows
};

struct BoundExpr {
  BoundKind kind = BoundKind::kConstant;
  CypherValue constant;
  std::string name;  // parameter name, property key, function name (for messages)
  std::uint32_t slot = kNoSlot;
  std::uint32_t slot2 = kNoSlot;
  std::uint32_t node_key = kUnknownKey;  // property key in the node store
  std::uint32_t rel_key = kUnknownKey;   // property key in the relationship store
  ast::Op op = ast::Op::kAdd;
  std::vector<ast::Op> ops;
  ast::Quantifier quantifier = ast::Quantifier::kAll;
  std::vector<std::uint16_t> label_ids;  // kHasLabels: ids that exist; names that do not are left out
  bool unknown_label = false;            // kHasLabels: some name is no label (or type) of the graph
  bool any_label = false;                // kHasLabels: n:% (some label; a relationship always has its type)
  bool all_properties = false;           // kMapProjection: .*
  bool has_subject = false;              // kCase
  std::vector<std::string> keys;
  std::vector<BoundExprPtr> children;
  std::vector<BoundExprPtr> whens, thens;
  BoundExprPtr else_expr, where, projection;
  const ScalarFunction* function = nullptr;
  SubqueryKind subquery_kind = SubqueryKind::kExists;
  std::shared_ptr<LogicalOp> plan;  // kSubquery
  // The type the binder knows the value has before running, as type_name
  // names it ("INTEGER", "NODE", "LIST<ANY>"); empty when it does not know
  // (and for null). Only the binder's type checks read it.
  std::string known_type;
};

}  // namespace orvane
