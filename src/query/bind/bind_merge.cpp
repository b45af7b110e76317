// Binding MERGE. The pattern is bound twice from the same scope: as a
// pattern to match (which gives every new variable its slot and refuses
// what a MATCH refuses) and as a pattern to create (which refuses what a
// CREATE refuses: several or no relationship types, no direction,
// variable length, a map parameter). The created entities then take the
// matched ones' slots, position for position, so that the rows after the
// MERGE read the same slots whichever way the pattern came to be.
#include "query/bind/binder_state.h"
#include "query/bind/bound_query.h"
#include "query/parse/ast.h"

namespace orvane {

std::shared_ptr<BoundMerge> BinderState::bind_merge(const ast::Clause& clause, Scope& scope) {
  writes_ = true;
  auto out = std::make_shared<BoundMerge>();
  Scope before = scope;
  std::vector<BoundPatternPart> parts = bind_pattern(clause.pattern, scope, out->new_slots);
  std::shared_ptr<BoundCreate> create = bind_create(clause.pattern, before, true);
  out->match = std::move(parts.at(0));
  out->create = std::move(create->parts.at(0));
  BoundCreatePart& made = out->create;
  for (std::size_t i = 0; i < made.nodes.size() && i < out->match.nodes.size(); ++i) {
    made.nodes[i].slot = out->match.nodes[i].slot;
  }
  for (std::size_t i = 0; i < made.rels.size() && i < out->match.rels.size(); ++i) {
    made.rels[i].slot = out->match.rels[i].slot;
  }
  made.path_slot = out->match.path_slot;
  if (!clause.on_create.empty()) out->on_create = bind_set_items(clause.on_create, {}, false, scope);
  if (!clause.on_match.empty()) out->on_match = bind_set_items(clause.on_match, {}, false, scope);
  return out;
}

}  // namespace orvane
