#include "support/graph_builder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace orvane::testing {

GraphBuilder& GraphBuilder::people(std::initializer_list<std::string> names) {
  for (const auto& n : names) ids_[n] = db_.add_person(n, 0);
  return *this;
}

GraphBuilder& GraphBuilder::papers(std::initializer_list<std::string> names) {
  for (const auto& n : names) ids_[n] = db_.add_paper(n, 0);
  return *this;
}

GraphBuilder& GraphBuilder::follows(const std::string& a, const std::string& b) {
  db_.add_follows(id(a), id(b));
  return *this;
}

GraphBuilder& GraphBuilder::authored(const std::string& person, const std::string& paper) {
  db_.add_authored(id(person), id(paper));
  return *this;
}

GraphBuilder& GraphBuilder::edge(const std::string& a, const std::string& b, const std::string& type) {
  db_.graph.add_edge(id(a), id(b), db_.add_rel_type(type));
  return *this;
}

Database GraphBuilder::compiled() {
  db_.compile();
  db_.generated = true;
  return std::move(db_);
}

std::uint32_t GraphBuilder::id(const std::string& name) const {
  auto it = ids_.find(name);
  if (it == ids_.end()) throw std::runtime_error("test graph has no node " + name);
  return it->second;
}

void sort_edges(std::vector<Edge>& edges) {
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
    return std::tie(a.src, a.dst, a.type) < std::tie(b.src, b.dst, b.type);
  });
}

std::string edges_of(const Database& db) {
  std::vector<Edge> edges;
  const PhysicalGraph& g = db.graph;
  if (g.compiled) {
    for (std::uint32_t v = 0; v < g.node_count; ++v) {
      auto targets = g.out_neighbors(v);
      auto types = g.out_edge_types(v);
      for (std::size_t i = 0; i < targets.size(); ++i) edges.push_back({g.to_logical[v], g.to_logical[targets[i]], types[i]});
    }
  } else {
    for (std::uint32_t r = 0; r < g.edges.size(); ++r) {
      if (!g.relationship_is_deleted(r)) edges.push_back(g.edges[r]);
    }
  }
  sort_edges(edges);
  std::ostringstream out;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (i) out << ' ';
    out << edges[i].src;
    if (edges[i].type != db.follows_type) out << "-[" << db.rel_types.at(edges[i].type) << "]";
    out << "->" << edges[i].dst;
  }
  return out.str();
}

std::string all_properties(const Database& db) {
  nlohmann::json nodes = nlohmann::json::array(), rels = nlohmann::json::array();
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) nodes.push_back(db.node_properties(i));
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) rels.push_back(db.relationship_properties(r));
  return nlohmann::json::array({nodes, rels}).dump();
}

void check_invariants(const Database& db) {
  const PhysicalGraph& g = db.graph;
  const std::uint64_t n = g.node_count;
  const std::uint64_t e = g.out_targets.size();
  ASSERT_TRUE(g.compiled);
  // Sizes: labels, maps, degrees, names, embeddings; offsets; slots; edges.
  ASSERT_EQ((std::vector<std::uint64_t>{n, n, n, n, n, n * db.embedding_dim, n + 1, n + 1, e, e, e}),
            (std::vector<std::uint64_t>{g.labels.size(), g.to_physical.size(), g.to_logical.size(), g.out_degree.size(),
                                        db.names.size(), db.embeddings.size(), g.out_offsets.size(), g.in_offsets.size(),
                                        g.in_offsets[n], g.in_sources.size(), g.edges.size()}));
  ASSERT_EQ(0u, g.out_offsets[0]);
  ASSERT_EQ(e, g.out_offsets[n]);
  std::size_t typed_total = 0;
  for (std::uint32_t v = 0; v < n; ++v) {
    ASSERT_LT(g.to_physical[v], n);
    ASSERT_EQ(v, g.to_logical[g.to_physical[v]]);
    ASSERT_LE(g.out_offsets[v], g.out_offsets[v + 1]);
    ASSERT_LE(g.in_offsets[v], g.in_offsets[v + 1]);
    ASSERT_EQ(g.out_degree[v], g.out_offsets[v + 1] - g.out_offsets[v]);
    // Both runs ordered by (type, node), and every incoming slot mirrors an outgoing one.
    for (const bool out : {true, false}) {
      const NodeRun nodes = out ? g.out_neighbors(v) : g.in_neighbors(v);
      const TypeRun types = out ? g.out_edge_types(v) : g.in_edge_types(v);
      const RelRun rels = out ? g.out_rel_ids(v) : g.in_rel_ids(v);
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        ASSERT_LT(nodes[i], n);
        ASSERT_TRUE(out ? g.has_edge(v, nodes[i], types[i]) : g.has_edge(nodes[i], v, types[i])) << v << " " << i;
        ASSERT_TRUE(i == 0 || std::tie(types[i - 1], nodes[i - 1], rels[i - 1]) < std::tie(types[i], nodes[i], rels[i]))
            << "run of " << v;
        const Edge& rel = g.edges.at(rels[i]);
        const Edge expected = out ? Edge{g.to_logical[v], g.to_logical[nodes[i]], types[i]}
                                  : Edge{g.to_logical[nodes[i]], g.to_logical[v], types[i]};
        ASSERT_EQ(expected, rel);
      }
    }
    for (std::uint16_t t = 0; t < g.rel_type_count; ++t) {
      const NodeRun run = g.typed_out_neighbors(v, t);
      const RelRun rels = g.typed_out_rel_ids(v, t);
      ASSERT_TRUE(std::is_sorted(run.begin(), run.end()));
      ASSERT_EQ(run.size(), rels.size());
      for (std::size_t i = 0; i < run.size(); ++i) {
        ASSERT_EQ((Edge{g.to_logical[v], g.to_logical[run[i]], t}), g.edges.at(rels[i]));
      }
      typed_total += run.size();
    }
  }
  ASSERT_EQ(typed_total, e);
  // Every relationship identity names exactly one outgoing slot.
  std::vector<std::uint8_t> seen(e, 0);
  for (const std::uint32_t r : g.out_rels) {
    ASSERT_LT(r, e);
    ASSERT_EQ(0, seen[r]++);
  }
}

Database triangle() {
  return GraphBuilder().people({"ann", "bob", "cy"}).follows("ann", "bob").follows("bob", "cy").follows("cy", "ann")
      .compiled();
}

Database star(std::uint32_t leaves, bool reciprocal) {
  Database db;
  db.add_person("centre", 0);
  for (std::uint32_t i = 1; i <= leaves; ++i) {
    db.add_follows(0, db.add_person("leaf-" + std::to_string(i), 0));
    if (reciprocal) db.add_follows(i, 0);
  }
  db.compile();
  db.generated = true;
  return db;
}

Database two_components() {
  return GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("b", "a").follows("b", "c")
      .follows("c", "b").follows("d", "e").compiled();
}

Database mixed_graph() {
  GraphBuilder b;
  b.people({"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"}).papers({"q0", "q1", "q2", "q3"});
  for (const char* pq : {"01", "10", "02", "23", "30", "45", "56", "64", "77", "80"}) {
    b.follows(std::string("p") + pq[0], std::string("p") + pq[1]);
  }
  for (const char* pq : {"00", "10", "21", "31", "02", "53", "93"}) {
    b.authored(std::string("p") + pq[0], std::string("q") + pq[1]);
  }
  return b.compiled();
}

Database random_graph(std::uint32_t persons, std::uint32_t papers, std::uint32_t edges, std::uint64_t seed,
                      bool reciprocal, std::uint32_t max_authors) {
  Database db;
  for (std::uint32_t i = 0; i < persons; ++i) db.add_person("p" + std::to_string(i), i % 16);
  for (std::uint32_t i = 0; i < papers; ++i) db.add_paper("q" + std::to_string(i), i % 16);
  std::uint64_t state = seed;
  auto next = [&state](std::uint32_t bound) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>((state >> 33) % bound);
  };
  for (std::uint32_t e = 0; e < edges; ++e) {
    const std::uint32_t a = next(persons);
    const std::uint32_t b = next(persons);
    db.add_follows(a, b);
    if (reciprocal && next(3) == 0) db.add_follows(b, a);
  }
  for (std::uint32_t q = 0; q < papers; ++q) {
    const std::uint32_t authors = 1 + next(max_authors);
    for (std::uint32_t a = 0; a < authors; ++a) db.add_authored(next(persons), persons + q);
  }
  db.graph.remove_duplicate_edges();  // draws repeat; these graphs have no parallel relationships
  db.compile();
  db.generated = true;
  return db;
}

}  // namespace orvane::testing
