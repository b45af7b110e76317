// The names EXPLAIN and PROFILE print for logical operators, after
// Neo4j's where one corresponds, and their one-line details.
#include "query/plan/logical_plan.h"

#include "query/plan/count_pattern.h"

namespace orvane {

const char* operator_name(const LogicalOp& op) {
  switch (op.kind) {
    case LogicalKind::kArgument: return "Argument";
    case LogicalKind::kNodeScan: return op.labels.empty() ? "AllNodesScan" : "NodeByLabelScan";
    case LogicalKind::kExpand: return op.into || op.rel_into ? "Expand(Into)" : "Expand(All)";
    case LogicalKind::kVarExpand: return op.into ? "VarLengthExpand(Into)" : "VarLengthExpand(All)";
    case LogicalKind::kFilter: return "Filter";
    case LogicalKind::kOptional: return "Optional";
    case LogicalKind::kProjectPath: return "ProjectPath";
    case LogicalKind::kProjection: return "Projection";
    case LogicalKind::kAggregation: return "EagerAggregation";
    case LogicalKind::kDistinct: return "Distinct";
    case LogicalKind::kSort: return "Sort";
    case LogicalKind::kTop: return "Top";
    case LogicalKind::kSkip: return "Skip";
    case LogicalKind::kLimit: return "Limit";
    case LogicalKind::kUnwind: return "Unwind";
    case LogicalKind::kUnion: return "Union";
    case LogicalKind::kProduceResults: return "ProduceResults";
    case LogicalKind::kCreate: return "Create";
    case LogicalKind::kEager: return "Eager";
    case LogicalKind::kSet: return op.set && op.set->remove ? "Remove" : "Set";
    case LogicalKind::kMerge: return "Merge";
    case LogicalKind::kForeach: return "Foreach";
    case LogicalKind::kDelete: return op.detach ? "DetachDelete" : "Delete";
    case LogicalKind::kProcedureCall: return "ProcedureCall";
    case LogicalKind::kCountPattern: return count_operator_name(op.count_pattern->planned, op.count_pattern->pattern);
    case LogicalKind::kShortestPath: return "ShortestPath";
    case LogicalKind::kApply: return op.slots.empty() ? "SubqueryForeach" : "Apply";
    case LogicalKind::kNodeByIdSeek: {
      const bool element = op.seek_form == SeekForm::kElementId || op.seek_form == SeekForm::kElementIdList;
      return element ? "NodeByElementIdSeek" : "NodeByIdSeek";
    }
    case LogicalKind::kRelationshipByIdSeek: {
      const bool element = op.seek_form == SeekForm::kElementId || op.seek_form == SeekForm::kElementIdList;
      if (op.direction == ast::Direction::kBoth) {
        return element ? "UndirectedRelationshipByElementIdSeek" : "UndirectedRelationshipByIdSeek";
      }
      return element ? "DirectedRelationshipByElementIdSeek" : "DirectedRelationshipByIdSeek";
    }
  }
  return "Operator";
}

}  // namespace orvane
