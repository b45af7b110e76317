// The syntax tree of one Cypher statement, as the parser produces it and
// the binder consumes it.
//
// The tree keeps what was written and nothing more: names stay text
// (labels, types, keys, variables, functions), nothing is resolved or
// checked against a graph, and every node records where it starts in the
// statement (a byte offset), so that the binder can report a semantic error
// at its place. An expression also records where it ends, because a result
// column is named by the text of its expression as written ("count(*)",
// "n.name").
//
// Shapes, in the openCypher grammar's terms:
//
//   Statement     [EXPLAIN | PROFILE] Query
//   Query         SingleQuery { UNION [ALL] SingleQuery }
//   SingleQuery   Clause { Clause }
//   Clause        MATCH | OPTIONAL MATCH | UNWIND | WITH | RETURN | CREATE |
//                 MERGE | SET | REMOVE | DELETE | DETACH DELETE | FOREACH |
//                 CALL procedure | CALL [( variables | * )] { subquery }
//   Pattern       PatternPart { "," PatternPart }
//   PatternPart   [path "="] [shortestPath | allShortestPaths] (
//                 NodePattern { RelPattern NodePattern } )
//   LabelExpr     Conjunct { "|" Conjunct }      (after ":"; "|:" too in a
//   Conjunct      Negation { ("&" | ":") Negation }     relationship's types)
//   Negation      { "!" } ( name | "%" | "(" LabelExpr ")" )
//
// Expressions are one struct with a kind and the members that kind uses
// (listed at each kind), rather than a class per kind: the tree is built
// once, walked a few times by the binder, and never evaluated itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::ast {

struct Expr;
struct Query;
struct Clause;
using ExprPtr = std::unique_ptr<Expr>;

enum class ExprKind : std::uint8_t {
  kNull,           // null
  kBool,           // bool_value
  kInteger,        // int_value (a literal beyond 64 bits is a syntax error)
  kFloat,          // float_value
  kString,         // text: the string with escapes resolved
  kParameter,      // name: "$name" without "$" (or the digits of "$0")
  kVariable,       // name
  kProperty,       // children[0] . name
  kList,           // [children...]
  kMap,            // {keys[i]: children[i]}
  kMapProjection,  // name { keys/children per item, see MapProjectionItem in `items` }
  kIndex,          // children[0] [ children[1] ]
  kSlice,          // children[0] [ children[1] .. children[2] ]; absent bounds are null pointers
  kUnary,          // op children[0]: kNot, kNegate, kPlus
  kBinary,         // children[0] op children[1]: arithmetic, boolean, string and list operators
  kComparison,     // a chain: children[0] ops[0] children[1] ops[1] children[2] ... (a < b <= c)
  kIsNull,         // children[0] IS NULL
  kIsNotNull,      // children[0] IS NOT NULL
  kHasLabels,      // children[0]:labels[0]:labels[1]... (a label or type test), or
                   // children[0]:label_expr (n:A|B, n:!A, ...)
  kFunction,       // name(children...), name as written with its namespace ("date.truncate");
                   // distinct for count(DISTINCT x)
  kCountStar,      // count(*)
  kCase,           // CASE [children[0] when has_subject] WHEN ... THEN ... [ELSE ...] END:
                   // whens[i], thens[i], else_expr (may be null)
  kListComprehension,     // [name IN children[0] WHERE where | projection]; where, projection may be null
  kPatternComprehension,  // [path_name = pattern WHERE where | projection]
  kQuantifier,            // quantifier (name IN children[0] WHERE where): all, any, none, single
  kReduce,                // reduce(name = children[0], name2 IN children[1] | projection)
  kPatternPredicate,      // a relationship pattern used as a boolean: pattern
  kExists,                // EXISTS { subquery } or EXISTS { pattern [WHERE where] }
  kCountSubquery,         // COUNT { subquery } or COUNT { pattern [WHERE where] }
};

enum class Op : std::uint8_t {
  // unary
  kNot,
  kNegate,
  kPlus,
  // binary
  kOr,
  kXor,
  kAnd,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kModulo,
  kPower,
  kIn,
  kStartsWith,
  kEndsWith,
  kContains,
  kRegexMatch,  // =~
  // comparison (in kComparison chains)
  kEqual,
  kNotEqual,  // <> (and != where accepted)
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
};

enum class Quantifier : std::uint8_t { kAll, kAny, kNone, kSingle };

// A label or type expression as Neo4j 5 writes it after ":" where a plain
// list cannot say it: n:A|B, n:!A, n:%, n:(A|B)&C. A conjunction of names
// (n:A:B, n:A&B) and a relationship's alternatives ([:A|B]) are kept as
// plain lists instead (NodePattern::labels, RelPattern::types,
// Expr::labels), which is what CREATE accepts.
struct LabelExpr {
  enum class Kind : std::uint8_t {
    kName,  // name
    kAny,   // %: any label (for a relationship: any type)
    kNot,   // !operands[0]
    kAnd,   // operands[0] & operands[1] & ...
    kOr,    // operands[0] | operands[1] | ...
  } kind = Kind::kName;
  std::size_t offset = 0;
  std::string name;
  std::vector<LabelExpr> operands;
};

enum class Direction : std::uint8_t {
  kRight,  // (a)-[]->(b)
  kLeft,   // (a)<-[]-(b)
  kBoth,   // (a)-[]-(b) or (a)<-[]->(b)
};

struct NodePattern {
  std::size_t offset = 0;
  std::string variable;             // empty when none was written
  std::vector<std::string> labels;  // (n:A:B), (n:A&B): every one must hold
  std::shared_ptr<LabelExpr> label_expr;  // (n:A|B), (n:!A), ...: instead of labels; else null
  ExprPtr properties;               // a kMap or kParameter, or null
};

struct RelPattern {
  std::size_t offset = 0;
  std::string variable;            // empty when none was written
  std::vector<std::string> types;  // [:A|B]: any one; empty for any type
  std::shared_ptr<LabelExpr> type_expr;  // [:!A], [:%], [:A&B], ...: instead of types; else null
  Direction direction = Direction::kRight;
  bool variable_length = false;       // [*], [*2], [*1..3], [*..3], [*2..]
  std::optional<std::int64_t> min_hops;  // with variable_length; absent: 1
  std::optional<std::int64_t> max_hops;  // with variable_length; absent: unbounded
  ExprPtr properties;                 // a kMap or kParameter, or null
};

enum class PathFunction : std::uint8_t { kNone, kShortest, kAllShortest };

// One comma-separated part of a pattern: a chain of nodes joined by
// relationships (nodes.size() == rels.size() + 1).
struct PatternPart {
  std::size_t offset = 0;
  std::string path_variable;  // p = ...; empty when none was written
  PathFunction function = PathFunction::kNone;
  std::vector<NodePattern> nodes;
  std::vector<RelPattern> rels;
};

struct Pattern {
  std::vector<PatternPart> parts;
};

// One item of a map projection n {.name, .*, key: expr, var}.
struct MapProjectionItem {
  enum class Kind : std::uint8_t { kProperty, kAllProperties, kLiteral, kVariable } kind = Kind::kProperty;
  std::string key;  // property name (kProperty), entry key (kLiteral), variable (kVariable)
  ExprPtr value;    // kLiteral only
};

struct Expr {
  ExprKind kind = ExprKind::kNull;
  std::size_t offset = 0;  // first byte of the expression in the statement
  std::size_t end = 0;     // one past its last byte

  bool bool_value = false;
  std::int64_t int_value = 0;
  double float_value = 0;
  std::string text;  // kString
  std::string name;  // variable, parameter, property key, function name, comprehension variable
  std::string name2;  // reduce: the list variable
  Op op = Op::kNot;
  std::vector<Op> ops;  // kComparison
  Quantifier quantifier = Quantifier::kAll;
  bool distinct = false;
  bool has_subject = false;  // kCase with a subject expression
  std::vector<ExprPtr> children;
  std::vector<std::string> keys;    // kMap keys, in written order
  std::vector<std::string> labels;  // kHasLabels
  std::shared_ptr<LabelExpr> label_expr;  // kHasLabels written with |, !, % or parentheses; labels is then empty
  std::vector<MapProjectionItem> items;  // kMapProjection
  std::vector<ExprPtr> whens, thens;     // kCase
  ExprPtr else_expr;                     // kCase
  ExprPtr where;                         // comprehensions, quantifiers, pattern forms of EXISTS / COUNT
  ExprPtr projection;                    // comprehensions, reduce
  std::shared_ptr<Pattern> pattern;      // pattern comprehension, pattern predicate, EXISTS/COUNT { pattern }
  std::shared_ptr<Query> subquery;       // EXISTS { query }, COUNT { query }
};

struct ProjectionItem {
  ExprPtr expr;
  std::string alias;  // empty when no AS was written
  std::string text;   // the expression as written: the column name when there is no alias
};

struct SortItem {
  ExprPtr expr;
  bool descending = false;
};

// The body of WITH and RETURN.
struct Projection {
  bool distinct = false;
  bool star = false;  // RETURN *, WITH * (items may follow: WITH *, x AS y)
  std::vector<ProjectionItem> items;
  std::vector<SortItem> order_by;
  ExprPtr skip;   // null when absent
  ExprPtr limit;  // null when absent
  ExprPtr where;  // WITH ... WHERE; null when absent
};

struct SetItem {
  enum class Kind : std::uint8_t {
    kProperty,  // target (a kProperty expression) = value
    kReplace,   // variable = value (a map)
    kMerge,     // variable += value
    kLabels,    // variable:labels...
  } kind = Kind::kProperty;
  std::size_t offset = 0;
  ExprPtr target;  // kProperty
  std::string variable;
  std::vector<std::string> labels;
  ExprPtr value;
};

struct RemoveItem {
  enum class Kind : std::uint8_t { kProperty, kLabels } kind = Kind::kProperty;
  std::size_t offset = 0;
  ExprPtr target;  // kProperty: a kProperty expression
  std::string variable;
  std::vector<std::string> labels;
};

struct YieldItem {
  std::string field;  // the procedure's output name
  std::string alias;  // empty when no AS was written
};

enum class ClauseKind : std::uint8_t {
  kMatch,
  kUnwind,
  kWith,
  kReturn,
  kCreate,
  kMerge,
  kSet,
  kRemove,
  kDelete,
  kForeach,
  kCall,          // CALL procedure
  kCallSubquery,  // CALL { ... }, CALL (a, b) { ... }
};

struct Clause {
  ClauseKind kind = ClauseKind::kMatch;
  std::size_t offset = 0;

  bool optional = false;  // OPTIONAL MATCH
  Pattern pattern;        // MATCH, CREATE, MERGE (one part)
  ExprPtr where;          // MATCH ... WHERE; CALL ... YIELD ... WHERE

  ExprPtr expr;          // UNWIND expr AS variable; FOREACH (variable IN expr | body)
  std::string variable;  // UNWIND, FOREACH

  Projection projection;  // WITH, RETURN

  std::vector<SetItem> set_items;             // SET
  std::vector<SetItem> on_create, on_match;   // MERGE ON CREATE SET / ON MATCH SET
  std::vector<RemoveItem> remove_items;       // REMOVE
  std::vector<ExprPtr> delete_exprs;          // DELETE
  bool detach = false;                        // DETACH DELETE
  std::vector<Clause> body;                   // FOREACH

  std::string procedure;             // CALL: the dotted name as written ("db.labels")
  std::vector<ExprPtr> arguments;    // CALL: the arguments
  bool implicit_arguments = false;   // CALL name without parentheses: arguments from parameters
  bool yield_star = false;           // YIELD *
  std::vector<YieldItem> yields;     // YIELD a, b AS c
  std::shared_ptr<Query> subquery;   // CALL { ... }
  bool scoped = false;               // CALL (a, b) { ... }, CALL (*) { ... }, CALL () { ... }
  bool import_all = false;           // CALL (*) { ... }
  std::vector<std::string> imports;  // CALL (a, b) { ... }: the variables it imports
  std::vector<std::size_t> import_offsets;  // where each of them is written
};

struct SingleQuery {
  std::vector<Clause> clauses;
};

struct Query {
  std::vector<SingleQuery> parts;  // joined by UNION
  std::vector<bool> union_all;     // union_all[i] joins parts[i] and parts[i+1]
};

enum class StatementMode : std::uint8_t { kRun, kExplain, kProfile };

struct Statement {
  StatementMode mode = StatementMode::kRun;
  Query query;
};

}  // namespace orvane::ast
