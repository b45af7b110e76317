// CALL { ... }: the subquery's plan (its UNION parts under a Union, and a
// Distinct for UNION without ALL, as for a whole statement) under an
// Apply whose input is the plan so far. Each part starts from an Argument
// leaf, so it sees the outer row; what it imported is in that row's slots
// already.
#include "query/plan/pattern_planning.h"
#include "query/plan/planner.h"

namespace orvane {

std::shared_ptr<LogicalOp> plan_call_subquery(BoundCallSubquery& call, std::shared_ptr<LogicalOp> input,
                                              const Database& db) {
  std::shared_ptr<LogicalOp> body;
  if (call.parts.size() == 1) {
    body = plan_subquery(std::move(call.parts[0]), db);
  } else {
    body = std::make_shared<LogicalOp>();
    body->kind = LogicalKind::kUnion;
    body->distinct = call.union_distinct;
    body->slots = call.column_slots;
    for (BoundSingleQuery& part : call.parts) {
      body->column_slots.push_back(part.column_slots);
      body->children.push_back(plan_subquery(std::move(part), db));
    }
    if (body->distinct) {
      auto distinct = std::make_shared<LogicalOp>();
      distinct->kind = LogicalKind::kDistinct;
      distinct->slots = body->slots;
      distinct->children.push_back(std::move(body));
      body = std::move(distinct);
    }
  }
  auto apply = std::make_shared<LogicalOp>();
  apply->kind = LogicalKind::kApply;
  apply->children.push_back(std::move(input));
  apply->children.push_back(std::move(body));
  apply->slots = call.column_slots;
  return apply;
}

}  // namespace orvane
