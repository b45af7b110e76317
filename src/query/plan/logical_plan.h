// The logical plan: a tree of small operators, each reading rows from its
// first child (its input) and writing its own slots. Every leaf is an
// Argument, which yields the row the plan was started with: the empty row
// for a statement, the outer row for a subquery or an OPTIONAL MATCH. A
// pattern is a chain of scans and expands over that input, so a second
// MATCH simply continues the chain (for each row so far, the new pattern).
//
// The plan is what EXPLAIN prints and what the executor (exec/) turns into
// operators one to one; rewrites (plan/rewrites.h) replace subtrees with
// cheaper ones that answer the same rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "query/bind/bound_query.h"

namespace orvane {

enum class LogicalKind : std::uint8_t {
  kArgument,        // the start row
  kNodeScan,        // each node (with `labels[0]` when given) into `slot`; `expressions`: property tests
                    // pushed down (pushdown.h) that the node must pass
  kExpand,          // from `from_slot` over a relationship into `rel_slot`, reaching `to_slot`
  kVarExpand,       // the same over `min_hops` … `max_hops` relationships; `rel_slot` gets their list
  kFilter,          // rows where `expressions[0]` is true
  kOptional,        // children[1] per input row with the row as argument; none → the row with `slots` null
  kProjectPath,     // a path from `slots` (nodes) and `rel_slots` (relationships or lists) into `slot`
  kProjection,      // expressions[i] into slots[i]
  kAggregation,     // groups by expressions[i] → slots[i]; aggregates into their slots
  kDistinct,        // rows distinct on `slots`
  kSort,            // by sort keys
  kTop,             // the first `limit` rows by sort keys (sort with a limit, keeping only those)
  kSkip,            // drops expressions[0] rows
  kLimit,           // passes expressions[0] rows
  kUnwind,          // each element of expressions[0] into `slot`
  kUnion,           // the rows of every child in turn, their `column_slots` copied into `slots`
  kProduceResults,  // the statement's columns: `slots`
  kCreate,          // the nodes and relationships of `create`, per input row
  kSet,             // the property and label writes of `set`, per input row
  kMerge,           // per input row, children[1] (the pattern as a read) with the row as argument: each
                    // match with `merge`'s ON MATCH items applied, or else the pattern made, with ON CREATE
  kForeach,         // per input row, children[1] run to its end once for each element of expressions[0]
                    // in `slot`; then the row itself
  kDelete,          // the entities `expressions` yield deleted, per input row (`detach`: with their
                    // relationships)
  kEager,           // every input row, then (after writes) the graph compiled, then the rows
  kProcedureCall,   // the rows of `call`'s procedure per input row, its outputs into their slots
  kCountPattern,    // `count_pattern`'s count into its slot by a counting method; else children[0]'s row
  kShortestPath,    // the shortest paths from `from_slot` to `to_slot` (both bound): `rel_slot` gets the
                    // relationships, `slot` the path (kNoSlot: none); `all_paths` for allShortestPaths
  kApply,           // children[1] per input row with the row as argument; its `slots` join the row
                    // (a CALL subquery), or, with no `slots`, it runs to its end and the row passes once
  kNodeByIdSeek,    // the nodes whose ids expressions[0] names (`seek_form`) into `slot`
  kRelationshipByIdSeek,  // the relationship(s) expressions[0] names into `rel_slot`, its ends into
                          // `from_slot` and `to_slot` as `direction` reads them
};

// How a seek reads its expression.
enum class SeekForm : std::uint8_t {
  kId,           // id(x) = value
  kIdList,       // id(x) IN list
  kElementId,    // elementId(x) = value
  kElementIdList,  // elementId(x) IN list
  kGeneratedId,  // {id: value} on a generated graph: the node of that id while no node stores
                 // the property "id", else every node (the planner's filter decides)
};

struct CountPattern;

struct LogicalOp {
  LogicalKind kind = LogicalKind::kArgument;
  std::vector<std::shared_ptr<LogicalOp>> children;  // children[0]: the input

  std::uint32_t slot = kNoSlot;
  std::uint32_t from_slot = kNoSlot, rel_slot = kNoSlot, to_slot = kNoSlot;
  std::vector<std::uint16_t> labels;   // kNodeScan: the label scanned (first); the rest are filtered;
                                       // kExpand: labels the node reached must have (pushed down)
  std::vector<std::uint16_t> types;    // kExpand, kVarExpand: any of these; empty for any type
  ast::Direction direction = ast::Direction::kRight;
  bool into = false;                   // kExpand/kVarExpand: `to_slot` is bound already; check it
  bool rel_into = false;               // kExpand: `rel_slot` is bound already; only it may be taken
  bool impossible = false;             // nothing can match (an unknown label or type)
  bool reversed = false;               // kVarExpand: walks against the pattern's order; its list is reversed
  std::int64_t min_hops = 1, max_hops = 1;  // kVarExpand; max -1 for unbounded
  std::vector<std::uint32_t> distinct_from;  // relationship (or list) slots the new relationship must differ from
  std::vector<std::uint32_t> slots;
  std::vector<std::uint32_t> rel_slots;
  std::vector<bool> rel_is_list;       // kProjectPath: rel_slots[i] holds a variable-length list
  std::vector<std::vector<std::uint32_t>> column_slots;  // kUnion: per child
  std::vector<std::shared_ptr<BoundExpr>> expressions;
  std::vector<std::uint32_t> rel_keys;  // kVarExpand: each hop's relationship must hold expressions[i] under rel_keys[i]
  std::vector<std::shared_ptr<BoundAggregate>> aggregates;
  std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>> sort_keys;  // expression, descending
  std::shared_ptr<BoundExpr> limit;    // kTop
  bool distinct = false;               // kUnion without ALL
  bool drains = false;                 // kLimit: pulls every input row after its last (writes run below)
  bool detach = false;                 // kDelete: DETACH DELETE
  std::vector<std::string> columns;    // kProduceResults
  std::shared_ptr<BoundCreate> create;  // kCreate
  std::shared_ptr<BoundSet> set;        // kSet
  std::shared_ptr<BoundMerge> merge;    // kMerge
  std::shared_ptr<BoundCall> call;      // kProcedureCall
  std::shared_ptr<const CountPattern> count_pattern;  // kCountPattern
  double estimated_rows = 0;           // the planner's estimate, for EXPLAIN
  std::string details;                 // a short description for EXPLAIN ("(p:Person)", "n.age > $x")
  // kShortestPath
  bool all_paths = false;              // allShortestPaths: every path of the least length
  bool rel_list = true;                // `rel_slot` holds the list of relationships (else the one relationship)
  std::shared_ptr<BoundExpr> path_predicate;  // what a found path must also meet (WHERE on the path); null: none
  std::vector<std::shared_ptr<BoundExpr>> node_filters;  // all/none(x IN nodes(p) WHERE ...) kQuantifiers: every
                                                         // node of the path must pass, checked during the search
  std::vector<std::shared_ptr<BoundExpr>> rel_filters;   // the same over relationships(p)
  // kNodeByIdSeek, kRelationshipByIdSeek
  SeekForm seek_form = SeekForm::kId;
};

// The name EXPLAIN prints for `kind` ("NodeByLabelScan", "Expand(All)", ...).
const char* operator_name(const LogicalOp& op);

}  // namespace orvane
