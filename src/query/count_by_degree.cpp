// CountByDegree: count(*) of (a)-[r1]-(b) or (a)-[r1]-(b)-[r2]-(c) over the
// whole graph, with labels on the nodes and nothing else (no properties,
// no repeated variable, no WHERE, every relationship exactly one hop).
//
// One relationship: every path is one step from a start a, so the count is
// Σ over a of the steps from a (in r1's direction) that land on a node of
// b's label.
//
// Two relationships: a path is a step into b along r1 followed by a step
// out of b along r2, using two different relationships. Let arr(b) be the
// steps arriving at b from a node of a's label (the steps from b in r1's
// reversed direction) and leave(b) the steps from b along r2 to a node of
// c's label. Then the count is Σ over b of arr(b) · leave(b) less the pairs
// in which both steps are the same relationship, which needs r1 and r2 of
// one type. A relationship is at most once among the arriving steps and
// at most once among the leaving steps of b, so those pairs are the
// relationships in both sets:
// - a self-loop at b always arrives (from a = b) and leaves (to c = b);
// - b → x (x ≠ b) arrives when r1 is In or Both, leaves when r2 is Out or
//   Both, with a = c = x;
// - x → b (x ≠ b) arrives when r1 is Out or Both, leaves when r2 is In or
//   Both, with a = c = x.
// Labels are tested through a byte per position, built once per labelled
// position, so the sums read each relationship a bounded number of times.
#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/count_methods.h"

namespace orvane {
namespace {

bool passes(const std::vector<std::uint8_t>& mask, std::uint32_t v) { return mask.empty() || mask[v] != 0; }

// Steps from v over `type` in `direction` that land on a node `mask` admits.
std::uint64_t steps_to(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, CountDirection direction,
                       const std::vector<std::uint8_t>& mask) {
  if (mask.empty()) return step_count(g, v, type, direction);
  std::uint64_t n = 0;
  for_each_step(g, v, type, direction, [&](std::uint32_t w, std::uint32_t, std::uint32_t) { n += mask[w]; });
  return n;
}

// Calls visit(position) for every node of `filter`'s label, or every node.
template <typename Visit>
void for_each_node(const PhysicalGraph& g, const NodeFilter& filter, ExecContext& context, Visit&& visit) {
  if (filter.has_label) {
    for (const std::uint32_t identity : g.nodes_with_label(filter.label)) {
      context.tick();
      visit(g.to_physical[identity]);
    }
    return;
  }
  for (std::uint64_t p = 0; p < g.node_count; ++p) {
    context.tick();
    visit(static_cast<std::uint32_t>(p));
  }
}

// Relationships that are both an arriving and a leaving step at b (see the
// note at the top). Requires: r1 and r2 have the same type.
std::uint64_t reused_at(const PhysicalGraph& g, std::uint32_t b, std::uint16_t type, CountDirection d1,
                        CountDirection d2, const std::vector<std::uint8_t>& mask_a,
                        const std::vector<std::uint8_t>& mask_c) {
  std::uint64_t n = 0;
  if (g.has_edge(b, b, type) && passes(mask_a, b) && passes(mask_c, b)) ++n;
  const auto count_other_ends = [&](NodeRun run) {
    for (const std::uint32_t x : run) {
      if (x != b && passes(mask_a, x) && passes(mask_c, x)) ++n;
    }
  };
  if (d1 != CountDirection::Out && d2 != CountDirection::In) count_other_ends(g.typed_out_neighbors(b, type));
  if (d1 != CountDirection::In && d2 != CountDirection::Out) count_other_ends(g.typed_in_neighbors(b, type));
  return n;
}

}  // namespace

bool degree_count_fits(const CountShape& shape) {
  const CountedPattern& q = *shape.pattern;
  if (q.distinct || q.relationships.size() > 2) return false;
  for (const CountHop& r : q.relationships) {
    if (r.min_hops != 1 || r.max_hops != 1) return false;
  }
  for (std::size_t k = 0; k < q.nodes.size(); ++k) {
    const CountNode& n = q.nodes[k];
    if (!n.properties.empty()) return false;
    if (!n.variable.empty() && first_position(q, n.variable) != k) return false;
  }
  return true;
}

std::uint64_t count_by_degree(const CountShape& shape) {
  const Database& db = *shape.db;
  const PhysicalGraph& g = db.graph;
  const CountedPattern& q = *shape.pattern;
  ExecContext& context = *shape.context;
  HeldMemory held(context);
  std::uint64_t total = 0;
  const CountHop& r1 = q.relationships[0];
  if (q.relationships.size() == 1) {
    const std::vector<std::uint8_t> mask_b = position_mask(shape, shape.nodes[1], held);
    for_each_node(g, shape.nodes[0], context, [&](std::uint32_t a) {
      total = checked_add(total, steps_to(g, a, shape.types[0], r1.direction, mask_b));
    });
    return total;
  }
  const CountHop& r2 = q.relationships[1];
  const std::vector<std::uint8_t> mask_a = position_mask(shape, shape.nodes[0], held);
  const std::vector<std::uint8_t> mask_c = position_mask(shape, shape.nodes[2], held);
  const bool same_type = shape.types[0] == shape.types[1];
  for_each_node(g, shape.nodes[1], context, [&](std::uint32_t b) {
    const std::uint64_t arriving = steps_to(g, b, shape.types[0], reversed(r1.direction), mask_a);
    if (arriving == 0) return;
    const std::uint64_t leaving = steps_to(g, b, shape.types[1], r2.direction, mask_c);
    std::uint64_t paths = checked_mul(arriving, leaving);
    if (same_type && paths != 0) paths -= reused_at(g, b, shape.types[0], r1.direction, r2.direction, mask_a, mask_c);
    total = checked_add(total, paths);
  });
  return total;
}

}  // namespace orvane
