// CycleCount: count(*) of a closed chain of three single hops over the
// whole graph, (a)-[r1]-(b)-[r2]-(c)-[r3]-(a), each hop of one type in any
// direction, with filters on the nodes (the first node's and the last's,
// both on a): triangles and the other cyclic shapes of three relationships,
// which have no anchor and whose two-hop paths alone would outgrow any work
// bound on a large graph.
//
// For each step a → b along r1, the nodes c that close the cycle are the
// nodes both in b's run along r2 and in a's run against r3: an
// intersection of sorted adjacency runs (the worst-case-optimal join of a
// triangle), walked from the shorter run with a galloping search in the
// longer, so a step costs the smaller of the two degrees, not their sum,
// and the whole count at most O(E·√E) run reads. An undirected hop has two
// runs (outgoing, then incoming without self-loops), each intersected on
// its own: they are different relationships.
//
// Relationship uniqueness: every found cycle is checked for two hops that
// are the same relationship. Without parallel relationships (the methods
// do not run with them) a relationship is its (source, target, type).
#include <algorithm>
#include <array>

#include "graph/database.h"
#include "query/count_methods.h"

namespace orvane {
namespace {

struct Rel {
  std::uint32_t source, target;
  std::uint16_t type;
  bool operator==(const Rel&) const = default;
};

// One run of steps from `from`: its sorted neighbours, and whether they are
// targets (outgoing) or sources (incoming) of the relationship.
struct StepRun {
  NodeRun nodes;
  bool outgoing = true;
  Rel rel(std::uint32_t from, std::uint32_t other, std::uint16_t type) const {
    return outgoing ? Rel{from, other, type} : Rel{other, from, type};
  }
};

using StepRuns = std::array<StepRun, 3>;

// The runs of the steps for_each_step takes from v: outgoing, then
// incoming; under Both a self-loop is taken once, as outgoing, so the
// incoming run is cut around it (two runs).
int runs_of(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, CountDirection direction, StepRuns& out) {
  int n = 0;
  if (direction != CountDirection::In) out[n++] = {g.typed_out_neighbors(v, type), true};
  if (direction != CountDirection::Out) {
    const NodeRun in = g.typed_in_neighbors(v, type);
    const auto self = direction == CountDirection::Both ? std::equal_range(in.begin(), in.end(), v)
                                                     : std::make_pair(in.end(), in.end());
    if (self.first == self.second) {
      out[n++] = {in, false};
    } else {
      out[n++] = {NodeRun(in.begin(), self.first), false};
      out[n++] = {NodeRun(self.second, in.end()), false};
    }
  }
  return n;
}

bool passes(const std::vector<std::uint8_t>& mask, std::uint32_t v) { return mask.empty() || mask[v] != 0; }

// Calls found(x) for every x in both sorted runs, a step per element read
// from the shorter.
template <typename Found>
void intersect(NodeRun small, NodeRun large, ExecContext& context, Found&& found) {
  if (small.size() > large.size()) std::swap(small, large);
  auto from = large.begin();
  for (const std::uint32_t x : small) {
    context.tick();
    // Galloping: widen the step until past x, then search that stretch.
    std::size_t step = 1;
    auto hi = from;
    while (hi != large.end() && *hi < x) {
      from = hi;
      hi = static_cast<std::size_t>(large.end() - hi) > step ? hi + static_cast<std::ptrdiff_t>(step) : large.end();
      step *= 2;
    }
    from = std::lower_bound(from, hi, x);
    if (from == large.end()) return;
    if (*from == x) found(x);
  }
}

}  // namespace

bool cycle_count_fits(const CountShape& shape) {
  const CountedPattern& q = *shape.pattern;
  if (q.distinct || q.relationships.size() != 3) return false;
  for (const CountHop& r : q.relationships) {
    if (r.min_hops != 1 || r.max_hops != 1) return false;
  }
  const std::string& a = q.nodes[0].variable;
  if (a.empty() || q.nodes[3].variable != a) return false;
  for (std::size_t k = 1; k < 3; ++k) {
    if (!q.nodes[k].variable.empty() && first_position(q, q.nodes[k].variable) != k) return false;
    if (q.nodes[k].variable == a) return false;
  }
  return true;
}

std::uint64_t cycle_count(const CountShape& shape) {
  const Database& db = *shape.db;
  const PhysicalGraph& g = db.graph;
  const CountedPattern& q = *shape.pattern;
  ExecContext& context = *shape.context;
  HeldMemory held(context);
  const std::vector<std::uint8_t> mask_a = position_mask(shape, shape.nodes[0], held);
  const std::vector<std::uint8_t> mask_a_again = position_mask(shape, shape.nodes[3], held);
  const std::vector<std::uint8_t> mask_b = position_mask(shape, shape.nodes[1], held);
  const std::vector<std::uint8_t> mask_c = position_mask(shape, shape.nodes[2], held);
  const std::uint16_t t1 = shape.types[0], t2 = shape.types[1], t3 = shape.types[2];
  const CountDirection d1 = q.relationships[0].direction, d2 = q.relationships[1].direction;
  const CountDirection d3_back = reversed(q.relationships[2].direction);
  std::uint64_t count = 0;
  StepRuns from_b{}, from_a{};
  for (std::uint64_t pa = 0; pa < g.node_count; ++pa) {
    context.tick();
    const auto a = static_cast<std::uint32_t>(pa);
    if (!passes(mask_a, a) || !passes(mask_a_again, a)) continue;
    const int na = runs_of(g, a, t3, d3_back, from_a);
    for_each_step(g, a, t1, d1, [&](std::uint32_t b, std::uint32_t s1, std::uint32_t e1) {
      context.tick();
      if (!passes(mask_b, b)) return;
      const Rel r1{s1, e1, t1};
      const int nb = runs_of(g, b, t2, d2, from_b);
      for (int i = 0; i < nb; ++i) {
        for (int j = 0; j < na; ++j) {
          intersect(from_b[i].nodes, from_a[j].nodes, context, [&](std::uint32_t c) {
            if (!passes(mask_c, c)) return;
            const Rel r2 = from_b[i].rel(b, c, t2);
            const Rel r3 = from_a[j].rel(a, c, t3);
            if (r1 != r2 && r1 != r3 && r2 != r3) ++count;
          });
        }
      }
    });
  }
  return count;
}

}  // namespace orvane
