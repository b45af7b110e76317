// The pipeline's driver: prepare (parse, bind, plan) and execute (build
// operators, pull rows through them).
#include "query/cypher_statement.h"

#include "graph/database.h"
#include "query/bind/binder.h"
#include "query/cypher_error.h"
#include "query/exec/operator.h"
#include "query/parse/parser.h"
#include "query/plan/planner.h"

namespace orvane {

PreparedStatement prepare_statement(std::string_view text, const Database& db) {
  const ast::Statement tree = parse_statement(text);
  BoundStatement bound = bind_statement(tree, text, db);
  PreparedStatement out;
  out.columns = bound.columns;
  out.parameters = bound.parameters;
  out.slot_count = bound.slot_count;
  out.plan = plan_statement(bound, db);
  return out;
}

void execute_statement(const PreparedStatement& statement, const Database& db, const CypherParameters& parameters,
                       const WorkBound& bound, const std::function<bool(const std::vector<CypherValue>&)>& each) {
  std::vector<CypherValue> values;
  std::string missing;
  for (const std::string& name : statement.parameters) {
    const auto it = parameters.find(name);
    if (it == parameters.end()) {
      missing += (missing.empty() ? "" : ", ") + name;
      values.emplace_back();
    } else {
      values.push_back(it->second);
    }
  }
  if (!missing.empty()) {
    throw CypherError("ParameterMissing", "MissingParameter", ErrorPhase::kCompileTime,
                      "Expected parameter(s): " + missing);
  }
  ExecContext context(db, std::move(values), bound);
  const std::uint32_t width = statement.slot_count;
  context.run_subplan = [&context, width](const LogicalOp& plan, const Row& argument,
                                          const std::function<bool(Row&)>& inner_each) {
    std::unique_ptr<Operator> root = build_operators(plan, context);
    Row start = argument;
    start.resize(width);
    root->open(start);
    Row row(width);
    while (root->next(row)) {
      if (!inner_each(row)) break;
    }
  };
  std::unique_ptr<Operator> root = build_operators(*statement.plan, context);
  const Row start(width);
  root->open(start);
  Row row(width);
  std::vector<CypherValue> record(statement.plan->slots.size());
  while (root->next(row)) {
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = row[statement.plan->slots[i]];
    if (!each(record)) break;
  }
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
