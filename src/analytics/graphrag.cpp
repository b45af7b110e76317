// The GraphRAG pack: vector retrieval of papers followed by graph
// expansion, the hybrid that gives a language model both the most similar
// papers and the people and work around them.
//
// Input: a Database (embeddings and labels by identity; the compiled CSR,
// indexed by position, for everything after retrieval); results are
// identities. Author, related-paper and followed sets are small (a few per
// hit), so they are sorted vectors rather than node-sized mark arrays; the
// subgraph uses expand_frontier with one mark array.
#include <algorithm>
#include <chrono>
#include <sstream>

#include "analytics/retrieval.h"
#include "analytics/traversal.h"
#include "graph/database.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t distinct_count(std::vector<std::uint32_t>& ids) {
  std::sort(ids.begin(), ids.end());
  return static_cast<std::uint64_t>(std::unique(ids.begin(), ids.end()) - ids.begin());
}

// The hits, then each of `hops` levels of new nodes over all types in both
// directions, as identities.
std::vector<std::uint32_t> expand_subgraph(const PhysicalGraph& g, const std::vector<std::uint32_t>& seeds, int hops) {
  std::vector<std::uint8_t> visited(g.node_count, 0);
  std::vector<std::uint32_t> frontier, next, result;
  for (const std::uint32_t id : seeds) {
    const std::uint32_t p = g.to_physical[id];
    if (visited[p]) continue;
    visited[p] = 1;
    frontier.push_back(p);
    result.push_back(id);
  }
  for (int level = 0; level < hops && !frontier.empty(); ++level) {
    expand_frontier(g, frontier, kAllTypes, Direction::Both, visited, next);
    for (const std::uint32_t p : next) result.push_back(g.to_logical[p]);
    frontier.swap(next);
  }
  return result;
}

}  // namespace

RagPack graphrag_pack(const Database& db, const float* query, std::size_t dims, std::uint64_t k, int hops) {
  const PhysicalGraph& g = db.graph;
  RagPack pack;
  pack.k = k;
  pack.hops = std::max(hops, 0);
  const Clock::time_point start = Clock::now();
  const std::vector<Hit> hits = gpu_retrieve_top_k(db, query, dims, k, db.paper_label, 0);
  const Clock::time_point retrieved = Clock::now();
  pack.retrieve_ns = std::chrono::duration<double, std::nano>(retrieved - start).count();
  pack.gpu = gpu_available();
  pack.papers = hits.size();
  for (const Hit& h : hits) {
    pack.paper_ids.push_back(h.id);
    pack.paper_scores.push_back(h.score);
  }

  std::vector<std::uint32_t> authors, related(pack.paper_ids), followed;
  if (g.compiled) {
    for (const std::uint32_t id : pack.paper_ids) {
      if (id >= g.node_count) continue;
      for (const std::uint32_t a : g.typed_in_neighbors(g.to_physical[id], db.authored_type)) {
        authors.push_back(g.to_logical[a]);
      }
    }
    std::sort(authors.begin(), authors.end());
    authors.erase(std::unique(authors.begin(), authors.end()), authors.end());
    for (const std::uint32_t a : authors) {
      const std::uint32_t p = g.to_physical[a];
      for (const std::uint32_t w : g.typed_out_neighbors(p, db.authored_type)) related.push_back(g.to_logical[w]);
      for (const std::uint32_t w : g.typed_out_neighbors(p, db.follows_type)) followed.push_back(g.to_logical[w]);
    }
  }
  pack.authors = authors.size();
  pack.related_papers = distinct_count(related);
  pack.followed = distinct_count(followed);

  pack.subgraph = g.compiled && !hits.empty() ? expand_subgraph(g, pack.paper_ids, pack.hops) : pack.paper_ids;
  pack.subgraph_nodes = pack.context_nodes = pack.subgraph.size();
  for (const std::uint32_t id : pack.subgraph) {
    if (id >= g.node_count) continue;
    if (g.labels[id] == db.person_label) ++pack.subgraph_people;
    if (g.labels[id] == db.paper_label) ++pack.subgraph_papers;
  }
  pack.expand_ns = std::chrono::duration<double, std::nano>(Clock::now() - retrieved).count();
  return pack;
}

std::string rag_pack_json(const RagPack& p) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(3);
  out << "{\"k\":" << p.k << ",\"hops\":" << p.hops << ",\"papers\":" << p.papers << ",\"authors\":" << p.authors
      << ",\"related_papers\":" << p.related_papers << ",\"followed\":" << p.followed
      << ",\"context_nodes\":" << p.context_nodes << ",\"subgraph_nodes\":" << p.subgraph_nodes
      << ",\"subgraph_people\":" << p.subgraph_people << ",\"subgraph_papers\":" << p.subgraph_papers
      << ",\"retrieve_ns\":" << p.retrieve_ns << ",\"expand_ns\":" << p.expand_ns
      << ",\"e2e_ns\":" << p.retrieve_ns + p.expand_ns << ",\"gpu\":" << (p.gpu ? "true" : "false")
      << ",\"paper_ids\":[";
  for (std::size_t i = 0; i < p.paper_ids.size(); ++i) out << (i ? "," : "") << p.paper_ids[i];
  out << "],\"note\":\"cosine top-k papers on the CPU, then their authors, the authors' papers and followed "
         "people, and a multi-hop subgraph around the hits\"}";
  return out.str();
}

}  // namespace orvane
