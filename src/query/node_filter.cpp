// Node filters: label by id, properties by the JSON library's equality, and
// the identity reading of {id: N} on nodes without a stored "id".
#include "query/node_filter.h"

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/query.h"

namespace orvane {

bool resolve_node_filter(const Database& db, const QlNodePattern& node, NodeFilter& filter) {
  filter = NodeFilter();
  if (!node.properties.empty()) filter.properties = &node.properties;
  if (node.label.empty()) return true;
  filter.has_label = true;
  const auto it = db.node_type_ids.find(node.label);
  if (it == db.node_type_ids.end()) return false;
  filter.label = it->second;
  return true;
}

bool node_properties_pass(const Database& db, const NodeFilter& filter, std::uint32_t identity) {
  const nlohmann::json& stored = db.node_properties(identity);
  for (const auto& [name, value] : *filter.properties) {
    const auto it = stored.find(name);
    if (it != stored.end()) {
      if (value.is_null() || *it != value) return false;
      continue;
    }
    // Without a stored "id", {id: N} names the node with identity N.
    if (name != "id" || !value.is_number_integer()) return false;
    if (value.is_number_unsigned() ? value.get<std::uint64_t>() != identity
                                   : value.get<std::int64_t>() != static_cast<std::int64_t>(identity)) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint64_t> anchored_identity(const Database& db, const QlNodePattern& node) {
  if (db.stored_id_nodes != 0) return std::nullopt;
  const auto it = node.properties.find("id");
  if (it == node.properties.end() || !it->second.is_number_integer()) return std::nullopt;
  if (it->second.is_number_unsigned() || it->second.get<std::int64_t>() >= 0) return it->second.get<std::uint64_t>();
  return kMaxNodeCount;
}

}  // namespace orvane
