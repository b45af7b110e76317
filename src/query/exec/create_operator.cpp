// Create: for each input row, the nodes and relationships of a CREATE
// pattern, added to the Database through its builders (which check names
// and values before they change anything).
//
// What it adds joins the graph's delta, which every later read merges with
// the compiled arrays; the statement's caller takes the Database back to
// its mark when the statement fails part-way, and folds the delta into the
// arrays when it has grown past its bound.
#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/write_steps.h"

namespace orvane {
namespace {

// The property of `key` in a CREATE's properties, into `object`; null
// values are left out, as Neo4j stores no nulls.
void put_property(nlohmann::json& object, const std::string& key, const CypherValue& v) {
  if (v.is_null()) return;
  const std::optional<Value> property = to_property(v);
  if (!property) {
    throw CypherError("TypeError", "InvalidPropertyType", ErrorPhase::kRuntime,
                      std::string("Property values can only be of primitive types or arrays thereof; ") + key +
                          " was " + type_name(v));
  }
  object[key] = to_typed_json(*property);
}

// The typed JSON object of a CREATE's properties: the entries of its map
// parameter (`map`, when one was written) or of its map literal. `element`
// ("node", "relationship") names what is made, for the error a value that
// is not a map gets.
nlohmann::json property_object(const std::vector<std::pair<std::string, BoundExprPtr>>& properties,
                               const BoundExprPtr& map, const char* element, Row& row, ExecContext& context) {
  nlohmann::json object = nlohmann::json::object();
  if (map) {
    const CypherValue v = evaluate(*map, row, context);
    if (v.kind() != CypherValue::Kind::kMap) {
      throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                        std::string("Parameter provided for ") + element + " creation is not a Map, instead got " +
                            (v.is_null() ? std::string("NO_VALUE") : type_name(v)));
    }
    for (const auto& [key, value] : v.as_map()) put_property(object, key, value);
  }
  for (const auto& [key, expr] : properties) put_property(object, key, evaluate(*expr, row, context));
  return object;
}

}  // namespace

void create_part(Database& db, const BoundCreatePart& part, Row& row, ExecContext& context) {
  PathValue path;
  for (std::size_t i = 0; i < part.nodes.size(); ++i) {
    const BoundCreateNode& n = part.nodes[i];
    if (n.existing) {
      const CypherValue& v = row[n.slot];
      if (v.kind() != CypherValue::Kind::kNode) {
        throw CypherError("EntityNotFound", "InvalidArgument", ErrorPhase::kRuntime,
                          "Failed to create relationship, node is null");
      }
      if (db.graph.node_is_deleted(v.as_node().identity)) {
        throw CypherError("EntityNotFound", "DeletedEntityAccess", ErrorPhase::kRuntime,
                          "Failed to create relationship, node with id " +
                              std::to_string(db.node_id(v.as_node().identity)) +
                              " has been deleted in this transaction");
      }
    } else {
      std::string name;
      nlohmann::json properties = property_object(n.properties, n.property_map, "node", row, context);
      context.counters().properties_set += properties.size();
      const std::uint32_t id = db.add_labeled_node(n.labels, name, std::move(properties), 0);
      ++context.counters().nodes_created;
      context.counters().labels_added += db.graph.labels_of(id).size();
      row[n.slot] = NodeRef{id};
    }
    path.nodes.push_back(row[n.slot].as_node().identity);
  }
  for (std::size_t i = 0; i < part.rels.size(); ++i) {
    const BoundCreateRel& r = part.rels[i];
    std::uint32_t from = path.nodes[i], to = path.nodes[i + 1];
    if (r.reversed) std::swap(from, to);
    const std::uint32_t rel = db.graph.add_edge(from, to, db.add_rel_type(r.type));
    nlohmann::json properties = property_object(r.properties, r.property_map, "relationship", row, context);
    ++context.counters().relationships_created;
    context.counters().properties_set += properties.size();
    if (!properties.empty()) db.set_relationship_properties(rel, std::move(properties));
    row[r.slot] = RelRef{rel};
    path.rels.push_back(rel);
  }
  if (part.path_slot != kNoSlot) row[part.path_slot] = std::move(path);
}

namespace {

class Create final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    Database& db = context_.write_target();
    for (const BoundCreatePart& part : op_.create->parts) create_part(db, part, row, context_);
    return produced();
  }
};

}  // namespace

std::unique_ptr<Operator> make_create(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Create>(op, context);
}

}  // namespace orvane
