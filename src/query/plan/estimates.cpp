// Row estimates (estimates.h): each operator's rows from its input's.
#include "query/plan/estimates.h"

#include <algorithm>
#include <cmath>

#include "graph/database.h"
#include "query/bind/bound_expr.h"

namespace orvane {
namespace {

constexpr double kFilterSelectivity = 0.25;
constexpr double kDistinctShare = 0.5;
constexpr double kUnknownListSize = 10;

// The value of a constant integer expression (LIMIT 10), else -1.
double constant_count(const std::shared_ptr<BoundExpr>& e) {
  if (!e || e->kind != BoundKind::kConstant || e->constant.kind() != CypherValue::Kind::kInteger) return -1;
  return static_cast<double>(std::max<std::int64_t>(0, e->constant.as_int()));
}

double list_size(const std::shared_ptr<BoundExpr>& e) {
  if (e && e->kind == BoundKind::kConstant && e->constant.kind() == CypherValue::Kind::kList) {
    return static_cast<double>(e->constant.as_list().size());
  }
  if (e && e->kind == BoundKind::kList) return static_cast<double>(e->children.size());
  return kUnknownListSize;
}

// Relationships one node has on average along `op`'s types and direction.
double mean_degree(const LogicalOp& op, const Database& db) {
  const PhysicalGraph& g = db.graph;
  if (g.node_count == 0) return 0;
  double rels = 0;
  if (op.types.empty()) {
    rels = static_cast<double>(g.edges.size());
  } else {
    for (const std::uint16_t t : op.types) {
      if (t < g.relationships_by_type.size()) rels += static_cast<double>(g.relationships_by_type[t]);
    }
  }
  const double per_node = rels / static_cast<double>(g.node_count);
  return op.direction == ast::Direction::kBoth ? 2 * per_node : per_node;
}

double estimate(LogicalOp& op, const Database& db, double argument) {
  const double input = op.children.empty() ? argument : estimate(*op.children[0], db, argument);
  const PhysicalGraph& g = db.graph;
  double rows = input;
  switch (op.kind) {
    case LogicalKind::kArgument: rows = argument; break;
    case LogicalKind::kNodeScan:
      rows = op.impossible ? 0
                           : input * static_cast<double>(op.labels.empty() ? g.node_count
                                                                            : g.nodes_with_label(op.labels[0]).size());
      for (std::size_t i = 0; i < op.expressions.size(); ++i) rows *= kFilterSelectivity;  // pushed-down tests
      break;
    case LogicalKind::kNodeByIdSeek:
    case LogicalKind::kRelationshipByIdSeek:
      rows = input * (op.seek_form == SeekForm::kIdList || op.seek_form == SeekForm::kElementIdList
                          ? list_size(op.expressions.empty() ? nullptr : op.expressions[0])
                          : 1);
      break;
    case LogicalKind::kExpand: {
      const double degree = op.impossible ? 0 : mean_degree(op, db);
      rows = op.into ? input * std::min(1.0, degree / std::max<double>(1, static_cast<double>(g.node_count)))
                     : input * degree;
      break;
    }
    case LogicalKind::kVarExpand: {
      const double degree = op.impossible ? 0 : mean_degree(op, db);
      const std::int64_t top = op.max_hops < 0 ? std::max<std::int64_t>(op.min_hops, 3) : op.max_hops;
      double paths = 0;
      for (std::int64_t k = op.min_hops; k <= top; ++k) paths += std::pow(degree, static_cast<double>(k));
      rows = input * paths;
      break;
    }
    case LogicalKind::kFilter: rows = input * kFilterSelectivity; break;
    case LogicalKind::kOptional:
    case LogicalKind::kApply: {
      const double inner = op.children.size() > 1 ? estimate(*op.children[1], db, 1) : 1;
      rows = op.kind == LogicalKind::kApply && op.slots.empty() ? input : input * std::max(1.0, inner);
      break;
    }
    case LogicalKind::kAggregation: rows = op.expressions.empty() ? 1 : std::max(1.0, std::sqrt(input)); break;
    case LogicalKind::kDistinct: rows = input * kDistinctShare; break;
    case LogicalKind::kTop: {
      const double limit = constant_count(op.limit);
      rows = limit < 0 ? input : std::min(input, limit);
      break;
    }
    case LogicalKind::kLimit: {
      const double limit = constant_count(op.expressions.empty() ? nullptr : op.expressions[0]);
      rows = limit < 0 ? input : std::min(input, limit);
      break;
    }
    case LogicalKind::kSkip: {
      const double skip = constant_count(op.expressions.empty() ? nullptr : op.expressions[0]);
      rows = skip < 0 ? input : std::max(0.0, input - skip);
      break;
    }
    case LogicalKind::kUnwind: rows = input * list_size(op.expressions.empty() ? nullptr : op.expressions[0]); break;
    case LogicalKind::kUnion:
      rows = 0;
      for (const auto& child : op.children) rows += estimate(*child, db, argument);
      break;
    case LogicalKind::kProcedureCall: rows = input * kUnknownListSize; break;
    case LogicalKind::kCountPattern: rows = 1; break;
    case LogicalKind::kShortestPath: rows = input * (op.all_paths ? 2 : 1); break;
    case LogicalKind::kProjectPath:
    case LogicalKind::kProjection:
    case LogicalKind::kSort:
    case LogicalKind::kProduceResults:
    case LogicalKind::kCreate:
    case LogicalKind::kSet:
    case LogicalKind::kDelete:
    case LogicalKind::kMerge:
    case LogicalKind::kForeach:
    case LogicalKind::kEager: break;
  }
  op.estimated_rows = rows;
  return rows;
}

}  // namespace

void estimate_rows(LogicalOp& plan, const Database& db) { estimate(plan, db, 1); }

}  // namespace orvane
