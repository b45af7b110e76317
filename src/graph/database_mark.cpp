// Database::mark and Database::rollback: undo for a statement that added to
// a graph and then failed (a save that could not be written, say).
//
// Everything a Database grows by is appended: node attributes and the
// identity/position maps get new trailing entries (a new node's position is
// its identity as long as nothing is renumbered), label and type names get
// new trailing ids, relationships join the end of the edge list (which
// compile never reorders) and further labels of new nodes the end of the
// label pairs. So a mark is a handful of sizes and rollback truncates back
// to them: every relationship that touches a removed node or uses a removed
// type was added after the mark too.
#include <algorithm>

#include <nlohmann/json.hpp>

#include "graph/database.h"

namespace orvane {
namespace {

// Forgets the names with ids at or beyond `keep`.
void truncate_names(std::vector<std::string>& names, std::unordered_map<std::string, std::uint16_t>& ids,
                    std::size_t keep) {
  for (std::size_t id = keep; id < names.size(); ++id) ids.erase(names[id]);
  if (names.size() > keep) names.resize(keep);
}

}  // namespace

DatabaseMark Database::mark() const {
  DatabaseMark m;
  m.node_count = graph.node_count;
  m.relationships = graph.edges.size();
  m.node_types = node_types.size();
  m.rel_types = rel_types.size();
  m.people = people;
  m.papers = papers;
  m.stored_id_nodes = stored_id_nodes;
  m.node_keys = node_store.key_count();
  m.rel_keys = rel_store.key_count();
  m.compiled = graph.compiled;
  return m;
}

void Database::rollback(const DatabaseMark& mark) {
  if (undo_log != nullptr) {
    // Newest first, with recording off; the values were accepted by the
    // store once, so restoring them cannot fail.
    UndoLog entries = std::move(*undo_log);
    undo_log->clear();
    UndoLog* const log = undo_log;
    undo_log = nullptr;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      switch (it->kind) {
        case UndoEntry::Kind::kNodeProperty:
          set_node_value(it->entity, it->key, it->old);
          if (it->key == "name" && it->entity < names.size()) names[it->entity] = it->old_name;
          break;
        case UndoEntry::Kind::kRelProperty: set_relationship_value(it->entity, it->key, it->old); break;
        case UndoEntry::Kind::kLabels: set_node_labels(it->entity, it->old_labels); break;
        case UndoEntry::Kind::kNodeDeleted: graph.mark_node_deleted(it->entity, false); break;
        case UndoEntry::Kind::kRelDeleted: graph.mark_relationship_deleted(it->entity, false); break;
      }
    }
    undo_log = log;
  }
  const std::uint64_t n = mark.node_count;
  if (graph.edges.size() > mark.relationships) graph.truncate_edges(mark.relationships);
  rel_store.truncate(mark.relationships);
  {
    const auto first_new = std::lower_bound(graph.extra_label_nodes.begin(), graph.extra_label_nodes.end(), n);
    const auto keep = static_cast<std::size_t>(first_new - graph.extra_label_nodes.begin());
    graph.extra_label_nodes.resize(keep);
    graph.extra_labels.resize(keep);
  }
  if (graph.node_count > n) {
    graph.labels.resize(n);
    graph.to_physical.resize(n);
    graph.to_logical.resize(n);
    if (graph.out_degree.size() > n) graph.out_degree.resize(n);
    graph.node_count = n;
    names.resize(std::min<std::size_t>(names.size(), n));
    topics.resize(std::min<std::size_t>(topics.size(), n));
    embeddings.resize(std::min<std::size_t>(embeddings.size(), embedding_dim * n));
  }
  node_store.truncate(n);
  node_ids.truncate(n);
  rel_ids.truncate(mark.relationships);
  truncate_names(node_types, node_type_ids, mark.node_types);
  truncate_names(rel_types, rel_type_ids, mark.rel_types);
  people = mark.people;
  papers = mark.papers;
  stored_id_nodes = mark.stored_id_nodes;
  // Tombstones among what was just removed go with it.
  const auto recount = [](std::vector<std::uint8_t>& flags, std::uint64_t& count, std::uint64_t keep) {
    if (flags.size() <= keep) return;
    flags.resize(keep);
    count = static_cast<std::uint64_t>(std::count(flags.begin(), flags.end(), std::uint8_t{1}));
    if (count == 0) flags.clear();
  };
  recount(graph.node_deleted, graph.deleted_nodes, n);
  recount(graph.rel_deleted, graph.deleted_relationships, mark.relationships);
  if (mark.compiled) {
    graph.compile();
  } else {
    graph.compiled = false;
    // Identities the CSR names may be given out again, or a tombstone the
    // CSR left out lives again: the arrays are rebuilt, so that readers
    // (which never compile) always find them valid.
    if (graph.csr_nodes > n || graph.csr_edges > mark.relationships) graph.csr_valid = graph.csr_exact = false;
    if (!graph.csr_valid) graph.compile();
  }
}

}  // namespace orvane
