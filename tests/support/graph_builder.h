// Test fixtures: a small builder over the real Database operations, named
// shared graphs, and one-line renderings of graphs for assertions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "graph/database.h"

namespace orvane::testing {

class GraphBuilder {
 public:
  GraphBuilder& people(std::initializer_list<std::string> names);
  GraphBuilder& papers(std::initializer_list<std::string> names);
  GraphBuilder& follows(const std::string& a, const std::string& b);
  GraphBuilder& authored(const std::string& person, const std::string& paper);
  GraphBuilder& edge(const std::string& a, const std::string& b, const std::string& type);
  // The graph, compiled and marked as generated (its {id: N} also names
  // identities, as the corpora these graphs stand in for do).
  Database compiled();
  Database uncompiled() { return std::move(db_); }

 private:
  std::uint32_t id(const std::string& name) const;
  Database db_;
  std::unordered_map<std::string, std::uint32_t> ids_;
};

// Orders relationships by (src, dst, type), as compile() leaves them.
void sort_edges(std::vector<Edge>& edges);

// "0->1 1->2 2->0": the compiled relationships in identities (the live
// ones of the edge list while not compiled), one per relationship, ordered by (src, dst, type); a type other than FOLLOWS is
// shown as "0-[AUTHORED]->5".
std::string edges_of(const Database& db);
// Every node's properties in identity order, then every relationship's, as
// one typed JSON array text.
std::string all_properties(const Database& db);

// Checks the CSR invariants (inverse maps, monotone offsets ending at the
// relationship count, every target below node_count, runs ordered, per-type
// arrays consistent with the combined ones); adds a failure per violation.
void check_invariants(const Database& db);

Database triangle();                // ann→bob→cy→ann (FOLLOWS)
Database star(std::uint32_t leaves, bool reciprocal = false);  // centre 0 → leaves 1 … k (and back)
Database two_components();          // 0↔1↔2 and 3→4
Database mixed_graph();             // 10 persons, 4 papers, FOLLOWS and AUTHORED

// A compiled pseudo-random graph for oracle comparisons: `persons` Person
// nodes with `edges` random FOLLOWS (self-loops and one-way relationships
// included; with `reciprocal`, about a third also get their reverse) and
// `papers` Paper nodes with 1 … `max_authors` random authors each.
Database random_graph(std::uint32_t persons, std::uint32_t papers, std::uint32_t edges, std::uint64_t seed,
                      bool reciprocal, std::uint32_t max_authors);

}  // namespace orvane::testing
