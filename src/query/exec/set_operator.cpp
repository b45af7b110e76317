// Set: the property and label writes of a SET or REMOVE clause, per input
// row, in the order written, through the Database's writes (which record
// what they replace in its undo log, so a statement that fails later is
// undone exactly). A null target leaves the row as it is, as in Neo4j:
// `OPTIONAL MATCH (n) SET n.k = 1` writes nothing where n is null.
#include <algorithm>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/write_steps.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = BoundSetItem::Kind;

[[noreturn]] void not_an_entity(const CypherValue& v) {
  throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                    std::string("Type mismatch: expected Node or Relationship but was ") + type_name(v));
}

// `v` as a stored property value; null stays null (a removal).
Value stored(const std::string& key, const CypherValue& v) {
  if (v.is_null()) return Value();
  const std::optional<Value> property = to_property(v);
  if (!property) {
    throw CypherError("TypeError", "InvalidPropertyType", ErrorPhase::kRuntime,
                      std::string("Property values can only be of primitive types or arrays thereof; ") + key +
                          " was " + type_name(v));
  }
  return *property;
}

nlohmann::json properties_of(const Database& db, const CypherValue& v) {
  if (v.kind() == CypherValue::Kind::kNode) return db.node_properties(v.as_node().identity);
  return db.relationship_properties(v.as_relationship().identity);
}

// One property write, counted unless it removes what was not there.
void set(Database& db, bool node, std::uint32_t entity, const std::string& key, const Value& value,
         ExecContext& context) {
  if (value.is_null()) {
    const Value old = node ? db.node_property(entity, key) : db.relationship_property(entity, key);
    if (old.is_null()) return;
  }
  if (node) {
    db.set_node_value(entity, key, value);
  } else {
    db.set_relationship_value(entity, key, value);
  }
  ++context.counters().properties_set;
}

}  // namespace

void apply_set_item(Database& db, const BoundSetItem& item, Row& row, ExecContext& context) {
  const CypherValue target = evaluate(*item.target, row, context);
  if (target.is_null()) return;
  const bool node = target.kind() == CypherValue::Kind::kNode;
  if (!node && target.kind() != CypherValue::Kind::kRelationship) not_an_entity(target);
  const std::uint32_t entity = node ? target.as_node().identity : target.as_relationship().identity;
  // A deleted entity takes no writes: they would be counted and then lost.
  if (node ? db.graph.node_is_deleted(entity) : db.graph.relationship_is_deleted(entity)) {
    throw CypherError("EntityNotFound", "DeletedEntityAccess", ErrorPhase::kRuntime,
                      std::string(node ? "Node" : "Relationship") + " with id " +
                          std::to_string(node ? db.node_id(entity) : db.relationship_id(entity)) +
                          " has been deleted in this transaction");
  }
  switch (item.kind) {
    case Kind::kProperty: {
      set(db, node, entity, item.key, stored(item.key, evaluate(*item.value, row, context)), context);
      break;
    }
    case Kind::kRemoveProperty: set(db, node, entity, item.key, Value(), context); break;
    case Kind::kReplace:
    case Kind::kMerge: {
      const CypherValue v = evaluate(*item.value, row, context);
      std::vector<std::pair<std::string, Value>> entries;
      if (v.kind() == CypherValue::Kind::kMap) {
        for (const auto& [key, value] : v.as_map()) entries.emplace_back(key, stored(key, value));
      } else if (v.kind() == CypherValue::Kind::kNode || v.kind() == CypherValue::Kind::kRelationship) {
        const nlohmann::json properties = properties_of(db, v);
        for (auto it = properties.begin(); it != properties.end(); ++it) {
          entries.emplace_back(it.key(), property_value_of(it.value()));
        }
      } else if (!v.is_null() || item.kind == Kind::kMerge) {
        throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                          std::string("Expected ") + (v.is_null() ? "a map" : type_name(v)) +
                              " to be a map, but it was :`" + to_text(v) + "`");
      }
      if (item.kind == Kind::kReplace) {
        // Every key the new map lacks goes; null entries are left out.
        const nlohmann::json old = properties_of(db, target);
        for (auto it = old.begin(); it != old.end(); ++it) {
          const std::string& key = it.key();
          bool kept = false;
          for (const auto& e : entries) kept = kept || (e.first == key && !e.second.is_null());
          if (!kept) set(db, node, entity, key, Value(), context);
        }
        for (const auto& [key, value] : entries) {
          if (!value.is_null()) set(db, node, entity, key, value, context);
        }
      } else {
        for (const auto& [key, value] : entries) set(db, node, entity, key, value, context);
      }
      break;
    }
    case Kind::kAddLabels:
    case Kind::kRemoveLabels: {
      if (!node) {
        throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                          "Type mismatch: expected Node but was Relationship");
      }
      std::vector<std::uint16_t> labels = db.graph.labels_of(entity);
      for (const std::string& name : item.labels) {
        if (item.kind == Kind::kAddLabels) {
          const std::uint16_t id = db.add_node_type(name);
          if (std::find(labels.begin(), labels.end(), id) == labels.end()) {
            labels.push_back(id);
            ++context.counters().labels_added;
          }
        } else if (const auto it = db.node_type_ids.find(name); it != db.node_type_ids.end()) {
          const auto at = std::find(labels.begin(), labels.end(), it->second);
          if (at != labels.end()) {
            labels.erase(at);
            ++context.counters().labels_removed;
          }
        }
      }
      db.set_node_labels(entity, labels);
      break;
    }
  }
}

namespace {

class Set final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    Database& db = context_.write_target();
    for (const BoundSetItem& item : op_.set->items) apply_set_item(db, item, row, context_);
    return produced();
  }
};

}  // namespace

std::unique_ptr<Operator> make_set(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Set>(op, context);
}

}  // namespace orvane
