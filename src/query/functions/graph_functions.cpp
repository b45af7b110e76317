// Functions over nodes, relationships and paths: id, elementId, labels,
// type, properties, keys, startNode, endNode, nodes, relationships, length.
//
// id() and elementId() answer the ids users see (graph/entity_ids.h);
// elementId is Neo4j 5's "4:<database>:<id>" form with a fixed database
// part, distinct for nodes and relationships ("4:…" and "5:…") so that the
// two never collide.
#include <algorithm>

#include "graph/database.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;
using Args = std::span<const CypherValue>;

CypherValue id(Args a, ExecContext& c) {
  if (a[0].kind() == Kind::kNode) return static_cast<std::int64_t>(c.db().node_id(a[0].as_node().identity));
  if (a[0].kind() == Kind::kRelationship) {
    return static_cast<std::int64_t>(c.db().relationship_id(a[0].as_relationship().identity));
  }
  if (a[0].is_null()) return {};
  invalid_argument("id", "Node or Relationship", a[0]);
}

CypherValue element_id(Args a, ExecContext& c) {
  if (a[0].kind() == Kind::kNode) return "4:halvex:" + std::to_string(c.db().node_id(a[0].as_node().identity));
  if (a[0].kind() == Kind::kRelationship) {
    return "5:halvex:" + std::to_string(c.db().relationship_id(a[0].as_relationship().identity));
  }
  if (a[0].is_null()) return {};
  invalid_argument("elementId", "Node or Relationship", a[0]);
}

CypherValue labels(Args a, ExecContext& c) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kNode) invalid_argument("labels", "Node", a[0]);
  CypherList out;
  for (const std::uint16_t label : c.db().graph.labels_of(a[0].as_node().identity)) {
    out.emplace_back(c.db().node_type_name(label));
  }
  return out;
}

CypherValue type(Args a, ExecContext& c) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kRelationship) invalid_argument("type", "Relationship", a[0]);
  return c.db().rel_type_name(c.db().graph.edges[a[0].as_relationship().identity].type);
}

CypherValue properties(Args a, ExecContext& c) {
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kMap) return a[0];
  if (a[0].kind() != Kind::kNode && a[0].kind() != Kind::kRelationship) invalid_argument("properties", "Map, Node or Relationship", a[0]);
  return properties_of(a[0], c.db());
}

CypherValue keys(Args a, ExecContext& c) {
  if (a[0].is_null()) return {};
  CypherList out;
  if (a[0].kind() == Kind::kMap) {
    for (const auto& entry : a[0].as_map()) out.emplace_back(entry.first);
    return out;
  }
  if (a[0].kind() != Kind::kNode && a[0].kind() != Kind::kRelationship) invalid_argument("keys", "Map, Node or Relationship", a[0]);
  for (const auto& entry : properties_of(a[0], c.db())) out.emplace_back(entry.first);
  return out;
}

CypherValue end_of(Args a, ExecContext& c, bool start) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kRelationship) invalid_argument(start ? "startNode" : "endNode", "Relationship", a[0]);
  const Edge& e = c.db().graph.edges[a[0].as_relationship().identity];
  return NodeRef{start ? e.src : e.dst};
}

CypherValue start_node(Args a, ExecContext& c) { return end_of(a, c, true); }
CypherValue end_node(Args a, ExecContext& c) { return end_of(a, c, false); }

CypherValue nodes(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kPath) invalid_argument("nodes", "Path", a[0]);
  CypherList out;
  for (const std::uint32_t n : a[0].as_path().nodes) out.emplace_back(NodeRef{n});
  return out;
}

CypherValue relationships(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kPath) invalid_argument("relationships", "Path", a[0]);
  CypherList out;
  for (const std::uint32_t r : a[0].as_path().rels) out.emplace_back(RelRef{r});
  return out;
}

CypherValue length(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kPath) return static_cast<std::int64_t>(a[0].as_path().rels.size());
  invalid_argument("length", "Path", a[0]);
}

// relationship_list_walk(): see scalar_functions.h. Arguments: the list,
// the start node, the target node (null: any), the direction (0 along the
// relationships, 1 against them, 2 either way), whether to walk the list
// from its last element, the least and the most length (-1: unbounded)
// and the type names allowed (empty: any).
CypherValue walk_list(Args a, ExecContext& c) {
  if (a[0].kind() != Kind::kList || a[1].kind() != Kind::kNode) return CypherList{};
  const CypherList& list = a[0].as_list();
  const std::int64_t min = a[5].as_int(), max = a[6].as_int();
  const auto size = static_cast<std::int64_t>(list.size());
  if (size < min || (max >= 0 && size > max)) return CypherList{};
  const Database& db = c.db();
  const std::int64_t direction = a[3].as_int();
  std::uint32_t at = a[1].as_node().identity;
  for (std::size_t k = 0; k < list.size(); ++k) {
    const CypherValue& r = list[a[4].as_bool() ? list.size() - 1 - k : k];
    if (r.kind() != Kind::kRelationship) return CypherList{};
    const Edge& edge = db.graph.edges[r.as_relationship().identity];
    const CypherList& types = a[7].as_list();
    if (!types.empty() && std::none_of(types.begin(), types.end(), [&](const CypherValue& t) {
          return t.as_string() == db.rel_type_name(edge.type);
        })) {
      return CypherList{};
    }
    if (direction != 1 && edge.src == at) {
      at = edge.dst;
    } else if (direction != 0 && edge.dst == at) {
      at = edge.src;
    } else {
      return CypherList{};
    }
  }
  if (a[2].kind() == Kind::kNode && a[2].as_node().identity != at) return CypherList{};
  return CypherList{CypherValue(NodeRef{at})};
}

const ScalarFunction kFunctions[] = {
    {"id", 1, 1, id},
    {"elementId", 1, 1, element_id},
    {"labels", 1, 1, labels},
    {"type", 1, 1, type},
    {"properties", 1, 1, properties},
    {"keys", 1, 1, keys},
    {"startNode", 1, 1, start_node},
    {"endNode", 1, 1, end_node},
    {"nodes", 1, 1, nodes},
    {"relationships", 1, 1, relationships},
    {"length", 1, 1, length},
};

}  // namespace

std::span<const ScalarFunction> graph_functions() { return kFunctions; }

const ScalarFunction& relationship_list_walk() {
  static const ScalarFunction function{"relationshipListWalk", 8, 8, walk_list};
  return function;
}

CypherMap properties_of(const CypherValue& value, const Database& db) {
  CypherMap out;
  const auto add = [&out](const PropertyStore& store, std::uint64_t entity) {
    if (entity >= store.size()) return;
    for (auto& [key, v] : store.entries(entity)) out.emplace_back(store.key_name(key), from_property(v));
  };
  if (value.kind() == Kind::kNode) add(db.node_store, value.as_node().identity);
  if (value.kind() == Kind::kRelationship) add(db.rel_store, value.as_relationship().identity);
  if (value.kind() == Kind::kMap) return value.as_map();
  return out;
}

}  // namespace orvane
