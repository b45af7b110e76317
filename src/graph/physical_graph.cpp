// PhysicalGraph builders and neighbour readers. Compilation and renumbering
// live in csr_build.cpp.
#include "graph/physical_graph.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orvane {

std::uint32_t PhysicalGraph::add_node(std::uint16_t label) {
  if (node_count >= kMaxNodeCount) throw std::runtime_error("node identity limit reached");
  const auto identity = static_cast<std::uint32_t>(node_count);
  // Grow every vector before touching node_count so that an allocation
  // failure leaves the graph as it was.
  reserve_more(labels, 1);
  reserve_more(to_physical, 1);
  reserve_more(to_logical, 1);
  reserve_more(out_degree, 1);
  labels.push_back(label);
  to_physical.push_back(identity);
  to_logical.push_back(identity);
  out_degree.push_back(0);
  ++node_count;
  compiled = false;
  return identity;
}

namespace {

// Sets flag `at` of `flags` (grown with zeros to `size` on first need) to
// `value`, keeping `count` in step; false when it already had that value.
bool mark_flag(std::vector<std::uint8_t>& flags, std::uint64_t& count, std::uint64_t at, std::uint64_t size,
               bool value) {
  const bool now = at < flags.size() && flags[at] != 0;
  if (now == value) return false;
  if (flags.size() <= at) flags.resize(size, 0);
  flags[at] = value ? 1 : 0;
  count = value ? count + 1 : count - 1;
  if (count == 0) flags.clear();
  return true;
}

}  // namespace

bool PhysicalGraph::mark_node_deleted(std::uint32_t identity, bool deleted) {
  if (identity >= node_count) throw std::out_of_range("node out of range");
  if (!mark_flag(node_deleted, deleted_nodes, identity, node_count, deleted)) return false;
  compiled = false;
  csr_exact = false;
  // A compilation that left tombstones out lacks this one, live again.
  if (!deleted && csr_tombstones && identity < csr_nodes) csr_valid = false;
  return true;
}

bool PhysicalGraph::mark_relationship_deleted(std::uint32_t rel, bool deleted) {
  if (rel >= edges.size()) throw std::out_of_range("relationship out of range");
  if (!mark_flag(rel_deleted, deleted_relationships, rel, edges.size(), deleted)) return false;
  compiled = false;
  csr_exact = false;
  if (!deleted && csr_tombstones && rel < csr_edges) csr_valid = false;
  return true;
}

void PhysicalGraph::note_relabelled(std::uint32_t identity) {
  if (identity >= csr_nodes) return;  // read from `labels` directly
  csr_exact = false;
  if (csr_valid) relabelled.insert(identity);
}

bool PhysicalGraph::add_label(std::uint32_t identity, std::uint16_t label) {
  if (identity >= node_count) throw std::out_of_range("node out of range");
  if (has_label(identity, label)) return false;
  note_relabelled(identity);
  if (labels[identity] == kNoLabel) {
    labels[identity] = label;
    compiled = false;
    return true;
  }
  // After the node's last further label, which keeps the pairs ordered by
  // identity and each node's labels in the order given.
  const auto at = std::upper_bound(extra_label_nodes.begin(), extra_label_nodes.end(), identity);
  const auto k = at - extra_label_nodes.begin();
  reserve_more(extra_label_nodes, 1);
  reserve_more(extra_labels, 1);
  extra_label_nodes.insert(extra_label_nodes.begin() + k, identity);
  extra_labels.insert(extra_labels.begin() + k, label);
  compiled = false;
  return true;
}

void PhysicalGraph::set_labels(std::uint32_t identity, const std::vector<std::uint16_t>& labels_in) {
  note_relabelled(identity);
  const auto lo = std::lower_bound(extra_label_nodes.begin(), extra_label_nodes.end(), identity);
  const auto hi = std::upper_bound(lo, extra_label_nodes.end(), identity);
  const auto from = lo - extra_label_nodes.begin(), to = hi - extra_label_nodes.begin();
  extra_label_nodes.erase(lo, hi);
  extra_labels.erase(extra_labels.begin() + from, extra_labels.begin() + to);
  labels[identity] = labels_in.empty() ? kNoLabel : labels_in[0];
  if (labels_in.size() > 1) {
    extra_label_nodes.insert(extra_label_nodes.begin() + from, labels_in.size() - 1, identity);
    extra_labels.insert(extra_labels.begin() + from, labels_in.begin() + 1, labels_in.end());
  }
  compiled = false;
}

bool PhysicalGraph::has_label(std::uint32_t identity, std::uint16_t label) const {
  if (labels[identity] == label) return label != kNoLabel;
  if (extra_labels.empty()) return false;
  const auto [lo, hi] = std::equal_range(extra_label_nodes.begin(), extra_label_nodes.end(), identity);
  for (auto it = lo; it != hi; ++it) {
    if (extra_labels[it - extra_label_nodes.begin()] == label) return true;
  }
  return false;
}

std::vector<std::uint16_t> PhysicalGraph::labels_of(std::uint32_t identity) const {
  std::vector<std::uint16_t> out;
  if (labels[identity] == kNoLabel) return out;
  out.push_back(labels[identity]);
  const auto [lo, hi] = std::equal_range(extra_label_nodes.begin(), extra_label_nodes.end(), identity);
  for (auto it = lo; it != hi; ++it) out.push_back(extra_labels[it - extra_label_nodes.begin()]);
  return out;
}

std::uint32_t PhysicalGraph::add_edge(std::uint32_t src, std::uint32_t dst, std::uint16_t type) {
  if (src >= node_count || dst >= node_count) throw std::out_of_range("edge endpoint out of range");
  if (edges.size() >= kMaxRelationshipCount) throw std::runtime_error("relationship identity limit reached");
  const auto identity = static_cast<std::uint32_t>(edges.size());
  reserve_more(edges, 1);
  if (csr_valid) {
    std::vector<std::uint32_t>& outgoing = delta_out[src];
    reserve_more(outgoing, 1);
    std::vector<std::uint32_t>& incoming = delta_in[dst];
    reserve_more(incoming, 1);
    outgoing.push_back(identity);
    incoming.push_back(identity);
  }
  edges.push_back(Edge{src, dst, type});
  compiled = false;
  return identity;
}

void PhysicalGraph::truncate_edges(std::uint64_t keep) {
  for (std::uint64_t r = edges.size(); r > keep; --r) {
    if (r - 1 < csr_edges || !csr_valid) continue;
    // The newest relationships are the last of their ends' lists.
    const Edge& e = edges[r - 1];
    for (auto [index, end] : {std::pair{&delta_out, e.src}, std::pair{&delta_in, e.dst}}) {
      const auto it = index->find(end);
      if (it == index->end()) continue;
      if (!it->second.empty() && it->second.back() == r - 1) it->second.pop_back();
      if (it->second.empty()) index->erase(it);
    }
  }
  edges.resize(keep);
  if (keep < csr_edges) csr_valid = csr_exact = false;
}

std::uint64_t PhysicalGraph::label_count_now(std::uint16_t label) const {
  const NodeRun base = nodes_with_label(label);
  const auto in_base = [&](std::uint32_t identity) { return std::binary_search(base.begin(), base.end(), identity); };
  auto count = static_cast<std::int64_t>(base.size());
  // Members deleted since the compilation (those deleted before it are not
  // in the list); relabelled ones are counted below, by their labels now.
  if (deleted_nodes != 0) {
    const std::uint8_t* flags = node_deleted.data();
    const std::size_t end = std::min<std::size_t>(node_deleted.size(), csr_nodes);
    for (const std::uint8_t* at = flags; (at = static_cast<const std::uint8_t*>(std::memchr(at, 1, end - (at - flags))));
         ++at) {
      const auto identity = static_cast<std::uint32_t>(at - flags);
      if (!relabelled.contains(identity) && in_base(identity)) --count;
    }
  }
  for (const std::uint32_t identity : relabelled) {
    if (in_base(identity)) --count;
    if (!node_is_deleted(identity) && has_label(identity, label)) ++count;
  }
  for (std::uint64_t identity = csr_nodes; identity < node_count; ++identity) {
    const auto node = static_cast<std::uint32_t>(identity);
    if (!node_is_deleted(node) && has_label(node, label)) ++count;
  }
  return static_cast<std::uint64_t>(count);
}

SplitRun PhysicalGraph::nodes_with_label_now(std::uint16_t label, std::vector<std::uint32_t>& scratch) const {
  const NodeRun base = nodes_with_label(label);
  scratch.clear();
  if (relabelled.empty()) {
    // The base as it is, then the added nodes: all above the base's.
    for (std::uint64_t identity = csr_nodes; identity < node_count; ++identity) {
      if (has_label(static_cast<std::uint32_t>(identity), label)) scratch.push_back(static_cast<std::uint32_t>(identity));
    }
    return {base, {scratch.data(), scratch.size()}};
  }
  // The base's members that kept their labels, merged with the
  // relabelled ones that have it now; both ascending.
  scratch.reserve(base.size());
  auto changed = relabelled.begin();
  for (const std::uint32_t identity : base) {
    for (; changed != relabelled.end() && *changed < identity; ++changed) {
      if (has_label(*changed, label)) scratch.push_back(*changed);
    }
    if (changed != relabelled.end() && *changed == identity) continue;  // taken from the set
    scratch.push_back(identity);
  }
  for (; changed != relabelled.end(); ++changed) {
    if (has_label(*changed, label)) scratch.push_back(*changed);
  }
  for (std::uint64_t identity = csr_nodes; identity < node_count; ++identity) {
    if (has_label(static_cast<std::uint32_t>(identity), label)) scratch.push_back(static_cast<std::uint32_t>(identity));
  }
  return {{scratch.data(), scratch.size()}, {}};
}

NodeRun PhysicalGraph::out_neighbors(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {out_targets.data() + out_offsets[position], out_offsets[position + 1] - out_offsets[position]};
}

NodeRun PhysicalGraph::in_neighbors(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {in_sources.data() + in_offsets[position], in_offsets[position + 1] - in_offsets[position]};
}

TypeRun PhysicalGraph::out_edge_types(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {out_types.data() + out_offsets[position], out_offsets[position + 1] - out_offsets[position]};
}

TypeRun PhysicalGraph::in_edge_types(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {in_types.data() + in_offsets[position], in_offsets[position + 1] - in_offsets[position]};
}

RelRun PhysicalGraph::out_rel_ids(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {out_rels.data() + out_offsets[position], out_offsets[position + 1] - out_offsets[position]};
}

RelRun PhysicalGraph::in_rel_ids(std::uint32_t position) const {
  if (!base_readable(position)) return {};
  return {in_rels.data() + in_offsets[position], in_offsets[position + 1] - in_offsets[position]};
}

NodeRun PhysicalGraph::identity_out_neighbors(std::uint32_t identity) const {
  if (identity >= to_physical.size()) throw std::out_of_range("identity out of range");
  return out_neighbors(to_physical[identity]);
}

NodeRun PhysicalGraph::search_typed_run(const std::vector<std::uint32_t>& offsets,
                                        const std::vector<std::uint32_t>& neighbours,
                                        const std::vector<std::uint16_t>& types, std::uint32_t position,
                                        std::uint16_t type) {
  const std::uint16_t* first = types.data() + offsets[position];
  const std::uint16_t* last = types.data() + offsets[position + 1];
  const auto [lo, hi] = std::equal_range(first, last, type);
  return {neighbours.data() + (lo - types.data()), static_cast<std::size_t>(hi - lo)};
}

PhysicalGraph::TypedRuns PhysicalGraph::typed_runs(const std::vector<std::uint32_t>& offsets,
                                                    const std::vector<std::uint32_t>& neighbours,
                                                    const std::vector<std::uint32_t>& rels,
                                                    const std::vector<std::uint16_t>& types, std::uint32_t position,
                                                    std::uint16_t type) const {
  if (!base_readable(position) || type >= rel_type_count) return {};
  const std::uint32_t begin = offsets[position], end = offsets[position + 1];
  const std::uint16_t* first = types.data() + begin;
  const std::uint16_t* last = types.data() + end;
  // Runs are short: a linear walk beats the binary search's branches.
  const std::uint16_t* lo = first;
  if (end - begin <= 16) {
    while (lo != last && *lo < type) ++lo;
  } else {
    lo = std::lower_bound(first, last, type);
  }
  const std::uint16_t* hi = lo;
  while (hi != last && *hi == type) ++hi;
  const std::size_t at = static_cast<std::size_t>(lo - types.data());
  const std::size_t n = static_cast<std::size_t>(hi - lo);
  return {{neighbours.data() + at, n}, {rels.data() + at, n}};
}

NodeRun PhysicalGraph::nodes_with_label(std::uint16_t label) const {
  if (!csr_valid || static_cast<std::size_t>(label) + 1 >= label_offsets.size()) return {};
  return {label_members.data() + label_offsets[label], label_offsets[label + 1] - label_offsets[label]};
}

bool PhysicalGraph::has_edge(std::uint32_t source, std::uint32_t target, std::uint16_t type) const {
  if (!base_readable(source) || !base_readable(target) || type >= rel_type_count) return false;
  const NodeRun run = typed_out_neighbors(source, type);
  return std::binary_search(run.begin(), run.end(), target);
}

}  // namespace orvane
