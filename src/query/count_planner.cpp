// Counting planner: resolves a count query's names once, asks each method
// in turn whether it recognises the shape, and runs the first that does.
// The methods recognise disjoint shapes (DISTINCT or not, anchored or not),
// so the order only matters for speed of refusal. The helpers every method
// shares live here too: overflow checks, step counts and masks.
#include "query/count_planner.h"

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/count_methods.h"
#include "query/ql_error.h"

namespace orvane {
namespace {

// False when the pattern cannot be counted by a method at all: an
// uncompiled graph, no relationship, or a label or type the schema lacks
// (the plan's own operators answer those without a walk).
bool resolve_shape(const Database& db, const CountedPattern& query, CountShape& shape) {
  if (!db.graph.compiled || query.relationships.empty()) return false;
  shape.db = &db;
  shape.pattern = &query;
  shape.nodes.resize(query.nodes.size());
  for (std::size_t k = 0; k < query.nodes.size(); ++k) {
    if (!resolve_node_filter(db, query.nodes[k], shape.nodes[k])) return false;
  }
  for (const CountHop& r : query.relationships) {
    const auto it = db.rel_type_ids.find(r.type);
    if (it == db.rel_type_ids.end()) return false;
    shape.types.push_back(it->second);
  }
  return true;
}

CountMethod choose(const CountShape& shape) {
  if (degree_count_fits(shape)) return CountMethod::CountByDegree;
  if (breadth_reach_fits(shape)) return CountMethod::BreadthFirstReach;
  if (level_count_fits(shape)) return CountMethod::LevelCount;
  if (cycle_count_fits(shape)) return CountMethod::CycleCount;
  return CountMethod::Enumerate;
}

}  // namespace

std::size_t first_position(const CountedPattern& pattern, const std::string& variable) {
  std::size_t k = 0;
  while (pattern.nodes[k].variable != variable) ++k;
  return k;
}

std::uint64_t checked_add(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) throw QlError(kCountOverflowMessage);
  return sum;
}

std::uint64_t checked_mul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) throw QlError(kCountOverflowMessage);
  return product;
}

std::uint64_t step_count(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, CountDirection direction) {
  std::uint64_t n = 0;
  if (direction != CountDirection::In) n += g.typed_out_neighbors(v, type).size();
  if (direction != CountDirection::Out) {
    n += g.typed_in_neighbors(v, type).size();
    if (direction == CountDirection::Both && g.has_edge(v, v, type)) --n;
  }
  return n;
}

std::vector<std::uint8_t> position_mask(const CountShape& shape, const NodeFilter& filter, HeldMemory& held) {
  const Database& db = *shape.db;
  ExecContext& context = *shape.context;
  const PhysicalGraph& g = db.graph;
  if (filter.empty()) return {};
  if (filter.properties == nullptr && g.nodes_with_label(filter.label).size() == g.node_count) return {};
  held.add(g.node_count);
  std::vector<std::uint8_t> mask(g.node_count, 0);
  if (filter.has_label) {
    for (const std::uint32_t identity : g.nodes_with_label(filter.label)) {
      context.tick();
      mask[g.to_physical[identity]] = node_passes(db, filter, identity) ? 1 : 0;
    }
    return mask;
  }
  for (std::uint64_t identity = 0; identity < g.node_count; ++identity) {
    context.tick();
    const auto id = static_cast<std::uint32_t>(identity);
    mask[g.to_physical[id]] = node_passes(db, filter, id) ? 1 : 0;
  }
  return mask;
}

const char* count_method_name(CountMethod method) {
  switch (method) {
    case CountMethod::CountByDegree:
      return "CountByDegree";
    case CountMethod::BreadthFirstReach:
      return "BreadthFirstReach";
    case CountMethod::LevelCount:
      return "LevelCount";
    case CountMethod::CycleCount:
      return "CycleCount";
    case CountMethod::Enumerate:
      break;
  }
  return "RelationshipUniqueExpand";
}

CountMethod choose_count_method(const Database& db, const CountedPattern& query) {
  CountShape shape;
  if (db.graph.parallel_relationships > 0 || !resolve_shape(db, query, shape)) return CountMethod::Enumerate;
  return choose(shape);
}

std::optional<std::uint64_t> planned_count(ExecContext& context, const CountedPattern& query, CountMethod* method) {
  const Database& db = context.db();
  CountShape shape;
  shape.context = &context;
  if (method != nullptr) *method = CountMethod::Enumerate;
  if (db.graph.parallel_relationships > 0 || !resolve_shape(db, query, shape)) return std::nullopt;
  const CountMethod chosen = choose(shape);
  if (method != nullptr) *method = chosen;
  switch (chosen) {
    case CountMethod::CountByDegree:
      return count_by_degree(shape);
    case CountMethod::BreadthFirstReach:
      return breadth_first_reach(shape);
    case CountMethod::LevelCount:
      return level_count(shape);
    case CountMethod::CycleCount:
      return cycle_count(shape);
    case CountMethod::Enumerate:
      break;
  }
  return std::nullopt;
}

}  // namespace orvane
