// Binding label and relationship type expressions (n:A|B, n:!A, n:%,
// [r:!T]).
//
// A node's label expression becomes a predicate: kHasLabels per name,
// joined by NOT, AND and OR as written, and n:% a kHasLabels that asks for
// any label. It is three-valued like any predicate (null:A|B is null).
//
// A relationship has exactly one type, so its type expression is decided
// type by type: it becomes the list of the graph's types that meet it,
// which the expand operators already take. A type the graph does not have
// meets it exactly when an unnamed type would (every name compares false),
// so the list is complete unless the expression holds for unnamed types
// ([:!T], [:%]); then it is the list of every type but the excluded ones,
// which a new type would leave incomplete, and the plan records the number
// of types it saw (CatalogKind::kTypeCount).
#include <algorithm>

#include "graph/database.h"
#include "query/bind/binder_state.h"

namespace orvane {
namespace {

using Kind = ast::LabelExpr::Kind;

// Whether a relationship of type `type` meets `e`; "" stands for a type
// that no name in `e` names.
bool type_meets(const ast::LabelExpr& e, const std::string& type) {
  switch (e.kind) {
    case Kind::kName: return e.name == type;
    case Kind::kAny: return true;
    case Kind::kNot: return !type_meets(e.operands[0], type);
    case Kind::kAnd:
      return std::all_of(e.operands.begin(), e.operands.end(), [&](const auto& o) { return type_meets(o, type); });
    case Kind::kOr:
      return std::any_of(e.operands.begin(), e.operands.end(), [&](const auto& o) { return type_meets(o, type); });
  }
  return false;
}

void names_in(const ast::LabelExpr& e, std::vector<std::string>& out) {
  if (e.kind == Kind::kName) out.push_back(e.name);
  for (const ast::LabelExpr& operand : e.operands) names_in(operand, out);
}

}  // namespace

BoundExprPtr BinderState::label_predicate(const ast::LabelExpr& e, const std::function<BoundExprPtr()>& subject) {
  auto out = std::make_unique<BoundExpr>();
  out->known_type = "BOOLEAN";
  switch (e.kind) {
    case Kind::kName:
    case Kind::kAny:
      out->kind = BoundKind::kHasLabels;
      out->children.push_back(subject());
      out->any_label = e.kind == Kind::kAny;
      if (e.kind == Kind::kName) {
        out->keys = {e.name};  // a relationship's type is compared by name
        const std::uint32_t id = label_id(e.name);
        if (id == kUnknownKey) {
          out->unknown_label = true;
        } else {
          out->label_ids.push_back(static_cast<std::uint16_t>(id));
        }
      }
      return out;
    case Kind::kNot: out->kind = BoundKind::kNot; break;
    case Kind::kAnd: out->kind = BoundKind::kAnd; break;
    case Kind::kOr: out->kind = BoundKind::kOr; break;
  }
  for (const ast::LabelExpr& operand : e.operands) out->children.push_back(label_predicate(operand, subject));
  return out;
}

void BinderState::resolve_type_expression(const ast::LabelExpr& e, BoundRel& rel) {
  std::vector<std::string> names;
  names_in(e, names);
  for (const std::string& name : names) type_id(name);  // recorded: a type named later changes the list
  const bool unnamed_meets = type_meets(e, "");
  std::vector<std::pair<std::string, std::uint16_t>> types(db_.rel_type_ids.begin(), db_.rel_type_ids.end());
  std::sort(types.begin(), types.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  rel.types.clear();
  bool every_type = true;
  for (const auto& [name, id] : types) {
    if (type_meets(e, name)) {
      rel.types.push_back(id);
    } else {
      every_type = false;
    }
  }
  if (unnamed_meets) {
    if (every_type) {
      rel.types.clear();  // any type, now and later
      return;
    }
    type_count();
  }
  rel.impossible = rel.types.empty();
}

}  // namespace orvane
