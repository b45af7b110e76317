// CSR compilation and renumbering.
//
// compile turns the edge list (node identities, indexed by relationship
// identity) into:
//   combined outgoing CSR  out_offsets[n+1] / out_targets[E] / out_types[E] / out_rels[E]
//   combined incoming CSR  in_offsets[n+1]  / in_sources[E]  / in_types[E]  / in_rels[E]
//   per-type run index     typed_out / typed_in (see TypedRunIndex)
//   label lists            label_offsets / label_members (identities by label)
// all CSR arrays indexed by position and holding positions. A combined run
// is ordered by (type, neighbour position, relationship identity), so the
// run of one type is a contiguous, ascending part of it and parallel
// relationships sit side by side in creation order; only the few most
// frequent types get a CSR copy of their own. The edge list is never
// reordered here: an index into it is a relationship's identity.
//
// Every phase is a linear pass (count, prefix sum, scatter through a cursor
// copy of the offsets) except the run sort; the incoming side goes through
// buckets of target positions first (IncomingBuckets), which keeps its
// writes in the cache. The scatter visits the edge list in identity order,
// so each run already holds ascending identities; one sort of each run by
// (type, neighbour), stable on the identity, gives the final order. A run that is already ordered (every recompile after a
// permutation of a graph built in order) is only checked.
//
// install_compiled (the snapshot loader) starts from a checked outgoing CSR
// instead of the edge list and derives the incoming side through the same
// buckets, visiting the outgoing slots in position order.
#include <algorithm>
#include <array>
#include <stdexcept>

#include "graph/physical_graph.h"

namespace orvane {
namespace {

bool edge_less(const Edge& a, const Edge& b) {
  if (a.src != b.src) return a.src < b.src;
  if (a.dst != b.dst) return a.dst < b.dst;
  return a.type < b.type;
}

// Sorts by (src, dst, type). Buckets by source through a counting pass, then
// orders each bucket by (dst, type) packed into one 64-bit key.
void sort_edges(std::vector<Edge>& edges, std::uint64_t node_count) {
  if (edges.size() < 4096 || node_count > edges.size() * 4) {
    std::sort(edges.begin(), edges.end(), edge_less);
    return;
  }
  std::vector<std::uint32_t> start(node_count + 1, 0);
  for (const Edge& e : edges) ++start[e.src + 1];
  for (std::uint64_t v = 0; v < node_count; ++v) start[v + 1] += start[v];
  // Each bucket holds (dst << 16 | type); the source is implied by the bucket.
  std::vector<std::uint64_t> keys(edges.size());
  {
    std::vector<std::uint32_t> cursor(start.begin(), start.end() - 1);
    for (const Edge& e : edges) {
      keys[cursor[e.src]++] = (static_cast<std::uint64_t>(e.dst) << 16) | e.type;
    }
  }
  std::size_t slot = 0;
  for (std::uint64_t v = 0; v < node_count; ++v) {
    auto first = keys.begin() + start[v], last = keys.begin() + start[v + 1];
    if (last - first > 1) std::sort(first, last);
    for (auto it = first; it != last; ++it) {
      edges[slot++] = Edge{static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(*it >> 16),
                           static_cast<std::uint16_t>(*it & 0xFFFF)};
    }
  }
}

// One slot while a run is sorted: (type << 32 | neighbour) and the
// relationship identity, which breaks ties between parallel relationships.
struct SlotKey {
  std::uint64_t key;
  std::uint32_t rel;
  friend bool operator<(const SlotKey& a, const SlotKey& b) {
    return a.key != b.key ? a.key < b.key : a.rel < b.rel;
  }
};

// Orders the run of `count` slots at (nbr, type, rel) by (type, neighbour,
// relationship identity), using `scratch` as the one reusable buffer.
// Returns the slots that repeat the previous one's type and neighbour (the
// run's parallel relationships), counted in the same pass that checks the
// order.
std::uint64_t sort_run(std::uint32_t* nbr, std::uint16_t* type, std::uint32_t* rel, std::size_t count,
                       std::vector<SlotKey>& scratch) {
  std::uint64_t parallel = 0;
  bool sorted = true;
  for (std::size_t i = 1; i < count && sorted; ++i) {
    const bool same = type[i - 1] == type[i] && nbr[i - 1] == nbr[i];
    parallel += same;
    sorted = type[i - 1] < type[i] || (type[i - 1] == type[i] && (nbr[i - 1] < nbr[i] || (same && rel[i - 1] < rel[i])));
  }
  if (sorted) return parallel;
  parallel = 0;
  scratch.clear();
  for (std::size_t i = 0; i < count; ++i) {
    scratch.push_back(SlotKey{(static_cast<std::uint64_t>(type[i]) << 32) | nbr[i], rel[i]});
  }
  std::sort(scratch.begin(), scratch.end());
  for (std::size_t i = 0; i < count; ++i) {
    type[i] = static_cast<std::uint16_t>(scratch[i].key >> 32);
    nbr[i] = static_cast<std::uint32_t>(scratch[i].key);
    rel[i] = scratch[i].rel;
    parallel += i > 0 && scratch[i].key == scratch[i - 1].key;
  }
  return parallel;
}

// The types that get a CSR of their own: the most frequent ones with at
// least one relationship per kTypeTableDivisor nodes, at most kMaxTypeTables,
// ties going to the lower type id. Returned in ascending type order.
std::vector<std::uint16_t> table_types(const std::vector<std::uint64_t>& per_type, std::uint64_t node_count) {
  std::vector<std::uint16_t> chosen;
  for (std::size_t t = 0; t < per_type.size(); ++t) {
    if (per_type[t] > 0 && per_type[t] * kTypeTableDivisor >= node_count) chosen.push_back(static_cast<std::uint16_t>(t));
  }
  std::stable_sort(chosen.begin(), chosen.end(),
                   [&](std::uint16_t a, std::uint16_t b) { return per_type[a] > per_type[b]; });
  if (chosen.size() > kMaxTypeTables) chosen.resize(kMaxTypeTables);
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

// Fills `index` for one direction from its sorted combined runs in one
// pass: each table type's slot count is known (`per_type`), and its
// neighbours are copied in slot order, which keeps every copied run
// ascending.
void build_run_index(TypedRunIndex& index, const std::vector<std::uint16_t>& frequent,
                     const std::vector<std::uint64_t>& per_type, const std::vector<std::uint32_t>& offsets,
                     const std::vector<std::uint32_t>& neighbours, const std::vector<std::uint16_t>& types,
                     std::uint64_t node_count) {
  index.table_of_type.assign(per_type.size(), TypedRunIndex::kNoTable);
  index.offsets.assign(frequent.size(), std::vector<std::uint32_t>(node_count + 1, 0));
  index.neighbours.assign(frequent.size(), {});
  if (frequent.empty()) return;
  for (std::size_t k = 0; k < frequent.size(); ++k) {
    index.table_of_type[frequent[k]] = static_cast<std::uint8_t>(k);
    index.neighbours[k].resize(per_type[frequent[k]]);
  }
  std::vector<std::uint32_t> fill(frequent.size(), 0);
  for (std::uint64_t v = 0; v < node_count; ++v) {
    for (std::uint32_t s = offsets[v]; s < offsets[v + 1]; ++s) {
      if (const std::uint8_t k = index.table_of_type[types[s]]; k != TypedRunIndex::kNoTable) {
        index.neighbours[k][fill[k]++] = neighbours[s];
      }
    }
    for (std::size_t k = 0; k < frequent.size(); ++k) index.offsets[k][v + 1] = fill[k];
  }
}

// Counts the compiled relationships by type (the same in both directions)
// and rebuilds the per-type tables of both directions from the sorted
// combined runs.
void build_type_tables(PhysicalGraph& g) {
  std::vector<std::uint64_t> per_type(g.rel_type_count, 0);
  for (const std::uint16_t t : g.out_types) ++per_type[t];
  const std::vector<std::uint16_t> frequent = table_types(per_type, g.node_count);
  build_run_index(g.typed_out, frequent, per_type, g.out_offsets, g.out_targets, g.out_types, g.node_count);
  build_run_index(g.typed_in, frequent, per_type, g.in_offsets, g.in_sources, g.in_types, g.node_count);
  g.relationships_by_type = std::move(per_type);
}

// Groups the identities by label (counting sort over first and further
// labels), ascending within a label: the first labels are scattered in
// identity order and the further ones merged in afterwards per label.
void build_label_lists(PhysicalGraph& g) {
  std::size_t highest = 0;
  bool any = false;
  const auto see = [&](std::uint16_t l) {
    if (l == kNoLabel) return;
    highest = std::max<std::size_t>(highest, l);
    any = true;
  };
  for (const std::uint16_t l : g.labels) see(l);
  for (const std::uint16_t l : g.extra_labels) see(l);
  g.label_offsets.assign(any ? highest + 2 : 1, 0);
  const bool tombstones = g.deleted_nodes != 0;
  for (std::uint64_t i = 0; i < g.labels.size(); ++i) {
    const std::uint16_t l = g.labels[i];
    if (l != kNoLabel && !(tombstones && g.node_is_deleted(static_cast<std::uint32_t>(i)))) {
      ++g.label_offsets[static_cast<std::size_t>(l) + 1];
    }
  }
  for (std::size_t k = 0; k < g.extra_labels.size(); ++k) {
    if (!(tombstones && g.node_is_deleted(g.extra_label_nodes[k]))) {
      ++g.label_offsets[static_cast<std::size_t>(g.extra_labels[k]) + 1];
    }
  }
  for (std::size_t k = 1; k < g.label_offsets.size(); ++k) g.label_offsets[k] += g.label_offsets[k - 1];
  g.label_members.assign(g.label_offsets.back(), 0);
  std::vector<std::uint32_t> cursor(g.label_offsets.begin(), g.label_offsets.end() - 1);
  for (std::uint64_t i = 0; i < g.labels.size(); ++i) {
    if (g.labels[i] != kNoLabel && !(tombstones && g.node_is_deleted(static_cast<std::uint32_t>(i)))) {
      g.label_members[cursor[g.labels[i]]++] = static_cast<std::uint32_t>(i);
    }
  }
  if (g.extra_labels.empty()) return;
  for (std::size_t k = 0; k < g.extra_labels.size(); ++k) {
    if (tombstones && g.node_is_deleted(g.extra_label_nodes[k])) continue;
    g.label_members[cursor[g.extra_labels[k]]++] = g.extra_label_nodes[k];
  }
  for (std::size_t l = 0; l + 1 < g.label_offsets.size(); ++l) {
    const auto first = g.label_members.begin() + g.label_offsets[l];
    std::sort(first, g.label_members.begin() + g.label_offsets[l + 1]);
  }
}

// The incoming side is the transpose of the edge list, and writing it
// straight to its slots puts every relationship's slot on a cache line of
// its own somewhere in the arrays. It is built in two passes instead: the
// relationships are first staged in buckets of consecutive target
// positions, each bucket in the slot range its targets' runs will fill (a
// few thousand streams written in order), and each bucket is then counted
// and scattered within that range, which is small enough to stay in the
// cache. Staging uses the incoming arrays themselves (source in
// in_sources, identity in in_rels) plus one 32-bit tag per relationship
// (target within the bucket, type), so the extra memory is four bytes a
// relationship. Both passes keep identity order, so each run comes out with
// ascending identities as a direct scatter gives.
struct IncomingBuckets {
  explicit IncomingBuckets(std::uint64_t node_count) {
    while (shift < kMaxShift && (node_count >> shift) > kTargetBuckets) ++shift;
    mask = (std::uint32_t{1} << shift) - 1;
    count = node_count == 0 ? 0 : ((node_count - 1) >> shift) + 1;
  }
  std::uint64_t of(std::uint32_t position) const { return position >> shift; }
  // The tag of a relationship into `position` of type `type`.
  std::uint32_t tag(std::uint32_t position, std::uint16_t type) const {
    return (position & mask) | static_cast<std::uint32_t>(type) << 16;
  }

  static constexpr unsigned kMaxShift = 16;             // a position within its bucket fits 16 bits
  static constexpr std::uint64_t kTargetBuckets = 1024;  // buckets the staging pass writes at once
  unsigned shift = 0;       // bucket of a position: position >> shift
  std::uint32_t mask = 0;   // position within its bucket: position & mask
  std::uint64_t count = 0;  // buckets
};

// Fills in_offsets and puts each staged relationship into its slot within
// its bucket's range. `bucket_start` holds each bucket's first slot (and
// the slot count last); `tags` is indexed by staging slot.
void scatter_incoming(PhysicalGraph& g, const IncomingBuckets& buckets, const std::vector<std::uint32_t>& bucket_start,
                      const std::vector<std::uint32_t>& tags) {
  const std::uint64_t n = g.node_count;
  g.in_offsets.assign(n + 1, 0);
  std::vector<std::uint32_t> cursor(std::size_t{buckets.mask} + 2);
  std::vector<std::uint32_t> sources, rels;  // the bucket's staged entries, moved aside
  for (std::uint64_t b = 0; b < buckets.count; ++b) {
    const std::uint64_t first = b << buckets.shift;
    const std::uint64_t width = std::min<std::uint64_t>(n - first, std::uint64_t{buckets.mask} + 1);
    const std::uint32_t begin = bucket_start[b], end = bucket_start[b + 1];
    std::fill(cursor.begin(), cursor.begin() + static_cast<std::ptrdiff_t>(width) + 1, 0);
    for (std::uint32_t i = begin; i < end; ++i) ++cursor[(tags[i] & buckets.mask) + 1];
    std::uint32_t running = begin;
    for (std::uint64_t k = 0; k < width; ++k) {
      g.in_offsets[first + k] = running;
      running += cursor[k + 1];
      cursor[k] = g.in_offsets[first + k];
    }
    sources.assign(g.in_sources.begin() + begin, g.in_sources.begin() + end);
    rels.assign(g.in_rels.begin() + begin, g.in_rels.begin() + end);
    for (std::uint32_t i = begin; i < end; ++i) {
      const std::uint32_t slot = cursor[tags[i] & buckets.mask]++;
      g.in_sources[slot] = sources[i - begin];
      g.in_rels[slot] = rels[i - begin];
      g.in_types[slot] = static_cast<std::uint16_t>(tags[i] >> 16);
    }
  }
  g.in_offsets[n] = static_cast<std::uint32_t>(tags.size());
}

// What install_compiled derives from a checked outgoing CSR, in one walk
// over the outgoing slots in position order: each node's out_degree, the
// highest type, the edge list (each slot written at its identity) and the
// incoming CSR, staged by target bucket as compile stages the edge list
// and then scattered within each bucket. Both incoming passes keep the
// visiting order, so each incoming run lists its sources ascending, and
// the relationships from one source in that source's run order;
// build_typed_csr puts runs of several types in order afterwards. Slot
// order within a run does not matter to the edge list, so sorting the runs
// later leaves it valid.
void derive_from_outgoing(PhysicalGraph& g) {
  const std::uint64_t n = g.node_count;
  const std::size_t e_count = g.out_targets.size();
  const IncomingBuckets buckets(n);
  std::vector<std::uint32_t> bucket_start(buckets.count + 1, 0);
  for (const std::uint32_t target : g.out_targets) ++bucket_start[buckets.of(target) + 1];
  for (std::uint64_t b = 0; b < buckets.count; ++b) bucket_start[b + 1] += bucket_start[b];
  g.out_degree.resize(n);
  g.edges.resize(e_count);
  g.in_sources.resize(e_count);
  g.in_types.resize(e_count);
  g.in_rels.resize(e_count);
  std::vector<std::uint32_t> tags(e_count);
  std::vector<std::uint32_t> cursor(bucket_start.begin(), bucket_start.end() - 1);
  std::uint16_t max_type = 0;
  for (std::uint64_t u = 0; u < n; ++u) {
    const std::uint32_t first = g.out_offsets[u], last = g.out_offsets[u + 1];
    const std::uint32_t source = g.to_logical[u];
    g.out_degree[u] = last - first;
    for (std::uint32_t s = first; s < last; ++s) {
      const std::uint32_t target = g.out_targets[s], rel = g.out_rels[s];
      const std::uint16_t type = g.out_types[s];
      max_type = std::max(max_type, type);
      g.edges[rel] = Edge{source, g.to_logical[target], type};
      const std::uint32_t slot = cursor[buckets.of(target)]++;
      g.in_sources[slot] = static_cast<std::uint32_t>(u);
      g.in_rels[slot] = rel;
      tags[slot] = buckets.tag(target, type);
    }
  }
  g.rel_type_count = e_count == 0 ? 0 : static_cast<std::uint64_t>(max_type) + 1;
  scatter_incoming(g, buckets, bucket_start, tags);
}

}  // namespace

void PhysicalGraph::remove_duplicate_edges() {
  sort_edges(edges, node_count);
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  edges.shrink_to_fit();
  csr_valid = false;
  csr_exact = false;
  compiled = false;
  delta_out.clear();
  delta_in.clear();
  relabelled.clear();
}

namespace {

// One direction's combined runs with the relationships `added` (their
// relationship identities, each with the position whose run takes it and
// its neighbour's position) merged in: every run is copied, and a run that
// gains relationships is sorted again. Returns how many more parallel
// relationships the runs hold than before.
std::int64_t merge_runs(std::vector<std::uint32_t>& offsets, std::vector<std::uint32_t>& neighbours,
                        std::vector<std::uint16_t>& types, std::vector<std::uint32_t>& rels,
                        std::vector<std::array<std::uint32_t, 3>> added, const std::vector<Edge>& edges,
                        std::uint64_t node_count) {
  std::sort(added.begin(), added.end());  // by position, then neighbour, then identity
  const std::size_t total = neighbours.size() + added.size();
  std::vector<std::uint32_t> new_offsets(node_count + 1, 0), new_neighbours(total), new_rels(total);
  std::vector<std::uint16_t> new_types(total);
  std::vector<SlotKey> scratch;
  std::int64_t parallel = 0;
  std::size_t next = 0, slot = 0;
  const std::uint64_t old_nodes = offsets.size() - 1;
  for (std::uint64_t p = 0; p < node_count; ++p) {
    new_offsets[p] = static_cast<std::uint32_t>(slot);
    const std::uint32_t from = p < old_nodes ? offsets[p] : offsets.back();
    const std::uint32_t to = p < old_nodes ? offsets[p + 1] : offsets.back();
    const std::size_t start = slot;
    for (std::uint32_t s = from; s < to; ++s, ++slot) {
      new_neighbours[slot] = neighbours[s];
      new_types[slot] = types[s];
      new_rels[slot] = rels[s];
    }
    if (next < added.size() && added[next][0] == p) {
      parallel -= static_cast<std::int64_t>(
          sort_run(new_neighbours.data() + start, new_types.data() + start, new_rels.data() + start, slot - start, scratch));
      for (; next < added.size() && added[next][0] == p; ++next, ++slot) {
        new_neighbours[slot] = added[next][1];
        new_types[slot] = edges[added[next][2]].type;
        new_rels[slot] = added[next][2];
      }
      parallel += static_cast<std::int64_t>(
          sort_run(new_neighbours.data() + start, new_types.data() + start, new_rels.data() + start, slot - start, scratch));
    }
  }
  new_offsets[node_count] = static_cast<std::uint32_t>(slot);
  offsets = std::move(new_offsets);
  neighbours = std::move(new_neighbours);
  types = std::move(new_types);
  rels = std::move(new_rels);
  return parallel;
}

}  // namespace

bool PhysicalGraph::extend_compiled() {
  if (!csr_valid || !csr_exact || edges.size() < csr_edges || node_count < csr_nodes || has_tombstones()) {
    return false;
  }
  // Nodes added since sit at positions equal to their identities, after
  // every compiled one; relationships added since join the runs of their
  // ends, which are otherwise copied as they are.
  const std::uint64_t n = node_count;
  std::vector<std::array<std::uint32_t, 3>> out_added, in_added;
  std::uint16_t max_type = rel_type_count == 0 ? 0 : static_cast<std::uint16_t>(rel_type_count - 1);
  for (std::uint64_t r = csr_edges; r < edges.size(); ++r) {
    const Edge& e = edges[r];
    const std::uint32_t ps = to_physical[e.src], pd = to_physical[e.dst];
    out_added.push_back({ps, pd, static_cast<std::uint32_t>(r)});
    in_added.push_back({pd, ps, static_cast<std::uint32_t>(r)});
    max_type = std::max(max_type, e.type);
  }
  if (out_added.empty()) {
    const std::uint64_t more = n - csr_nodes;
    const auto grow = [more](std::vector<std::uint32_t>& offsets) { offsets.insert(offsets.end(), more, offsets.back()); };
    grow(out_offsets);
    grow(in_offsets);
    for (TypedRunIndex* index : {&typed_out, &typed_in}) {
      for (std::vector<std::uint32_t>& offsets : index->offsets) grow(offsets);
    }
  } else {
    const std::int64_t more_parallel =
        merge_runs(out_offsets, out_targets, out_types, out_rels, std::move(out_added), edges, n);
    merge_runs(in_offsets, in_sources, in_types, in_rels, std::move(in_added), edges, n);
    parallel_relationships = static_cast<std::uint64_t>(static_cast<std::int64_t>(parallel_relationships) + more_parallel);
    rel_type_count = static_cast<std::uint64_t>(max_type) + 1;
    build_type_tables(*this);
  }
  out_degree.resize(n);
  for (std::uint64_t v = 0; v < n; ++v) out_degree[v] = out_offsets[v + 1] - out_offsets[v];
  if (n != csr_nodes) build_label_lists(*this);
  mark_compiled();
  return true;
}

void PhysicalGraph::mark_compiled() {
  compiled = true;
  csr_nodes = node_count;
  csr_edges = edges.size();
  csr_valid = true;
  csr_exact = !has_tombstones();
  csr_tombstones = has_tombstones();
  delta_out.clear();
  delta_in.clear();
  relabelled.clear();
}

void PhysicalGraph::compile_from(const PhysicalGraph& from, const std::vector<std::uint32_t>& node_map,
                                 const std::vector<std::uint32_t>& rel_map) {
  const std::uint64_t n = node_count;
  // Old position → new position; kNoNode for a node that is gone.
  std::vector<std::uint32_t> position(from.node_count, kNoNode);
  for (std::uint64_t p = 0; p < from.node_count; ++p) {
    const std::uint32_t kept = node_map[from.to_logical[p]];
    if (kept != kNoNode) position[p] = to_physical[kept];
  }
  std::uint16_t max_type = 0;
  const auto filter = [&](const std::vector<std::uint32_t>& offsets, const std::vector<std::uint32_t>& neighbours,
                          const std::vector<std::uint16_t>& types, const std::vector<std::uint32_t>& rels,
                          std::vector<std::uint32_t>& new_offsets, std::vector<std::uint32_t>& new_neighbours,
                          std::vector<std::uint16_t>& new_types, std::vector<std::uint32_t>& new_rels) {
    new_offsets.assign(n + 1, 0);
    new_neighbours.clear();
    new_types.clear();
    new_rels.clear();
    const std::size_t total = edges.size();
    new_neighbours.reserve(total);
    new_types.reserve(total);
    new_rels.reserve(total);
    // Kept nodes keep their order of positions, so new positions follow
    // the old ones; both maps rise, so every run stays sorted.
    for (std::uint64_t p = 0; p < from.node_count; ++p) {
      if (position[p] == kNoNode) continue;
      for (std::uint32_t s = offsets[p]; s < offsets[p + 1]; ++s) {
        const std::uint32_t rel = rel_map[rels[s]];
        if (rel == kNoNode) continue;
        new_neighbours.push_back(position[neighbours[s]]);
        new_types.push_back(types[s]);
        new_rels.push_back(rel);
        max_type = std::max(max_type, types[s]);
      }
      new_offsets[position[p] + 1] = static_cast<std::uint32_t>(new_rels.size());
    }
  };
  filter(from.out_offsets, from.out_targets, from.out_types, from.out_rels, out_offsets, out_targets, out_types,
         out_rels);
  filter(from.in_offsets, from.in_sources, from.in_types, from.in_rels, in_offsets, in_sources, in_types, in_rels);
  rel_type_count = out_rels.empty() ? 0 : static_cast<std::uint64_t>(max_type) + 1;
  out_degree.resize(n);
  std::vector<SlotKey> scratch;
  parallel_relationships = 0;
  for (std::uint64_t v = 0; v < n; ++v) {
    out_degree[v] = out_offsets[v + 1] - out_offsets[v];
    parallel_relationships += sort_run(out_targets.data() + out_offsets[v], out_types.data() + out_offsets[v],
                                       out_rels.data() + out_offsets[v], out_degree[v], scratch);
  }
  build_type_tables(*this);
  build_label_lists(*this);
  mark_compiled();
}

void PhysicalGraph::compile() {
  if (extend_compiled()) return;
  const std::uint64_t n = node_count;
  // Tombstones take no slot.
  const bool tombstones = deleted_relationships != 0;
  const std::size_t e_count = edges.size() - deleted_relationships;
  const IncomingBuckets buckets(n);
  out_offsets.assign(n + 1, 0);
  std::vector<std::uint32_t> bucket_start(buckets.count + 1, 0);
  std::uint16_t max_type = 0;
  for (std::size_t r = 0; r < edges.size(); ++r) {
    if (tombstones && relationship_is_deleted(static_cast<std::uint32_t>(r))) continue;
    const Edge& e = edges[r];
    ++out_offsets[to_physical[e.src] + 1];
    ++bucket_start[buckets.of(to_physical[e.dst]) + 1];
    max_type = std::max(max_type, e.type);
  }
  for (std::uint64_t v = 0; v < n; ++v) out_offsets[v + 1] += out_offsets[v];
  for (std::uint64_t b = 0; b < buckets.count; ++b) bucket_start[b + 1] += bucket_start[b];
  out_degree.resize(n);
  for (std::uint64_t v = 0; v < n; ++v) out_degree[v] = out_offsets[v + 1] - out_offsets[v];
  rel_type_count = e_count == 0 ? 0 : static_cast<std::uint64_t>(max_type) + 1;

  out_targets.assign(e_count, 0);
  out_types.assign(e_count, 0);
  out_rels.assign(e_count, 0);
  in_sources.assign(e_count, 0);
  in_types.assign(e_count, 0);
  in_rels.assign(e_count, 0);
  {
    std::vector<std::uint32_t> tags(e_count);
    std::vector<std::uint32_t> out_cursor(out_offsets.begin(), out_offsets.end() - 1);
    std::vector<std::uint32_t> bucket_cursor(bucket_start.begin(), bucket_start.end() - 1);
    for (std::size_t r = 0; r < edges.size(); ++r) {
      if (tombstones && relationship_is_deleted(static_cast<std::uint32_t>(r))) continue;
      const Edge& e = edges[r];
      const std::uint32_t ps = to_physical[e.src], pd = to_physical[e.dst];
      std::uint32_t slot = out_cursor[ps]++;
      out_targets[slot] = pd;
      out_types[slot] = e.type;
      out_rels[slot] = static_cast<std::uint32_t>(r);
      slot = bucket_cursor[buckets.of(pd)]++;
      in_sources[slot] = ps;
      in_rels[slot] = static_cast<std::uint32_t>(r);
      tags[slot] = buckets.tag(pd, e.type);
    }
    scatter_incoming(*this, buckets, bucket_start, tags);
  }
  mark_compiled();
  build_typed_csr();  // sorts the combined runs first
}

void PhysicalGraph::sort_adjacency() {
  if (!compiled) return;
  std::vector<SlotKey> scratch;
  parallel_relationships = 0;
  for (std::uint64_t v = 0; v < node_count; ++v) {
    parallel_relationships +=
        sort_run(out_targets.data() + out_offsets[v], out_types.data() + out_offsets[v],
                 out_rels.data() + out_offsets[v], out_offsets[v + 1] - out_offsets[v], scratch);
  }
  for (std::uint64_t v = 0; v < node_count; ++v) {
    sort_run(in_sources.data() + in_offsets[v], in_types.data() + in_offsets[v], in_rels.data() + in_offsets[v],
             in_offsets[v + 1] - in_offsets[v], scratch);
  }
}

void PhysicalGraph::build_typed_csr() {
  if (!compiled) return;
  sort_adjacency();
  build_type_tables(*this);
  build_label_lists(*this);
}

void PhysicalGraph::apply_permutation(const std::vector<std::uint32_t>& order) {
  if (order.size() != node_count) throw std::invalid_argument("permutation size mismatch");
  const std::uint64_t n = node_count;
  std::vector<std::uint32_t> new_position(n);
  for (std::uint64_t i = 0; i < n; ++i) new_position[order[i]] = static_cast<std::uint32_t>(i);
  for (std::uint64_t j = 0; j < n; ++j) to_physical[j] = new_position[to_physical[j]];
  to_logical.assign(n, kNoNode);
  for (std::uint64_t j = 0; j < n; ++j) to_logical[to_physical[j]] = static_cast<std::uint32_t>(j);
  csr_exact = false;  // every position moved: rebuild
  compile();
}

void PhysicalGraph::install_compiled(std::vector<std::uint16_t> labels_in,
                                     std::vector<std::uint32_t> to_physical_in,
                                     std::vector<std::uint32_t> to_logical_in,
                                     std::vector<std::uint32_t> out_offsets_in,
                                     std::vector<std::uint32_t> out_targets_in,
                                     std::vector<std::uint16_t> out_types_in,
                                     std::vector<std::uint32_t> out_rels_in) {
  labels = std::move(labels_in);
  to_physical = std::move(to_physical_in);
  to_logical = std::move(to_logical_in);
  out_offsets = std::move(out_offsets_in);
  out_targets = std::move(out_targets_in);
  out_types = std::move(out_types_in);
  out_rels = std::move(out_rels_in);
  node_count = labels.size();
  derive_from_outgoing(*this);
  mark_compiled();
  build_typed_csr();
}

}  // namespace orvane
