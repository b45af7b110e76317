// GraphArrays walks a value the way cypher_json renders it (lists, maps,
// paths, entities) and keeps two identity sets beside the arrays, so an
// entity seen in every row of a 10,000-row answer costs one entry.
#include "console/graph_arrays.h"

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "graph/cypher_value.h"
#include "graph/database.h"

namespace orvane {

ResultNode result_node(const Database& db, std::uint32_t identity) {
  ResultNode node;
  node.id = db.node_id(identity);
  for (const std::uint16_t label : db.graph.labels_of(identity)) node.labels.push_back(db.node_type_name(label));
  node.label = node.labels.empty() || node.labels.front().empty() ? "Node" : node.labels.front();
  if (identity < db.names.size()) node.name = db.names[identity];
  if (identity < db.topics.size()) node.topic = db.topics[identity];
  node.properties = db.node_properties(identity).dump();
  return node;
}

ResultRel result_rel(const Database& db, std::uint32_t rel) {
  const Edge& e = db.graph.edges[rel];
  ResultRel out;
  out.id = db.relationship_id(rel);
  out.src = db.node_id(e.src);
  out.dst = db.node_id(e.dst);
  out.type = e.type < db.rel_types.size() && !db.rel_types[e.type].empty() ? db.rel_types[e.type] : "REL";
  out.properties = db.relationship_properties(rel).dump();
  return out;
}

void GraphArrays::add(const CypherValue& value) {
  using Kind = CypherValue::Kind;
  switch (value.kind()) {
    case Kind::kNode: add_node(value.as_node().identity); break;
    case Kind::kRelationship: add_relationship(value.as_relationship().identity); break;
    case Kind::kPath: {
      const PathValue& path = value.as_path();
      // nodes[0], rels[0], nodes[1], ...: each relationship after the node
      // it leaves from, as the path reads.
      for (std::size_t i = 0; i < path.nodes.size(); ++i) {
        add_node(path.nodes[i]);
        if (i < path.rels.size()) add_relationship(path.rels[i]);
      }
      break;
    }
    case Kind::kList:
      for (const CypherValue& v : value.as_list()) add(v);
      break;
    case Kind::kMap:
      for (const auto& [key, v] : value.as_map()) add(v);
      break;
    default: break;
  }
}

void GraphArrays::add_node(std::uint32_t identity) {
  if (nodes_.contains(identity)) return;
  if (out_.nodes.size() >= kMaxGraphNodes) {
    out_.graph_truncated = true;
    return;
  }
  nodes_.insert(identity);
  out_.nodes.push_back(result_node(db_, identity));
}

void GraphArrays::add_relationship(std::uint32_t rel) {
  if (rels_.contains(rel)) return;
  const Edge& e = db_.graph.edges[rel];
  add_node(e.src);
  add_node(e.dst);
  // A relationship is drawn only between nodes the arrays hold.
  if (out_.rels.size() >= kMaxGraphRels || !nodes_.contains(e.src) || !nodes_.contains(e.dst)) {
    out_.graph_truncated = true;
    return;
  }
  rels_.insert(rel);
  out_.rels.push_back(result_rel(db_, rel));
}

}  // namespace orvane
