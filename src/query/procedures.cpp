// The registry and the graph procedures of the query library.
//
// db.labels() and db.relationshipTypes() list the names that occur in the
// graph (a label no node has any more is not listed), in id order;
// db.propertyKeys() lists every key of either store.
#include "query/procedures.h"

#include <set>

#include "graph/database.h"

namespace orvane {
namespace {

using Emit = const std::function<void(std::vector<CypherValue>)>&;

void labels(std::span<const CypherValue>, const Database& db, Emit emit) {
  const PhysicalGraph& g = db.graph;
  std::vector<std::uint32_t> scratch;
  for (std::size_t l = 0; l < db.node_types.size(); ++l) {
    const auto label = static_cast<std::uint16_t>(l);
    bool used = false;
    if (g.csr_valid) {
      const SplitRun members = g.nodes_with_label_now(label, scratch);
      for (std::size_t i = 0; i < members.size() && !used; ++i) used = !g.node_is_deleted(members[i]);
    } else {
      for (std::uint32_t n = 0; n < g.node_count && !used; ++n) used = !g.node_is_deleted(n) && g.has_label(n, label);
    }
    if (used) emit({CypherValue(db.node_types[l])});
  }
}

void relationship_types(std::span<const CypherValue>, const Database& db, Emit emit) {
  std::vector<bool> used(db.rel_types.size(), false);
  for (std::size_t r = 0; r < db.graph.edges.size(); ++r) {
    if (!db.graph.relationship_is_deleted(static_cast<std::uint32_t>(r))) used[db.graph.edges[r].type] = true;
  }
  for (std::size_t t = 0; t < db.rel_types.size(); ++t) {
    if (used[t]) emit({CypherValue(db.rel_types[t])});
  }
}

void property_keys(std::span<const CypherValue>, const Database& db, Emit emit) {
  std::set<std::string> keys;
  for (const PropertyStore* store : {&db.node_store, &db.rel_store}) {
    for (std::uint32_t k = 0; k < store->key_count(); ++k) keys.insert(store->key_name(k));
  }
  for (const std::string& key : keys) emit({CypherValue(key)});
}

}  // namespace

ProcedureRegistry::ProcedureRegistry() {
  add({"db.labels", {}, {{"label", "STRING?"}}, labels});
  add({"db.relationshipTypes", {}, {{"relationshipType", "STRING?"}}, relationship_types});
  add({"db.propertyKeys", {}, {{"propertyKey", "STRING?"}}, property_keys});
}

void ProcedureRegistry::add(Procedure procedure) {
  std::string name = procedure.name;
  procedures_[name] = std::make_shared<const Procedure>(std::move(procedure));
  ++version_;
}

std::shared_ptr<const Procedure> ProcedureRegistry::find(std::string_view name) const {
  const auto it = procedures_.find(name);
  return it == procedures_.end() ? nullptr : it->second;
}

const ProcedureRegistry& default_procedures() {
  static const ProcedureRegistry registry;
  return registry;
}

bool fits_procedure_type(const CypherValue& value, std::string_view type) {
  std::string_view base = type;
  const bool nullable = base.ends_with("?");
  if (nullable) base.remove_suffix(1);
  if (value.is_null()) return nullable || base == "ANY";
  using Kind = CypherValue::Kind;
  if (base == "ANY") return true;
  if (base == "INTEGER") return value.kind() == Kind::kInteger;
  if (base == "FLOAT") return value.is_number();
  if (base == "NUMBER") return value.is_number();
  if (base == "STRING") return value.kind() == Kind::kString;
  if (base == "BOOLEAN") return value.kind() == Kind::kBool;
  if (base == "MAP") return value.kind() == Kind::kMap;
  if (base == "NODE") return value.kind() == Kind::kNode;
  if (base == "RELATIONSHIP") return value.kind() == Kind::kRelationship;
  if (base == "PATH") return value.kind() == Kind::kPath;
  if (base.starts_with("LIST")) return value.kind() == Kind::kList;
  return true;
}

}  // namespace orvane
