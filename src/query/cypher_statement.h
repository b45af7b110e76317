// The query engine's entry: a Cypher statement over a Database, through
// the pipeline
//
//   text ──parse──▶ syntax tree ──bind──▶ bound statement ──plan──▶
//   logical plan ──build──▶ operators ──pull──▶ rows
//
// (parse/, bind/, plan/, exec/; functions/ holds the scalar functions the
// binder resolves). Each stage reads only what the one before produced.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graph/cypher_value.h"
#include "query/bind/bound_query.h"
#include "query/exec/exec_context.h"
#include "query/plan/planner.h"

namespace orvane {

class Database;
struct LogicalOp;

using CypherParameters = std::map<std::string, CypherValue>;

// What one operator did, for PROFILE (rows) and EXPLAIN (rows 0); the
// tree mirrors the plan that ran.
struct OperatorProfile {
  std::string name;  // operator_name of the logical operator
  std::uint64_t rows = 0;
  std::vector<OperatorProfile> children;
  std::uint64_t ns = 0;         // PROFILE: time in the operator and its inputs
  double estimated_rows = 0;    // EXPLAIN: the planner's estimate
};

struct CypherResult {
  std::vector<std::string> columns;
  std::vector<std::vector<CypherValue>> rows;
};

// A statement prepared for one Database: parsed, bound and planned.
struct PreparedStatement {
  std::shared_ptr<LogicalOp> plan;
  std::vector<std::string> columns;
  std::vector<std::string> parameters;  // names, by the plan's parameter index
  std::uint32_t slot_count = 0;
  bool writes = false;  // changes the graph: execute it with a writable Database
  std::vector<CatalogRead> catalog;  // the names it was bound with (plan_cache.h)
  WrittenNames written;              // the names its writes may make
  bool single_count = false;  // its one column is count(...) over the whole match, no grouping: one row
};

class ProcedureRegistry;

// Parses, binds and plans `text` for `db`, with the procedures of
// `procedures` (default: the graph procedures alone) and the planner's
// `options` (default: every rewrite). Throws CypherError (SyntaxError at
// compile time for what the parser or the binder refuses).
PreparedStatement prepare_statement(std::string_view text, const Database& db,
                                    const ProcedureRegistry* procedures = nullptr, const PlanOptions& options = {});

// Runs a prepared statement, calling `each` with every row (the columns'
// values in order) until it returns false; a statement without RETURN runs
// to its end and calls it never. A writing statement needs `writable`
// (the same Database as `db`): it changes it, leaving the changes in the
// graph's delta, and the caller keeps them (folding when it chooses) or
// rolls them back to a mark taken before. `db`'s graph must be csr_valid. Throws CypherError "ParameterMissing" at compile time
// for a parameter `parameters` lacks, and the run-time errors of the
// operators and expressions.
void execute_statement(const PreparedStatement& statement, const Database& db, const CypherParameters& parameters,
                       const WorkBound& bound, const std::function<bool(const std::vector<CypherValue>&)>& each,
                       Database* writable = nullptr, OperatorProfile* profile = nullptr);

// The operator tree of a prepared statement as EXPLAIN shows it (rows 0).
OperatorProfile explain_statement(const PreparedStatement& statement);

// Whether `text` parses as a statement that changes the graph (CREATE,
// MERGE, SET, REMOVE, DELETE, FOREACH anywhere in it); false for text that
// does not parse.
bool statement_writes(std::string_view text);

// prepare_statement and execute_statement, collecting every row.
CypherResult run_statement(std::string_view text, const Database& db, const CypherParameters& parameters = {},
                           const WorkBound& bound = {});

}  // namespace orvane
