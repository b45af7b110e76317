// The structural half of a graph: node labels, the identity/position maps,
// the relationship list and the compiled CSR arrays built from it.
//
// Two numbers name a node. Its identity is its creation number and never
// changes; its position is its row in the CSR arrays and changes only when a
// permutation is applied. `labels` is indexed by identity; every CSR array
// is indexed by position and holds positions. 0xFFFFFFFF is never an
// identity or a position ("no node").
//
// A relationship is named by its identity too: its index in `edges`, which
// is kept in creation order and never reordered (renumbering positions
// leaves it alone), so an identity is stable for the relationship's life.
// Parallel relationships (same source, target and type) are distinct
// entries. Every slot of the combined CSR carries the identity of its
// relationship (`out_rels`, `in_rels`), so a walk can tell parallel
// relationships apart and report which one it took.
//
// A node has zero or more labels, a set in a stable order. The first is
// `labels[identity]` (kNoLabel for a node without labels), read at every
// step of a filtered walk; further labels, rare in the graphs we serve,
// are pairs in `extra_label_nodes` / `extra_labels`, ordered by node
// identity and, within a node, in the order they were given.
//
// A deleted node or relationship is a tombstone, part of the delta: it
// keeps its identity, labels and properties (the write may still be
// undone), compile leaves it out of the CSR and the label lists, and every
// reader of the query engine skips it. Folding a graph with tombstones
// makes a new graph without them (Database::compacted), numbered densely.
//
// A write does not compile: it appends to the edge list and the node
// vectors, sets flags and changes labels, and the CSR arrays keep the last
// compilation (the base) while `csr_valid`. What changed since (the delta:
// relationships from `csr_edges` on, indexed under both ends, nodes from
// `csr_nodes` on, compiled nodes whose labels changed, tombstones) is what
// the query engine's readers (for_each_adjacent, nodes_with_label_now) merge
// with the base, so a write costs what it changes and a read after it is
// exact. Compiling folds the delta into new arrays. The plain readers see
// the base alone (an empty run for a node the base does not hold); every
// other consumer reads a graph with `compiled` set, where the base is all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

namespace orvane {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;
inline constexpr std::uint16_t kAllTypes = 65535;         // "every type" where a reader accepts it
inline constexpr std::uint64_t kMaxNodeCount = 0xFFFFFFFFull;  // identities 0 … 0xFFFFFFFE
inline constexpr std::uint64_t kMaxRelationshipCount = 0xFFFFFFFFull;  // relationship identities likewise
inline constexpr std::uint16_t kNoLabel = 65535;  // `labels` entry of a node without labels

// Makes room for `extra` more elements with geometric growth, so that a
// following push_back cannot throw and repeated appends stay amortised O(1).
template <typename Vector>
void reserve_more(Vector& v, std::size_t extra) {
  if (v.capacity() - v.size() >= extra) return;
  const std::size_t wanted = v.size() + extra;
  v.reserve(wanted > 2 * v.capacity() ? wanted : 2 * v.capacity());
}

// One relationship of the edge list, always in node identities; its own
// identity is its index in the list.
struct Edge {
  std::uint32_t src;   // source identity
  std::uint32_t dst;   // target identity
  std::uint16_t type;  // relationship type id

  friend bool operator==(const Edge&, const Edge&) = default;
};

using NodeRun = std::span<const std::uint32_t>;  // positions
using TypeRun = std::span<const std::uint16_t>;  // type ids, parallel to a NodeRun
using RelRun = std::span<const std::uint32_t>;   // relationship identities, parallel to a NodeRun

// Ascending identities held as two runs read one after the other: the
// compiled list of a label and the members added since, so that a scan
// over writes not yet folded reads the list in place instead of copying it.
struct SplitRun {
  NodeRun first;
  NodeRun second;  // every identity here is above every one in `first`

  std::size_t size() const { return first.size() + second.size(); }
  std::uint32_t operator[](std::size_t i) const { return i < first.size() ? first[i] : second[i - first.size()]; }
  // The members at [at, at + k) in place when they lie in one run, else
  // an empty span. Requires: at + k <= size().
  NodeRun contiguous(std::size_t at, std::size_t k) const {
    if (at + k <= first.size()) return first.subspan(at, k);
    if (at >= first.size()) return second.subspan(at - first.size(), k);
    return {};
  }
  template <typename F>
  void for_each(F&& each) const {
    for (const std::uint32_t n : first) each(n);
    for (const std::uint32_t n : second) each(n);
  }
};

// The per-type runs of one direction. A combined run is ordered by (type,
// neighbour, relationship identity), so the run of one type is a
// contiguous, ascending part of it.
// The most frequent types (at most kMaxTypeTables of them, each with at
// least one relationship per kTypeTableDivisor nodes), which traversals
// walk over and over, also get a CSR of their own: offsets by position and
// a copy of their neighbours, read as densely as an untyped walk. Any other
// type is found by binary search over the combined run's type ids, and so
// are the relationship identities of every type: a table lists its
// neighbours in the order of the combined run, so the identities of that
// part of the combined run belong to them slot for slot. A table costs
// 4·(node_count+1) + 4·(its relationships) bytes, at most 20 bytes per
// relationship of its type, so the memory stays linear in nodes and
// relationships whatever the number of types or their ids.
struct TypedRunIndex {
  static constexpr std::uint8_t kNoTable = 0xFF;
  std::vector<std::uint8_t> table_of_type;             // by type id: table index, or kNoTable
  std::vector<std::vector<std::uint32_t>> offsets;     // [table][position]: node_count+1 entries
  std::vector<std::vector<std::uint32_t>> neighbours;  // [table][slot]: neighbour position
};

inline constexpr std::size_t kMaxTypeTables = 8;
inline constexpr std::uint64_t kTypeTableDivisor = 4;

struct PhysicalGraph {
  std::uint64_t node_count = 0;      // number of nodes
  bool compiled = false;             // CSR fields reflect `edges` and every node
  std::uint64_t rel_type_count = 0;  // highest type id in the compiled edges + 1; 0 without edges
  std::vector<std::uint64_t> relationships_by_type;  // compiled relationships of each type id
  std::uint64_t parallel_relationships = 0;  // compiled relationships that repeat an earlier one's
                                             // source, target and type
  std::vector<std::uint16_t> labels;        // by identity: first label id, or kNoLabel
  std::vector<std::uint32_t> extra_label_nodes;  // identities of nodes with more labels, ascending
  std::vector<std::uint16_t> extra_labels;       // parallel: one further label of that node
  std::vector<std::uint32_t> to_physical;   // by identity: position
  std::vector<std::uint32_t> to_logical;    // by position: identity
  std::vector<std::uint32_t> out_degree;    // by position: outgoing relationships, all types
  std::vector<Edge> edges;                  // by relationship identity; source of truth
  std::vector<std::uint32_t> out_offsets;   // by position, node_count+1 entries
  std::vector<std::uint32_t> out_targets;   // by slot: target position
  std::vector<std::uint16_t> out_types;     // by slot: type id
  std::vector<std::uint32_t> out_rels;      // by slot: relationship identity
  std::vector<std::uint32_t> in_offsets;    // by position, node_count+1 entries
  std::vector<std::uint32_t> in_sources;    // by slot: source position
  std::vector<std::uint16_t> in_types;      // by slot: type id
  std::vector<std::uint32_t> in_rels;       // by slot: relationship identity
  TypedRunIndex typed_out;                  // per-type outgoing runs (tables of the frequent types)
  TypedRunIndex typed_in;                   // per-type incoming runs (tables of the frequent types)
  std::vector<std::uint32_t> label_offsets;  // by label id (highest label + 2 entries): start in label_members
  std::vector<std::uint32_t> label_members;  // identities grouped by label (every label of a node),
                                             // ascending within each label
  std::vector<std::uint8_t> node_deleted;    // by identity: 1 for a tombstone; may trail node_count
  std::vector<std::uint8_t> rel_deleted;     // by relationship identity: 1 for a tombstone; may trail edges
  std::uint64_t deleted_nodes = 0;           // tombstones in node_deleted
  std::uint64_t deleted_relationships = 0;   // tombstones in rel_deleted

  bool node_is_deleted(std::uint32_t identity) const {
    return deleted_nodes != 0 && identity < node_deleted.size() && node_deleted[identity] != 0;
  }
  bool relationship_is_deleted(std::uint32_t rel) const {
    return deleted_relationships != 0 && rel < rel_deleted.size() && rel_deleted[rel] != 0;
  }
  // Nodes (relationships) that are not tombstones.
  std::uint64_t live_node_count() const { return node_count - deleted_nodes; }
  std::uint64_t live_relationship_count() const { return edges.size() - deleted_relationships; }
  bool has_tombstones() const { return deleted_nodes + deleted_relationships != 0; }

  // The extent of the last compilation, for readers that combine the CSR
  // with what was added since: while `csr_valid`, the CSR arrays hold every
  // relationship below `csr_edges` that was live at that compilation, for
  // the nodes below `csr_nodes`, whether or not `compiled` was cleared
  // since. Cleared when identities the arrays name are taken back.
  std::uint64_t csr_nodes = 0;
  std::uint64_t csr_edges = 0;
  bool csr_valid = false;
  // Stronger: nothing below csr_nodes and csr_edges changed since (no
  // tombstone set or cleared, no label changed), so that compiling after
  // only nodes were added extends the arrays instead of rebuilding them.
  bool csr_exact = false;

  // The delta's index, kept while `csr_valid` and emptied by every
  // compilation: the relationships from csr_edges on under their source
  // (target) identity, in creation order, and the nodes below csr_nodes
  // whose labels changed since.
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> delta_out;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> delta_in;
  std::set<std::uint32_t> relabelled;
  bool csr_tombstones = false;  // the last compilation left tombstones out

  // How much the delta holds: nodes and relationships added since the
  // last compilation, compiled nodes relabelled since, and tombstones.
  // Grows with the read cost the delta adds; a caller folds past a bound.
  std::uint64_t delta_size() const {
    return (node_count - csr_nodes) + (edges.size() - csr_edges) + relabelled.size() + deleted_nodes +
           deleted_relationships;
  }

  // Whether the delta has grown to where folding it pays: past a
  // sixteenth of the base (and at least 4,096 entities), the read cost it
  // adds is no longer small against the base's.
  bool delta_past_bound() const {
    const std::uint64_t base = csr_nodes + csr_edges;
    return delta_size() > (base / 16 > 4096 ? base / 16 : 4096);
  }

  // Calls `each(rel, other)` for every live relationship of node
  // `identity` in one direction (outgoing: `other` is the target,
  // otherwise the source), of `type` or of every type for kAllTypes: the
  // base's in (type, neighbour, relationship) order, then those added since
  // in creation order. A self-loop comes once per direction. Requires:
  // csr_valid, identity < node_count.
  template <typename F>
  void for_each_adjacent(std::uint32_t identity, bool outgoing, std::uint16_t type, F&& each) const {
    if (identity < csr_nodes) {
      const std::uint32_t position = to_physical[identity];
      NodeRun nodes;
      RelRun rels;
      if (type == kAllTypes) {
        nodes = outgoing ? out_neighbors(position) : in_neighbors(position);
        rels = outgoing ? out_rel_ids(position) : in_rel_ids(position);
      } else {
        const TypedRuns runs = outgoing ? typed_out_runs(position, type) : typed_in_runs(position, type);
        nodes = runs.nodes;
        rels = runs.rels;
      }
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (!relationship_is_deleted(rels[i])) each(rels[i], to_logical[nodes[i]]);
      }
    }
    const auto& index = outgoing ? delta_out : delta_in;
    if (index.empty()) return;
    const auto it = index.find(identity);
    if (it == index.end()) return;
    for (const std::uint32_t rel : it->second) {
      const Edge& e = edges[rel];
      if ((type == kAllTypes || e.type == type) && !relationship_is_deleted(rel)) each(rel, outgoing ? e.dst : e.src);
    }
  }

  // The identities labelled `label` now, ascending, tombstones included.
  // When no compiled node changed its labels since the last compilation
  // that is the base's list in place followed by the nodes added since
  // that have it (in `scratch`); otherwise the list merged with the delta,
  // all in `scratch`. Requires: csr_valid.
  SplitRun nodes_with_label_now(std::uint16_t label, std::vector<std::uint32_t>& scratch) const;

  // How many live nodes have `label` now: the base's list adjusted by the
  // delta (its tombstones, relabelled and added nodes), at the cost of the
  // delta and one sweep of the tombstone flags, never of the list.
  // Requires: csr_valid.
  std::uint64_t label_count_now(std::uint16_t label) const;

  // Drops the relationships from `keep` on (the newest), with their place
  // in the delta's index. Requires: keep <= edges.size().
  void truncate_edges(std::uint64_t keep);

  // Calls `each(rel)` once for every live relationship that starts or ends
  // at node `identity` (a self-loop once), the compiled ones from the CSR
  // and those added since from the edge list. Compiles first unless
  // `csr_valid`. Requires: identity < node_count.
  template <typename F>
  void for_each_relationship(std::uint32_t identity, F&& each) {
    if (!csr_valid) compile();
    for_each_adjacent(identity, true, kAllTypes, [&](std::uint32_t rel, std::uint32_t) { each(rel); });
    for_each_adjacent(identity, false, kAllTypes, [&](std::uint32_t rel, std::uint32_t source) {
      if (source != identity) each(rel);
    });
  }

  // Makes node `identity` (relationship `rel`) a tombstone, or with
  // `deleted` false a live entity again, and clears `compiled`; returns
  // false, changing nothing, when it already was. Throws std::out_of_range
  // "node out of range" ("relationship out of range") beyond the nodes
  // (relationships), and std::bad_alloc, changing nothing.
  bool mark_node_deleted(std::uint32_t identity, bool deleted);
  bool mark_relationship_deleted(std::uint32_t rel, bool deleted);

  // Appends a node with `label` (kNoLabel for none; not validated against
  // any schema) and returns its identity, the old node count; its position
  // equals its identity. Clears `compiled`. Throws std::runtime_error "node
  // identity limit reached" when 0xFFFFFFFF nodes exist already.
  std::uint32_t add_node(std::uint16_t label);

  // Gives node `identity` the further label `label` (its first when it has
  // none) and clears `compiled`; returns false, changing nothing, when the
  // node has it already. Cheap for the newest node, linear in the extra
  // labels otherwise. Throws std::out_of_range "node out of range" for an
  // identity not below `node_count`. Requires: label != kNoLabel.
  bool add_label(std::uint32_t identity, std::uint16_t label);
  // Gives node `identity` exactly `labels` (in order, no repeats, none
  // kNoLabel); the label lists follow at the next compile. Requires:
  // identity < node_count.
  void set_labels(std::uint32_t identity, const std::vector<std::uint16_t>& labels);
  // Whether node `identity` has `label`. Requires: identity < node_count.
  bool has_label(std::uint32_t identity, std::uint16_t label) const;
  // Every label of node `identity`, first label first. Requires: identity
  // < node_count.
  std::vector<std::uint16_t> labels_of(std::uint32_t identity) const;

  // Appends the relationship src → dst of `type` to the edge list, clears
  // `compiled` and returns the new relationship's identity. A relationship
  // parallel to an existing one is a new relationship. Throws
  // std::out_of_range "edge endpoint out of range" unless both identities
  // are below `node_count`, or std::runtime_error "relationship identity
  // limit reached", changing nothing either way.
  std::uint32_t add_edge(std::uint32_t src, std::uint32_t dst, std::uint16_t type);

  // Removes repeated (src, dst, type) relationships, keeping one of each,
  // and orders the edge list by (src, dst, type), which renumbers every
  // relationship identity; clears `compiled`. For builders that produce
  // each relationship once whatever their random draws (the corpus
  // generator, the demo graph), before any relationship is named
  // anywhere else.
  void remove_duplicate_edges();

  // Rebuilds every CSR field from the edge list and the labels and sets
  // `compiled`. Idempotent. When nodes and relationships were only added
  // since the last compilation, merges them into the arrays instead, which
  // copies the runs but sorts none but those that grew.
  void compile();

  // Compiles this graph, made from `from` by dropping nodes and
  // relationships and numbering the rest densely in their old order
  // (`node_map`, `rel_map`: old identity → new, kNoNode for one dropped),
  // with the kept nodes' positions in their old order, by filtering
  // `from`'s arrays instead of sorting anew. Requires: `from`'s CSR holds
  // every relationship of its edge list that is not dropped (csr_valid, no
  // relationship or node added since its compilation), and this graph's
  // labels, maps and edge list are filled.
  void compile_from(const PhysicalGraph& from, const std::vector<std::uint32_t>& node_map,
                    const std::vector<std::uint32_t>& rel_map);

  // Renumbers positions so that the node now at position order[k] moves to
  // position k, then compiles. Throws std::invalid_argument "permutation size
  // mismatch" (changing nothing) when order.size() != node_count. Requires:
  // `order` is a permutation of 0 … node_count−1.
  void apply_permutation(const std::vector<std::uint32_t>& order);

  // Installs the outgoing CSR and node arrays read from a snapshot (already
  // validated by the caller: maps inverse permutations, offsets rising from
  // 0 to the slot count, every target and type in range, `out_rels` a
  // permutation of the relationship identities), derives the incoming CSR
  // from them with the edge list, sorts every run and builds the per-type
  // arrays. The vectors are moved in, never copied.
  void install_compiled(std::vector<std::uint16_t> labels_in,
                        std::vector<std::uint32_t> to_physical_in,
                        std::vector<std::uint32_t> to_logical_in,
                        std::vector<std::uint32_t> out_offsets_in,
                        std::vector<std::uint32_t> out_targets_in,
                        std::vector<std::uint16_t> out_types_in,
                        std::vector<std::uint32_t> out_rels_in);

  // Orders every combined run by (type, neighbour, relationship identity)
  // and counts parallel_relationships. No-op unless compiled.
  void sort_adjacency();

  // Sorts the combined runs, then rebuilds `typed_out`, `typed_in` and the
  // label lists. No-op unless compiled.
  void build_typed_csr();

  // Neighbour readers of the base. Positions must be below node_count
  // (not checked); every reader returns an empty run for a position the
  // base does not hold (none while !csr_valid).
  NodeRun out_neighbors(std::uint32_t position) const;
  NodeRun in_neighbors(std::uint32_t position) const;
  TypeRun out_edge_types(std::uint32_t position) const;
  TypeRun in_edge_types(std::uint32_t position) const;
  RelRun out_rel_ids(std::uint32_t position) const;
  RelRun in_rel_ids(std::uint32_t position) const;
  // The outgoing run of an identity; throws std::out_of_range for an identity
  // at or beyond to_physical.size().
  NodeRun identity_out_neighbors(std::uint32_t identity) const;
  // Per-type runs, ascending; empty when `type` >= rel_type_count. The run
  // comes from the type's own table, or is the part of the combined run
  // that holds `type`.
  NodeRun typed_out_neighbors(std::uint32_t position, std::uint16_t type) const {
    return typed_run(typed_out, out_offsets, out_targets, out_types, position, type);
  }
  NodeRun typed_in_neighbors(std::uint32_t position, std::uint16_t type) const {
    return typed_run(typed_in, in_offsets, in_sources, in_types, position, type);
  }
  // The relationship identities of the per-type runs, slot for slot.
  RelRun typed_out_rel_ids(std::uint32_t position, std::uint16_t type) const {
    if (!base_readable(position) || type >= rel_type_count) return {};
    return search_typed_run(out_offsets, out_rels, out_types, position, type);
  }
  RelRun typed_in_rel_ids(std::uint32_t position, std::uint16_t type) const {
    if (!base_readable(position) || type >= rel_type_count) return {};
    return search_typed_run(in_offsets, in_rels, in_types, position, type);
  }
  // Both of the above with one search: a node's relationships of one type,
  // the nodes reached (positions) and the relationship identities, slot for
  // slot; empty when the base lacks the position or `type` >= rel_type_count.
  struct TypedRuns {
    NodeRun nodes;
    RelRun rels;
  };
  TypedRuns typed_out_runs(std::uint32_t position, std::uint16_t type) const {
    return typed_runs(out_offsets, out_targets, out_rels, out_types, position, type);
  }
  TypedRuns typed_in_runs(std::uint32_t position, std::uint16_t type) const {
    return typed_runs(in_offsets, in_sources, in_rels, in_types, position, type);
  }
  // The identities of the nodes labelled `label` in the base, ascending;
  // empty while !csr_valid or when no node had that label.
  NodeRun nodes_with_label(std::uint16_t label) const;

  // True when source → target of `type` (positions) exists in the base
  // (binary search); false when the base lacks either or the type.
  bool has_edge(std::uint32_t source, std::uint32_t target, std::uint16_t type) const;

 private:
  bool base_readable(std::uint64_t position) const { return csr_valid && position < csr_nodes; }
  // compile()'s shortcut; false, changing nothing, when it does not apply.
  bool extend_compiled();
  // Records that the CSR fields now hold every node and relationship and
  // empties the delta.
  void mark_compiled();
  // Notes a label change of node `identity` in the delta.
  void note_relabelled(std::uint32_t identity);

  // Path enumeration asks for a typed run at every step, so the table read
  // is inline; a type without a table takes the out-of-line search.
  NodeRun typed_run(const TypedRunIndex& index, const std::vector<std::uint32_t>& offsets,
                    const std::vector<std::uint32_t>& neighbours, const std::vector<std::uint16_t>& types,
                    std::uint32_t position, std::uint16_t type) const {
    if (!base_readable(position) || type >= rel_type_count) return {};
    if (const std::uint8_t k = index.table_of_type[type]; k != TypedRunIndex::kNoTable) {
      const std::uint32_t* off = index.offsets[k].data() + position;
      return {index.neighbours[k].data() + off[0], off[1] - off[0]};
    }
    return search_typed_run(offsets, neighbours, types, position, type);
  }
  TypedRuns typed_runs(const std::vector<std::uint32_t>& offsets, const std::vector<std::uint32_t>& neighbours,
                       const std::vector<std::uint32_t>& rels, const std::vector<std::uint16_t>& types,
                       std::uint32_t position, std::uint16_t type) const;
  static NodeRun search_typed_run(const std::vector<std::uint32_t>& offsets,
                                  const std::vector<std::uint32_t>& neighbours,
                                  const std::vector<std::uint16_t>& types, std::uint32_t position, std::uint16_t type);
};

}  // namespace orvane
