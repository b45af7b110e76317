// Binding CREATE: the pattern's new nodes and relationships. Neo4j's rules:
// every relationship has exactly one type and a direction and no length;
// a variable bound before may be reused as an endpoint but not be given
// labels or properties; the properties are a map literal or a map-valued
// parameter (CREATE (n:Person $props)), whose entries are checked when the
// element is made.
#include "graph/database.h"
#include "query/bind/binder_state.h"

namespace orvane {
namespace {

void properties_of(BinderState& state, const ast::Expr* map, Scope& scope,
                   std::vector<std::pair<std::string, BoundExprPtr>>& out, BoundExprPtr& parameter_map) {
  if (map == nullptr) return;
  if (map->kind == ast::ExprKind::kParameter) {
    parameter_map = state.bind_expr(*map, scope, ExprPlace{});
    return;
  }
  for (std::size_t i = 0; i < map->keys.size(); ++i) {
    out.emplace_back(map->keys[i], state.bind_expr(*map->children[i], scope, ExprPlace{}));
  }
}

}  // namespace

std::shared_ptr<BoundCreate> BinderState::bind_create(const ast::Pattern& pattern, Scope& scope, bool merge) {
  writes_ = true;
  auto create = std::make_shared<BoundCreate>();
  for (const ast::PatternPart& part : pattern.parts) {
    if (part.function != ast::PathFunction::kNone) {
      fail("InvalidClauseComposition",
           std::string(part.function == ast::PathFunction::kShortest ? "shortestPath" : "allShortestPaths") +
               "(...) cannot be used to CREATE",
           part.offset);
    }
    BoundCreatePart bound;
    for (std::size_t i = 0; i < part.nodes.size(); ++i) {
      const ast::NodePattern& n = part.nodes[i];
      BoundCreateNode node;
      const ScopeVariable* existing = n.variable.empty() ? nullptr : find(scope, n.variable);
      if (existing != nullptr) {
        if (existing->kind != VarKind::kNode && existing->kind != VarKind::kValue) {
          fail("VariableTypeConflict", "Type mismatch: " + n.variable + " is not a node", n.offset);
        }
        const bool alone = part.nodes.size() == 1;
        if (alone || !n.labels.empty() || n.properties) {
          fail("VariableAlreadyBound", "Variable `" + n.variable + "` already declared", n.offset);
        }
        node.slot = existing->slot;
        node.existing = true;
      } else {
        node.slot = new_slot();
        if (!n.variable.empty()) scope.push_back({n.variable, node.slot, VarKind::kNode, {}});
      }
      if (n.label_expr) {
        fail("InvalidLabelExpression",
             "Label expressions in patterns are not allowed in a CREATE clause, but only in a MATCH clause and in "
             "expressions",
             n.label_expr->offset);
      }
      node.labels = n.labels;
      properties_of(*this, n.properties.get(), scope, node.properties, node.property_map);
      bound.nodes.push_back(std::move(node));
      if (i == part.rels.size()) break;

      const ast::RelPattern& r = part.rels[i];
      if (r.type_expr) {
        fail("InvalidLabelExpression",
             "Relationship type expressions in patterns are not allowed in a CREATE clause, but only in a MATCH clause",
             r.type_expr->offset);
      }
      if (!r.variable.empty() && find(scope, r.variable) != nullptr) {
        fail("VariableAlreadyBound", "Variable `" + r.variable + "` already declared", r.offset);
      }
      if (r.types.size() != 1) {
        fail("NoSingleRelationshipType", "A single relationship type must be specified for CREATE", r.offset);
      }
      if (r.direction == ast::Direction::kBoth && !merge) {
        fail("RequiresDirectedRelationship", "Only directed relationships are supported in CREATE", r.offset);
      }
      if (r.variable_length) {
        fail("CreatingVarLength", "Variable length relationships cannot be used in CREATE", r.offset);
      }
      BoundCreateRel rel;
      rel.slot = new_slot();
      if (!r.variable.empty()) scope.push_back({r.variable, rel.slot, VarKind::kRelationship, {}});
      rel.type = r.types[0];
      rel.reversed = r.direction == ast::Direction::kLeft;
      properties_of(*this, r.properties.get(), scope, rel.properties, rel.property_map);
      bound.rels.push_back(std::move(rel));
    }
    if (!part.path_variable.empty()) {
      if (find(scope, part.path_variable) != nullptr) {
        fail("VariableAlreadyBound", "Variable `" + part.path_variable + "` already declared", part.offset);
      }
      bound.path_slot = new_slot();
      scope.push_back({part.path_variable, bound.path_slot, VarKind::kPath, {}});
    }
    create->parts.push_back(std::move(bound));
  }
  for (const BoundCreatePart& part : create->parts) {
    for (const BoundCreateNode& n : part.nodes) {
      written_.labels.insert(written_.labels.end(), n.labels.begin(), n.labels.end());
      for (const auto& p : n.properties) written_.keys.push_back(p.first);
    }
    for (const BoundCreateRel& r : part.rels) {
      written_.types.push_back(r.type);
      for (const auto& p : r.properties) written_.keys.push_back(p.first);
    }
  }
  return create;
}

}  // namespace orvane
