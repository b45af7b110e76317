// Node filters: label by id, properties by typed equality (numbers by
// value, whatever their type), and, on graphs of the corpus generator
// (Database::generated), the identity reading of {id: N} on nodes without
// a stored "id".
#include "query/node_filter.h"

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/plan/count_pattern.h"

namespace orvane {

bool resolve_node_filter(const Database& db, const CountNode& node, NodeFilter& filter) {
  filter = NodeFilter();
  if (!node.properties.empty()) filter.properties = &node.properties;
  for (const auto& [name, literal] : node.properties) {
    PropertyTest test;
    test.key = db.node_store.find_key(name);
    test.is_id = name == "id";
    test.literal = &literal;
    try {
      test.value = property_value_of(literal);
    } catch (const std::runtime_error&) {
      test.value = Value(literal.dump());  // a typed form its type refuses matches no stored value
    }
    filter.tests.push_back(std::move(test));
  }
  if (node.label.empty()) return true;
  filter.has_label = true;
  const auto it = db.node_type_ids.find(node.label);
  if (it == db.node_type_ids.end()) return false;
  filter.label = it->second;
  return true;
}

namespace {

// Cypher's equality of two property values: numbers by value (1 = 1.0),
// lists element by element, everything else by type and value.
bool same_value(const Value& a, const Value& b) {
  const bool a_int = a.is<std::int64_t>(), b_int = b.is<std::int64_t>();
  if ((a_int || a.is<double>()) && (b_int || b.is<double>())) {
    if (a_int && b_int) return a.as<std::int64_t>() == b.as<std::int64_t>();
    if (!a_int && !b_int) return a.as<double>() == b.as<double>();
    const std::int64_t i = a_int ? a.as<std::int64_t>() : b.as<std::int64_t>();
    const double d = a_int ? b.as<double>() : a.as<double>();
    return static_cast<double>(i) == d && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18 &&
           static_cast<std::int64_t>(d) == i;
  }
  if (a.is<ValueList>() && b.is<ValueList>()) {
    const ValueList& x = a.as<ValueList>();
    const ValueList& y = b.as<ValueList>();
    if (x.size() != y.size()) return false;
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (!same_value(x[k], y[k])) return false;
    }
    return true;
  }
  return a == b;
}

}  // namespace

bool node_properties_pass(const Database& db, const NodeFilter& filter, std::uint32_t identity) {
  for (const PropertyTest& test : filter.tests) {
    const Value stored = test.key == kNoPropertyKey || identity >= db.node_store.size()
                             ? Value()
                             : db.node_store.get(identity, test.key);
    if (!stored.is_null()) {
      if (test.value.is_null() || !same_value(stored, test.value)) return false;
      continue;
    }
    // On a generated graph, without a stored "id", {id: N} names the node
    // with identity N.
    const nlohmann::json& value = *test.literal;
    if (!db.generated || !test.is_id || !value.is_number_integer()) return false;
    if (value.is_number_unsigned() ? value.get<std::uint64_t>() != identity
                                   : value.get<std::int64_t>() != static_cast<std::int64_t>(identity)) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint64_t> anchored_identity(const Database& db, const CountNode& node) {
  if (!db.generated || db.stored_id_nodes != 0) return std::nullopt;
  const auto it = node.properties.find("id");
  if (it == node.properties.end() || !it->second.is_number_integer()) return std::nullopt;
  if (it->second.is_number_unsigned() || it->second.get<std::int64_t>() >= 0) return it->second.get<std::uint64_t>();
  return kMaxNodeCount;
}

}  // namespace orvane
