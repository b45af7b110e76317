// Binding patterns: every node and relationship gets a slot (anonymous ones
// too: the operators need somewhere to put them, and relationship
// uniqueness reads them); a variable already in scope must be of the same
// kind and is met rather than bound again; labels and types resolve to
// ids, and a name the graph does not have makes its element impossible
// (it matches nothing) rather than an error, as in Neo4j. Label and type
// expressions (n:A|B, [r:!T]) are bound in bind_labels.cpp.
#include <algorithm>

#include "graph/database.h"
#include "query/bind/binder_state.h"

namespace orvane {

void BinderState::bind_properties(const ast::Expr* map, Scope& scope, std::vector<BoundProperty>& out) {
  if (map == nullptr) return;
  if (map->kind != ast::ExprKind::kMap) {
    fail("InvalidParameterUse", "Parameter maps cannot be used in MATCH patterns", map->offset);
  }
  for (std::size_t i = 0; i < map->keys.size(); ++i) {
    BoundProperty p;
    p.key = map->keys[i];
    p.node_key = node_key(p.key);
    p.rel_key = rel_key(p.key);
    p.value = bind_expr(*map->children[i], scope, ExprPlace{});
    out.push_back(std::move(p));
  }
}

void BinderState::check_shortest_path(const ast::PatternPart& part, const BoundPatternPart& bound) const {
  const std::string name = part.function == ast::PathFunction::kShortest ? "shortestPath" : "allShortestPaths";
  if (bound.rels.size() != 1) {
    fail("InvalidShortestPathPattern", name + "(...) requires a pattern containing a single relationship", part.offset);
  }
  const BoundRel& rel = bound.rels[0];
  if (rel.variable_length && rel.min_hops > 1) {
    fail("InvalidShortestPathPattern", name + "(...) does not support a minimal length different from 0 or 1",
         part.rels[0].offset);
  }
  if (rel.bound) {
    fail("VariableAlreadyBound",
         name + "(...) cannot match a relationship variable bound before: `" + part.rels[0].variable + "`",
         part.rels[0].offset);
  }
}

std::vector<BoundPatternPart> BinderState::bind_pattern(const ast::Pattern& pattern, Scope& scope,
                                                        std::vector<std::uint32_t>& new_slots) {
  std::vector<BoundPatternPart> parts;
  // Variables bound before the clause are met; one repeated within the
  // clause shares its slot, and the planner sees that it is bound by then.
  const std::size_t outer = scope.size();
  const auto before = [&](const ScopeVariable* v) { return static_cast<std::size_t>(v - scope.data()) < outer; };
  // MATCH (n $map): Neo4j takes a map parameter only where it creates.
  const auto refuse_parameter_map = [this](std::size_t offset) {
    fail("InvalidParameterUse",
         "Parameter maps cannot be used in `MATCH` patterns (use a literal map instead, e.g. `{id: $param.id}`)",
         offset);
  };
  const auto kind_name = [](VarKind k) {
    switch (k) {
      case VarKind::kNode: return "Node";
      case VarKind::kRelationship: return "Relationship";
      case VarKind::kRelationshipList: return "List<Relationship>";
      case VarKind::kPath: return "Path";
      case VarKind::kValue: return "Any";
    }
    return "Any";
  };
  for (const ast::PatternPart& part : pattern.parts) {
    BoundPatternPart bound;
    bound.function = part.function;
    for (std::size_t i = 0; i < part.nodes.size(); ++i) {
      const ast::NodePattern& n = part.nodes[i];
      BoundNode node;
      const ScopeVariable* existing = n.variable.empty() ? nullptr : find(scope, n.variable);
      if (existing != nullptr) {
        // A value is taken as a node unless its type is known to be another.
        const bool value_of_other_type =
            existing->kind == VarKind::kValue && !existing->type.empty() && existing->type != "NODE";
        if ((existing->kind != VarKind::kNode && existing->kind != VarKind::kValue) || value_of_other_type) {
          fail("VariableTypeConflict",
               "Type mismatch: " + n.variable + " defined with conflicting type " +
                   (value_of_other_type ? existing->type : std::string(kind_name(existing->kind))) + " (expected Node)",
               n.offset);
        }
        node.slot = existing->slot;
        node.bound = before(existing);
      } else {
        node.slot = new_slot();
        new_slots.push_back(node.slot);
        if (!n.variable.empty()) scope.push_back({n.variable, node.slot, VarKind::kNode, {}});
      }
      for (const std::string& label : n.labels) {
        const std::uint32_t id = label_id(label);
        if (id == kUnknownKey) {
          node.impossible = true;
        } else {
          node.labels.push_back(static_cast<std::uint16_t>(id));
        }
      }
      if (n.label_expr) {
        const std::uint32_t slot = node.slot;
        node.label_test = label_predicate(*n.label_expr, [slot]() {
          auto read = std::make_unique<BoundExpr>();
          read->kind = BoundKind::kSlot;
          read->slot = slot;
          return read;
        });
      }
      if (n.properties && n.properties->kind == ast::ExprKind::kParameter) refuse_parameter_map(n.properties->offset);
      bind_properties(n.properties.get(), scope, node.properties);
      bound.nodes.push_back(std::move(node));
      if (i == part.rels.size()) break;

      const ast::RelPattern& r = part.rels[i];
      BoundRel rel;
      rel.direction = r.direction;
      rel.variable_length = r.variable_length;
      if (r.variable_length) {
        rel.min_hops = r.min_hops.value_or(1);
        rel.max_hops = r.max_hops.value_or(-1);
        if (rel.min_hops < 0 || (r.max_hops && *r.max_hops < 0)) {
          fail("InvalidRelationshipPattern", "Invalid range in variable length relationship", r.offset);
        }
      }
      const ScopeVariable* rel_existing = r.variable.empty() ? nullptr : find(scope, r.variable);
      if (rel_existing != nullptr) {
        if (rel_existing->kind == VarKind::kRelationship && !before(rel_existing)) {
          fail("RelationshipUniquenessViolation",
               "Cannot use the same relationship variable '" + r.variable + "' for multiple relationships", r.offset);
        }
        // A node or path where a relationship is written is a conflict of
        // types; a bound relationship under a variable length is one of
        // binding. A list bound by an earlier clause (a variable length's,
        // or any value not known to be something else) is walked: MATCH
        // (a)-[rs*]->(b) with rs bound.
        const bool other_kind = rel_existing->kind == VarKind::kNode || rel_existing->kind == VarKind::kPath;
        const bool list_value =
            rel_existing->kind == VarKind::kRelationshipList ||
            (rel_existing->kind == VarKind::kValue &&
             (rel_existing->type.empty() || rel_existing->type.rfind("LIST", 0) == 0));
        const bool walked = r.variable_length && list_value && before(rel_existing);
        if (!walked && (r.variable_length || rel_existing->kind != VarKind::kRelationship)) {
          fail(r.variable_length && !other_kind ? "VariableAlreadyBound" : "VariableTypeConflict",
               "Type mismatch: " + r.variable + " defined with conflicting type " + kind_name(rel_existing->kind) +
                   " (expected Relationship)",
               r.offset);
        }
        rel.slot = rel_existing->slot;
        rel.bound = before(rel_existing);
      } else {
        rel.slot = new_slot();
        new_slots.push_back(rel.slot);
        if (!r.variable.empty()) {
          scope.push_back({r.variable, rel.slot, r.variable_length ? VarKind::kRelationshipList : VarKind::kRelationship, {}});
        }
      }
      bool any_known = r.types.empty();
      for (const std::string& type : r.types) {
        const std::uint32_t id = type_id(type);
        if (id != kUnknownKey) {
          // [:T|:T] is one type, not two ways to expand.
          if (std::find(rel.types.begin(), rel.types.end(), id) == rel.types.end()) {
            rel.types.push_back(static_cast<std::uint16_t>(id));
          }
          any_known = true;
        }
      }
      rel.impossible = !any_known;
      if (r.type_expr) {
        if (r.variable_length) {
          fail("InvalidRelationshipPattern", "Variable length relationships must not use relationship type expressions.",
               r.type_expr->offset);
        }
        resolve_type_expression(*r.type_expr, rel);
      }
      if (r.properties && r.properties->kind == ast::ExprKind::kParameter) refuse_parameter_map(r.properties->offset);
      bind_properties(r.properties.get(), scope, rel.properties);
      bound.rels.push_back(std::move(rel));
    }
    if (part.function != ast::PathFunction::kNone) check_shortest_path(part, bound);
    if (!part.path_variable.empty()) {
      if (find(scope, part.path_variable) != nullptr) {
        fail("VariableAlreadyBound", "Variable `" + part.path_variable + "` already declared", part.offset);
      }
      bound.path_slot = new_slot();
      new_slots.push_back(bound.path_slot);
      scope.push_back({part.path_variable, bound.path_slot, VarKind::kPath, {}});
    }
    parts.push_back(std::move(bound));
  }
  return parts;
}

}  // namespace orvane
