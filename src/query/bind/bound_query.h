// The binder's output: a statement whose every name is resolved — each
// variable to a row slot (one slot per variable per scope, never reused,
// so that a row carries every value any operator reads), labels and types
// to ids of the Database, property keys to store key ids, functions to
// their implementations, aggregates to slots of their own — and whose
// semantic errors have been reported. The planner (plan/planner.h) turns
// it into operators without looking at a name again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "query/bind/bound_expr.h"
#include "query/parse/ast.h"

namespace orvane {

struct BoundProperty {
  std::string key;
  std::uint32_t node_key = kUnknownKey;
  std::uint32_t rel_key = kUnknownKey;
  BoundExprPtr value;
};

struct BoundNode {
  std::uint32_t slot = kNoSlot;
  bool bound = false;                 // bound before this clause: the pattern must meet it (a variable
                                      // repeated within the clause shares the slot, bound = false)
  std::vector<std::uint16_t> labels;  // every one must hold
  bool impossible = false;            // a label no node has: nothing matches
  BoundExprPtr label_test;            // (n:A|B), (n:!A), ...: a predicate on the node once bound; else null
  std::vector<BoundProperty> properties;
};

struct BoundRel {
  std::uint32_t slot = kNoSlot;       // a relationship, or for variable length the list of them
  bool bound = false;
  std::vector<std::uint16_t> types;   // any one; empty for any type (a type expression, [:!T], is
                                      // resolved to the types of the graph that meet it)
  bool impossible = false;            // only types the graph does not have
  ast::Direction direction = ast::Direction::kRight;
  bool variable_length = false;
  std::int64_t min_hops = 1;
  std::int64_t max_hops = 1;          // -1: unbounded
  std::vector<BoundProperty> properties;
};

struct BoundPatternPart {
  std::uint32_t path_slot = kNoSlot;
  ast::PathFunction function = ast::PathFunction::kNone;
  std::vector<BoundNode> nodes;
  std::vector<BoundRel> rels;
};

struct BoundMatch {
  bool optional = false;
  std::vector<BoundPatternPart> parts;
  BoundExprPtr where;                      // null when absent
  std::vector<std::uint32_t> new_slots;    // slots this clause binds (nulled by OPTIONAL when nothing matches)
};

struct BoundUnwind {
  BoundExprPtr list;
  std::uint32_t slot = kNoSlot;
};

enum class AggregateKind : std::uint8_t {
  kCountStar, kCount, kSum, kAvg, kMin, kMax, kCollect, kStDev, kStDevP, kPercentileCont, kPercentileDisc
};

struct BoundAggregate {
  AggregateKind kind = AggregateKind::kCountStar;
  bool distinct = false;
  BoundExprPtr argument;    // null for count(*)
  BoundExprPtr percentile;  // percentileCont / percentileDisc: the second argument
  std::uint32_t slot = kNoSlot;
};

struct BoundItem {
  BoundExprPtr expr;
  std::uint32_t slot = kNoSlot;
  std::string column;  // the alias, or the expression's text
};

struct BoundSortKey {
  BoundExprPtr expr;
  bool descending = false;
};

// WITH or RETURN: items (grouping keys when there are aggregates; the
// items' expressions read the aggregates' slots), then DISTINCT, WHERE
// (WITH only), ORDER BY, SKIP and LIMIT, in that order.
struct BoundProjection {
  bool is_return = false;
  bool distinct = false;
  std::vector<BoundItem> items;
  std::vector<BoundAggregate> aggregates;
  BoundExprPtr where;
  std::vector<BoundSortKey> order_by;
  BoundExprPtr skip, limit;  // constant or parameter expressions, checked at run time
};

// CREATE: new nodes and relationships, per input row. A node whose
// variable is bound already is used as it is.
struct BoundCreateNode {
  std::uint32_t slot = kNoSlot;
  bool existing = false;
  std::vector<std::string> labels;  // names: a new one is registered when the node is made
  std::vector<std::pair<std::string, BoundExprPtr>> properties;
  BoundExprPtr property_map;  // CREATE (n $props): a map-valued parameter in place of `properties`; else null
};

struct BoundCreateRel {
  std::uint32_t slot = kNoSlot;
  std::string type;
  bool reversed = false;  // (a)<-[:T]-(b): starts at the later node of the pattern
  std::vector<std::pair<std::string, BoundExprPtr>> properties;
  BoundExprPtr property_map;  // as for nodes
};

struct BoundCreatePart {
  std::uint32_t path_slot = kNoSlot;
  std::vector<BoundCreateNode> nodes;
  std::vector<BoundCreateRel> rels;
};

struct BoundCreate {
  std::vector<BoundCreatePart> parts;
};

// SET and REMOVE: property and label writes on nodes and relationships,
// applied per row in the order written (a later item sees an earlier
// one's change).
struct BoundSetItem {
  enum class Kind : std::uint8_t {
    kProperty,        // target.key = value (null removes)
    kReplace,         // target = value: a map (null entries left out) or an entity's properties
    kMerge,           // target += value: a map's entries (null entries remove)
    kAddLabels,       // target:labels
    kRemoveProperty,  // REMOVE target.key
    kRemoveLabels,    // REMOVE target:labels
  } kind = Kind::kProperty;
  BoundExprPtr target;              // the node or relationship (null leaves the row as it is)
  std::string key;                  // kProperty, kRemoveProperty
  BoundExprPtr value;               // kProperty, kReplace, kMerge
  std::vector<std::string> labels;  // kAddLabels, kRemoveLabels: names, made when new
};

struct BoundSet {
  bool remove = false;  // written as REMOVE
  std::vector<BoundSetItem> items;
};

// DELETE and DETACH DELETE: per row, the node, relationship or path each
// expression yields (null deletes nothing).
struct BoundDelete {
  bool detach = false;
  std::vector<BoundExprPtr> exprs;
};

// MERGE: the pattern as a read (`match`) and as a write (`create`, in the
// same slots), and the SET items of ON CREATE and ON MATCH (null for
// none). Per input row, every match of the pattern passes with ON MATCH
// applied; when there is none, the pattern is made, with ON CREATE.
struct BoundMerge {
  BoundPatternPart match;
  BoundCreatePart create;
  std::vector<std::uint32_t> new_slots;  // the slots the MERGE binds
  std::shared_ptr<BoundSet> on_create, on_match;
};

struct BoundSingleQuery;

// FOREACH (x IN list | updates): per row, the update clauses run once for
// each element of the list in `slot`; the row itself passes unchanged.
struct BoundForeach {
  BoundExprPtr list;
  std::uint32_t slot = kNoSlot;
  std::shared_ptr<BoundSingleQuery> body;
};

struct Procedure;

// CALL: the procedure, its arguments, and the slot each output goes to
// (kNoSlot for an output not yielded).
struct BoundCall {
  std::shared_ptr<const Procedure> procedure;
  std::vector<BoundExprPtr> arguments;
  std::vector<std::uint32_t> output_slots;
};

struct BoundSingleQuery;
struct BoundCallSubquery;

enum class BoundClauseKind : std::uint8_t {
  kMatch, kUnwind, kProjection, kCreate, kCall, kCallSubquery, kSet, kDelete, kMerge, kForeach
};

struct BoundClause {
  BoundClauseKind kind = BoundClauseKind::kMatch;
  BoundMatch match;
  BoundUnwind unwind;
  BoundProjection projection;
  std::shared_ptr<BoundCreate> create;
  std::shared_ptr<BoundSet> set;  // SET, REMOVE
  std::shared_ptr<BoundDelete> del;  // DELETE
  std::shared_ptr<BoundMerge> merge;  // MERGE
  std::shared_ptr<BoundForeach> foreach;  // FOREACH
  std::shared_ptr<BoundCall> call;
  BoundExprPtr call_where;  // CALL ... YIELD ... WHERE
  std::shared_ptr<BoundCallSubquery> subquery;  // CALL { ... }
};

struct BoundSingleQuery {
  std::vector<BoundClause> clauses;
  std::vector<std::string> columns;         // RETURN's columns; empty for a query without RETURN
  std::vector<std::uint32_t> column_slots;  // the slot of each column
};

// A name the binder resolved against the Database, and what it found: a
// plan is valid for another Database state only while each still resolves
// the same (query/plan_cache.h).
// kTypeCount (name empty) is how many relationship types the graph has: a
// plan whose type expression ([:!T]) was resolved to a list of types holds
// only while no type is added.
enum class CatalogKind : std::uint8_t { kLabel, kType, kNodeKey, kRelKey, kTypeCount };
struct CatalogRead {
  CatalogKind kind = CatalogKind::kLabel;
  std::string name;
  std::uint32_t id = 0;  // the id found, or kUnknownKey for none; kTypeCount: the count
  bool operator==(const CatalogRead&) const = default;
};

// CALL { ... }: its parts (joined by UNION), each bound in a scope of its
// own that holds only what its importing WITH imported. The returned
// columns join the outer scope in the first part's slots; a unit subquery
// (no RETURN) returns none.
struct BoundCallSubquery {
  std::vector<BoundSingleQuery> parts;
  bool union_distinct = false;              // UNION without ALL
  std::vector<std::uint32_t> column_slots;  // the first part's column slots; empty for a unit subquery
};

// The names a statement's writes may make (CREATE, MERGE and SET): the
// caller registers them before running it, so that every clause of the
// statement is bound and planned with them known, reads after a write
// included.
struct WrittenNames {
  std::vector<std::string> labels, types, keys;
};

struct BoundStatement {
  ast::StatementMode mode = ast::StatementMode::kRun;
  bool writes = false;  // some clause changes the graph
  std::vector<BoundSingleQuery> parts;  // joined by UNION
  std::vector<bool> union_all;
  std::uint32_t slot_count = 0;               // the width of every row
  std::vector<std::string> parameters;        // names, by parameter index
  std::vector<std::string> columns;           // the statement's result columns
  std::vector<CatalogRead> catalog;           // every name resolved against the Database
  WrittenNames written;                       // what its writes may name
};

}  // namespace orvane
