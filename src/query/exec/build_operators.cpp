// The mapping from logical to physical operators: one to one, children in
// the same order.
#include "query/exec/operator.h"

namespace orvane {

std::span<const std::uint32_t> Operator::next_nodes(Row&) { return {}; }

std::uint64_t Operator::count_nodes(Row& row) {
  std::uint64_t n = 0;
  for (auto nodes = next_nodes(row); !nodes.empty(); nodes = next_nodes(row)) n += nodes.size();
  return n;
}

std::unique_ptr<Operator> build_operators(const LogicalOp& plan, ExecContext& context) {
  std::unique_ptr<Operator> op;
  switch (plan.kind) {
    case LogicalKind::kArgument: op = make_argument(plan, context); break;
    case LogicalKind::kNodeScan: op = make_node_scan(plan, context); break;
    case LogicalKind::kExpand: op = make_expand(plan, context); break;
    case LogicalKind::kVarExpand: op = make_var_expand(plan, context); break;
    case LogicalKind::kFilter: op = make_filter(plan, context); break;
    case LogicalKind::kOptional: op = make_optional(plan, context); break;
    case LogicalKind::kProjectPath: op = make_project_path(plan, context); break;
    case LogicalKind::kProjection: op = make_projection(plan, context); break;
    case LogicalKind::kAggregation: op = make_aggregation(plan, context); break;
    case LogicalKind::kDistinct: op = make_distinct(plan, context); break;
    case LogicalKind::kSort:
    case LogicalKind::kTop: op = make_sort(plan, context); break;
    case LogicalKind::kSkip: op = make_skip(plan, context); break;
    case LogicalKind::kLimit: op = make_limit(plan, context); break;
    case LogicalKind::kUnwind: op = make_unwind(plan, context); break;
    case LogicalKind::kUnion: op = make_union(plan, context); break;
    case LogicalKind::kProduceResults: op = make_produce_results(plan, context); break;
    case LogicalKind::kCreate: op = make_create(plan, context); break;
    case LogicalKind::kSet: op = make_set(plan, context); break;
    case LogicalKind::kDelete: op = make_delete(plan, context); break;
    case LogicalKind::kMerge: op = make_merge(plan, context); break;
    case LogicalKind::kForeach: op = make_foreach(plan, context); break;
    case LogicalKind::kEager: op = make_eager(plan, context); break;
    case LogicalKind::kProcedureCall: op = make_procedure_call(plan, context); break;
    case LogicalKind::kCountPattern: op = make_count_pattern(plan, context); break;
    case LogicalKind::kShortestPath: op = make_shortest_path(plan, context); break;
    case LogicalKind::kApply: op = make_apply(plan, context); break;
    case LogicalKind::kNodeByIdSeek: op = make_node_by_id_seek(plan, context); break;
    case LogicalKind::kRelationshipByIdSeek: op = make_relationship_by_id_seek(plan, context); break;
  }
  for (const auto& child : plan.children) op->children().push_back(build_operators(*child, context));
  return context.profiling() ? make_timed(std::move(op), context) : std::move(op);
}

}  // namespace orvane
