// The graph arrays of a console answer: the `nodes` and `rels` of a
// ConsoleResult, which a client draws. The explore view fills them with a
// neighbourhood; a statement's rows fill them with every node,
// relationship and path they carry, at any depth inside lists and maps.
//
// Each entity appears once (by identity, so by id), in the order it first
// appears in the rows, row by row and column by column. A relationship
// brings its two end nodes with it, placed just before it where they are
// new, so that every relationship drawn has both ends. A path adds its
// nodes and relationships in path order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>

namespace orvane {

class CypherValue;
class Database;
struct ConsoleResult;
struct ResultNode;
struct ResultRel;

// The most nodes, and the most relationships, one answer's arrays hold.
// Rows are bounded by 10,000 already, but one row can hold a list of any
// length; past either bound the answer says "graphTruncated": true and the
// rows stay complete.
inline constexpr std::size_t kMaxGraphNodes = 10000;
inline constexpr std::size_t kMaxGraphRels = 10000;

// Node `identity` of `db` as an answer's graph entry: its id, first label
// ("Node" without one), every label, display name, topic and properties.
ResultNode result_node(const Database& db, std::uint32_t identity);
// Relationship `rel` (its identity) of `db`: its id, type ("REL" for a
// type without a name), the ids of its start and end nodes, properties.
ResultRel result_rel(const Database& db, std::uint32_t rel);

// Fills out.nodes and out.rels from values of `db`. Requires: `db` and
// `out` outlive it, and the values come from `db`.
class GraphArrays {
 public:
  GraphArrays(const Database& db, ConsoleResult& out) : db_(db), out_(out) {}

  // Adds every entity inside `value`.
  void add(const CypherValue& value);
  void add_node(std::uint32_t identity);
  void add_relationship(std::uint32_t rel);

 private:
  const Database& db_;
  ConsoleResult& out_;
  std::unordered_set<std::uint32_t> nodes_;  // identities already in out_.nodes
  std::unordered_set<std::uint32_t> rels_;   // relationship identities already in out_.rels
};

}  // namespace orvane
