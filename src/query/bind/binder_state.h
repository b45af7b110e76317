// Internal to the binder: its state across one statement — the slots
// handed out, the parameters seen, the Database's names — and the scope
// of variables. Shared by the binder's files (bind_clauses.cpp,
// bind_expression.cpp, bind_pattern.cpp); nothing outside bind/ includes
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "query/bind/bound_query.h"
#include "query/cypher_error.h"

namespace orvane {

class Database;
class ProcedureRegistry;

enum class VarKind : std::uint8_t { kNode, kRelationship, kRelationshipList, kPath, kValue };

struct ScopeVariable {
  std::string name;
  std::uint32_t slot = kNoSlot;
  VarKind kind = VarKind::kValue;
  std::string type;  // kValue: its type when the binder knows it (WITH 1 AS x: "INTEGER"); else empty
};

using Scope = std::vector<ScopeVariable>;

// Where an expression stands, which decides what it may contain.
struct ExprPlace {
  std::vector<BoundAggregate>* aggregates = nullptr;  // aggregates allowed: they go here
};

class BinderState {
 public:
  BinderState(std::string_view text, const Database& db, const ProcedureRegistry& procedures)
      : text_(text), db_(db), procedures_(procedures) {}

  const Database& db() const { return db_; }
  std::uint32_t new_slot() { return slots_++; }
  std::uint32_t slot_count() const { return slots_; }
  std::uint32_t parameter_index(const std::string& name);
  const std::vector<std::string>& parameters() const { return parameters_; }

  // Names resolved against the Database, each recorded in catalog():
  // a label's or type's id, a property key's id in either store;
  // kUnknownKey for a name the Database lacks.
  std::uint32_t label_id(const std::string& name);
  std::uint32_t type_id(const std::string& name);
  std::uint32_t node_key(const std::string& name);
  std::uint32_t rel_key(const std::string& name);
  std::uint32_t type_count();  // how many relationship types the Database has
  const std::vector<CatalogRead>& catalog() const { return catalog_; }

  // SyntaxError at compile time with `detail`, the message followed by the
  // position of byte `offset`.
  [[noreturn]] void fail(const char* detail, const std::string& message, std::size_t offset) const;
  // " (line L, column C (offset: O))" for byte `offset`.
  std::string position_of(std::size_t offset) const;
  // The statement text of [offset, end).
  std::string text(std::size_t offset, std::size_t end) const;

  // The variable `name` in `scope`, or nullptr.
  static const ScopeVariable* find(const Scope& scope, std::string_view name);

  BoundExprPtr bind_expr(const ast::Expr& expr, Scope& scope, const ExprPlace& place);
  // A MATCH-like pattern: binds its variables into `scope` (those already
  // in it must meet the pattern) and appends the new slots to `new_slots`.
  std::vector<BoundPatternPart> bind_pattern(const ast::Pattern& pattern, Scope& scope,
                                             std::vector<std::uint32_t>& new_slots);
  // One query part over `scope`. `subquery` for the body of EXISTS or
  // COUNT, which may end with any clause. `final_scope`, when given, gets
  // the scope after the last clause.
  BoundSingleQuery bind_single_query(const ast::SingleQuery& query, Scope scope, bool subquery,
                                     Scope* final_scope = nullptr);
  BoundSingleQuery bind_clauses(const std::vector<ast::Clause>& clauses, Scope scope, bool subquery,
                                Scope* final_scope = nullptr);
  // FOREACH (bind_foreach.cpp).
  std::shared_ptr<BoundForeach> bind_foreach(const ast::Clause& clause, const Scope& scope);
  // CALL { ... } in a query whose scope is `scope`: adds the returned
  // columns to it. Throws the semantic errors of subqueries (a returned
  // name already in scope, an importing WITH that aliases or filters, an
  // unaliased returned expression, UNION parts with different columns).
  std::shared_ptr<BoundCallSubquery> bind_call_subquery(const ast::Clause& clause, Scope& scope);
  // With `merge`, for MERGE: a relationship without direction is made
  // outgoing, as it is written.
  std::shared_ptr<BoundCreate> bind_create(const ast::Pattern& pattern, Scope& scope, bool merge = false);
  // SET or REMOVE (bind_set.cpp).
  std::shared_ptr<BoundSet> bind_set(const ast::Clause& clause, Scope& scope);
  std::shared_ptr<BoundSet> bind_set_items(const std::vector<ast::SetItem>& set_items,
                                           const std::vector<ast::RemoveItem>& remove_items, bool remove,
                                           Scope& scope);
  // MERGE (bind_merge.cpp).
  std::shared_ptr<BoundMerge> bind_merge(const ast::Clause& clause, Scope& scope);
  // DELETE, DETACH DELETE (bind_delete.cpp).
  std::shared_ptr<BoundDelete> bind_delete(const ast::Clause& clause, Scope& scope);
  // CALL; `standalone` when it is the whole query, whose columns it then
  // gives (`columns`, `column_slots`).
  std::shared_ptr<BoundCall> bind_call(const ast::Clause& clause, Scope& scope, bool standalone,
                                       std::vector<std::string>& columns, std::vector<std::uint32_t>& column_slots);
  // The test subject:e of a label expression (bind_labels.cpp): one
  // kHasLabels per name, joined as written; `subject` gives a fresh read of
  // what is tested each time it is called.
  BoundExprPtr label_predicate(const ast::LabelExpr& e, const std::function<BoundExprPtr()>& subject);
  // The relationship types of the Database that meet the type expression
  // `e`, into `rel` (types, impossible); when it would also hold for a
  // type the Database does not have yet, the list lasts only while no type
  // is added (type_count is recorded).
  void resolve_type_expression(const ast::LabelExpr& e, BoundRel& rel);
  bool writes() const { return writes_; }
  const WrittenNames& written() const { return written_; }
  // The variables of the scoped CALL (a, b) { ... } being bound: a WITH in
  // its body keeps them visible.
  const Scope& carried() const { return carried_; }
  // While set, bind_expr reads a subexpression written exactly as one of
  // `texts` from that text's slot: ORDER BY after an aggregation reads
  // count(x) or n.age, written as projected, from the projected column.
  void set_projected_texts(std::vector<std::pair<std::string, std::uint32_t>> texts) {
    projected_texts_ = std::move(texts);
  }
  // Refuses, at compile time, an operand of NOT, AND, OR or XOR, or a
  // WHERE, whose type is known and is not boolean.
  void require_boolean(const BoundExpr& bound, const ast::Expr& written) const;

 private:
  BoundExprPtr bind_function(const ast::Expr& expr, Scope& scope, const ExprPlace& place);
  BoundExprPtr bind_subquery_expression(const ast::Expr& expr, Scope& scope);
  // Refuses a shortestPath or allShortestPaths part Neo4j refuses: more or
  // fewer than one relationship, a minimal length beyond 1, a relationship
  // variable bound before.
  void check_shortest_path(const ast::PatternPart& part, const BoundPatternPart& bound) const;
  void bind_properties(const ast::Expr* map, Scope& scope, std::vector<BoundProperty>& out);

  std::string_view text_;
  const Database& db_;
  const ProcedureRegistry& procedures_;
  std::uint32_t slots_ = 0;
  std::vector<std::string> parameters_;
  std::vector<CatalogRead> catalog_;
  bool writes_ = false;
  WrittenNames written_;
  Scope carried_;
  std::vector<std::pair<std::string, std::uint32_t>> projected_texts_;  // see set_projected_texts
};

}  // namespace orvane
