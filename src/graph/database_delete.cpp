// Deleting nodes and relationships: tombstones in the graph's delta, and
// the compacted graph that replaces the one holding them when the delta
// is folded.
//
// A tombstone costs one flag, and undoing it clears the flag, so a write
// that deletes and then fails is undone as cheaply as it was done. The
// compacted graph is a new Database rather than an edit of this one: the
// old graph stays whole until the new one has been saved, so a save that
// fails leaves the old graph to roll back, and readers of the old graph
// are never renumbered under their feet.
#include <algorithm>
#include <stdexcept>

#include "graph/database.h"

namespace orvane {
namespace {

void record(UndoLog* log, UndoEntry::Kind kind, std::uint32_t entity) {
  if (log == nullptr) return;
  UndoEntry e;
  e.kind = kind;
  e.entity = entity;
  log->push_back(std::move(e));
}

// A store holding the entities `keep` maps to a new number (in ascending
// order, kNoNode for the rest), each in its group, with the same key ids.
PropertyStore compact_store(const PropertyStore& store, const std::vector<std::uint32_t>& keep) {
  PropertyStore out;
  for (std::uint32_t k = 0; k < store.key_count(); ++k) out.intern_key(store.key_name(k));
  const std::uint64_t n = std::min<std::uint64_t>(store.size(), keep.size());
  std::uint64_t kept = 0;
  for (std::uint64_t e = 0; e < n; ++e) kept += keep[e] != kNoNode ? 1 : 0;
  out.reserve(kept);
  for (std::uint64_t e = 0; e < n; ++e) {
    if (keep[e] == kNoNode) continue;
    out.append(store.group_of(e));
    if (store.count(e) != 0) out.set_all(out.size() - 1, store.entries(e));
  }
  out.organise();
  return out;
}

}  // namespace

bool Database::delete_node(std::uint32_t identity) {
  if (identity >= graph.node_count) throw std::out_of_range("node out of range");
  if (graph.node_is_deleted(identity)) return false;
  if (undo_log != nullptr) reserve_more(*undo_log, 1);
  graph.mark_node_deleted(identity, true);
  record(undo_log, UndoEntry::Kind::kNodeDeleted, identity);
  return true;
}

bool Database::delete_relationship(std::uint32_t rel) {
  if (rel >= graph.edges.size()) throw std::out_of_range("relationship out of range");
  if (graph.relationship_is_deleted(rel)) return false;
  if (undo_log != nullptr) reserve_more(*undo_log, 1);
  graph.mark_relationship_deleted(rel, true);
  record(undo_log, UndoEntry::Kind::kRelDeleted, rel);
  return true;
}

std::uint32_t Database::first_attached_deleted_node() {
  if (undo_log == nullptr || graph.deleted_nodes == 0) return kNoNode;
  for (const UndoEntry& e : *undo_log) {
    if (e.kind != UndoEntry::Kind::kNodeDeleted || !graph.node_is_deleted(e.entity)) continue;
    bool attached = false;
    graph.for_each_relationship(e.entity, [&](std::uint32_t) { attached = true; });
    if (attached) return e.entity;
  }
  return kNoNode;
}

void Database::fold() {
  if (graph.has_tombstones()) {
    *this = compacted();
  } else if (!graph.compiled) {
    compile();
  }
}

Database Database::compacted() const {
  const PhysicalGraph& g = graph;
  const std::uint64_t n = g.node_count;
  Database out;
  out.node_types = node_types;
  out.rel_types = rel_types;
  out.node_type_ids = node_type_ids;
  out.rel_type_ids = rel_type_ids;
  out.person_label = person_label;
  out.paper_label = paper_label;
  out.follows_type = follows_type;
  out.authored_type = authored_type;
  out.generated = generated;
  out.embedding_dim = embedding_dim;

  // New identities in the old order.
  std::vector<std::uint32_t> node_map(n, kNoNode);
  std::uint32_t live = 0;
  std::uint64_t people_gone = 0, papers_gone = 0;
  for (std::uint64_t i = 0; i < n; ++i) {
    if (!g.node_is_deleted(static_cast<std::uint32_t>(i))) {
      node_map[i] = live++;
    } else if (g.labels[i] == person_label) {
      ++people_gone;
    } else if (g.labels[i] == paper_label) {
      ++papers_gone;
    }
  }
  out.people = people - std::min(people, people_gone);
  out.papers = papers - std::min(papers, papers_gone);

  PhysicalGraph& h = out.graph;
  h.node_count = live;
  h.labels.reserve(live);
  for (std::uint64_t i = 0; i < n; ++i) {
    if (node_map[i] != kNoNode) h.labels.push_back(g.labels[i]);
  }
  for (std::size_t k = 0; k < g.extra_labels.size(); ++k) {
    const std::uint32_t to = node_map[g.extra_label_nodes[k]];
    if (to == kNoNode) continue;
    h.extra_label_nodes.push_back(to);
    h.extra_labels.push_back(g.extra_labels[k]);
  }
  // The live nodes keep their order of positions, so a layout the
  // optimiser chose survives.
  h.to_physical.assign(live, 0);
  h.to_logical.assign(live, 0);
  std::uint32_t position = 0;
  for (std::uint64_t p = 0; p < n; ++p) {
    const std::uint32_t to = node_map[g.to_logical[p]];
    if (to == kNoNode) continue;
    h.to_logical[position] = to;
    h.to_physical[to] = position++;
  }
  // A live relationship always has live ends (a write that leaves one
  // otherwise fails first); one that did not would be dropped here rather
  // than name a node that is gone.
  std::vector<std::uint32_t> rel_map(g.edges.size(), kNoNode);
  h.edges.reserve(g.live_relationship_count());
  for (std::size_t r = 0; r < g.edges.size(); ++r) {
    const Edge& e = g.edges[r];
    if (g.relationship_is_deleted(static_cast<std::uint32_t>(r)) || node_map[e.src] == kNoNode ||
        node_map[e.dst] == kNoNode) {
      continue;
    }
    rel_map[r] = static_cast<std::uint32_t>(h.edges.size());
    h.edges.push_back(Edge{node_map[e.src], node_map[e.dst], e.type});
  }

  out.names.reserve(live);
  out.topics.reserve(live);
  out.embeddings.reserve(static_cast<std::size_t>(live) * embedding_dim);
  for (std::uint64_t i = 0; i < n; ++i) {
    if (node_map[i] == kNoNode) continue;
    if (i < names.size()) out.names.push_back(names[i]);
    if (i < topics.size()) out.topics.push_back(topics[i]);
    const auto from = embeddings.begin() + static_cast<std::ptrdiff_t>(embedding_dim * i);
    if ((i + 1) * embedding_dim <= embeddings.size()) out.embeddings.insert(out.embeddings.end(), from, from + static_cast<std::ptrdiff_t>(embedding_dim));
  }
  out.node_store = compact_store(node_store, node_map);
  out.rel_store = compact_store(rel_store, rel_map);
  if (const std::uint32_t id_key = out.node_store.find_key("id"); id_key != kNoPropertyKey) {
    for (std::uint64_t e = 0; e < out.node_store.size(); ++e) out.stored_id_nodes += out.node_store.has(e, id_key) ? 1 : 0;
  }

  const auto kept_ids = [](const EntityIds& ids, const std::vector<std::uint32_t>& map, std::uint64_t kept) {
    std::vector<std::uint64_t> out_ids;
    out_ids.reserve(kept);
    for (std::uint64_t i = 0; i < map.size(); ++i) {
      if (map[i] != kNoNode) out_ids.push_back(ids.id_of(i));
    }
    return out_ids;
  };
  // Distinct before, so distinct after: assign cannot refuse them.
  out.node_ids.assign(kept_ids(node_ids, node_map, live), node_ids.next_id(n));
  out.rel_ids.assign(kept_ids(rel_ids, rel_map, h.edges.size()), rel_ids.next_id(g.edges.size()));
  // The arrays of the last compilation hold every relationship still live
  // when nothing was added since, so filtering them is enough.
  if (g.csr_valid && g.csr_nodes == n && g.csr_edges == g.edges.size()) {
    h.compile_from(g, node_map, rel_map);
  } else {
    h.compile();
  }
  return out;
}

}  // namespace orvane
