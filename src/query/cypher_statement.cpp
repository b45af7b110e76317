// The pipeline's driver: prepare (parse, bind, plan) and execute (build
// operators, pull rows through them).
#include "query/cypher_statement.h"

#include "graph/database.h"
#include "query/bind/binder.h"
#include "query/cypher_error.h"
#include "query/exec/operator.h"
#include "query/parse/parser.h"
#include "query/plan/count_pattern.h"
#include "query/plan/planner.h"
#include "query/procedures.h"
#include "query/statement_cursor.h"

namespace orvane {

namespace {

// A statement whose answer is one count: RETURN count(...) alone, without
// grouping keys, at the end of a single query.
bool single_count(const BoundStatement& bound) {
  if (bound.parts.size() != 1 || bound.parts[0].clauses.empty()) return false;
  const BoundClause& last = bound.parts[0].clauses.back();
  if (last.kind != BoundClauseKind::kProjection) return false;
  const BoundProjection& p = last.projection;
  if (!p.is_return || p.items.size() != 1 || p.aggregates.size() != 1 || p.skip || p.limit) return false;
  const AggregateKind kind = p.aggregates[0].kind;
  return (kind == AggregateKind::kCountStar || kind == AggregateKind::kCount) &&
         p.items[0].expr->kind == BoundKind::kAggregate;
}

}  // namespace

PreparedStatement prepare_statement(std::string_view text, const Database& db, const ProcedureRegistry* procedures,
                                    const PlanOptions& options) {
  const ast::Statement tree = parse_statement(text);
  BoundStatement bound = bind_statement(tree, text, db, procedures != nullptr ? *procedures : default_procedures());
  PreparedStatement out;
  out.columns = bound.columns;
  out.parameters = bound.parameters;
  out.slot_count = bound.slot_count;
  out.writes = bound.writes;
  out.catalog = bound.catalog;
  out.written = bound.written;
  out.single_count = single_count(bound);
  out.plan = plan_statement(bound, db, options);
  return out;
}

void execute_statement(const PreparedStatement& statement, const Database& db, const CypherParameters& parameters,
                       const WorkBound& bound, const std::function<bool(const std::vector<CypherValue>&)>& each,
                       Database* writable, OperatorProfile* profile) {
  StatementCursor cursor(statement, db, parameters, bound, writable, profile != nullptr);
  std::vector<CypherValue> record;
  while (cursor.next(record)) {
    if (!each(record)) break;
  }
  if (profile != nullptr) *profile = cursor.profile();
}

OperatorProfile explain_statement(const PreparedStatement& statement) {
  const std::function<OperatorProfile(const LogicalOp&)> of = [&](const LogicalOp& op) {
    if (op.kind == LogicalKind::kCountPattern) {
      // As it would run on the graph it was planned for: a method's leaf,
      // or the aggregation below when no method takes the pattern.
      if (!count_planned(*op.count_pattern)) return of(*op.children[0]);
      return OperatorProfile{operator_name(op), 0, {}, 0, op.estimated_rows};
    }
    OperatorProfile p{operator_name(op), 0, {}, 0, op.estimated_rows};
    for (const auto& child : op.children) p.children.push_back(of(*child));
    return p;
  };
  return of(*statement.plan);
}

bool statement_writes(std::string_view text) {
  ast::Statement tree;
  try {
    tree = parse_statement(text);
  } catch (const CypherError&) {
    return false;
  }
  if (tree.mode == ast::StatementMode::kExplain) return false;  // planned, never run
  const std::function<bool(const std::vector<ast::Clause>&)> writes = [&](const std::vector<ast::Clause>& clauses) {
    for (const ast::Clause& c : clauses) {
      switch (c.kind) {
        case ast::ClauseKind::kCreate:
        case ast::ClauseKind::kMerge:
        case ast::ClauseKind::kSet:
        case ast::ClauseKind::kRemove:
        case ast::ClauseKind::kDelete:
        case ast::ClauseKind::kForeach: return true;
        case ast::ClauseKind::kCallSubquery:
          if (c.subquery) {
            for (const ast::SingleQuery& q : c.subquery->parts) {
              if (writes(q.clauses)) return true;
            }
          }
          break;
        default: break;
      }
    }
    return false;
  };
  for (const ast::SingleQuery& q : tree.query.parts) {
    if (writes(q.clauses)) return true;
  }
  return false;
}

CypherResult run_statement(std::string_view text, const Database& db, const CypherParameters& parameters,
                           const WorkBound& bound) {
  const PreparedStatement prepared = prepare_statement(text, db);
  CypherResult result;
  result.columns = prepared.columns;
  execute_statement(prepared, db, parameters, bound, [&result](const std::vector<CypherValue>& record) {
    result.rows.push_back(record);
    return true;
  });
  return result;
}

}  // namespace orvane
