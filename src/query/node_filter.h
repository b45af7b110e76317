// Node filters of a counted pattern's position (plan/count_pattern.h),
// resolved against a graph: the label id and the property map that a node
// must match, as the plan's node filters match them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "graph/database.h"
#include "graph/value.h"

namespace orvane {

struct CountNode;

// One {key: value} of a pattern, resolved once: the key's id in the node
// store (kNoPropertyKey when no node ever had it) and the wanted value.
struct PropertyTest {
  std::uint32_t key = 0;
  bool is_id = false;  // the key is "id"
  Value value;         // null for a null filter, which never matches
  const nlohmann::json* literal = nullptr;  // the filter value as written
};

struct NodeFilter {
  bool has_label = false;
  std::uint16_t label = 0xFFFF;  // label id when has_label
  const std::map<std::string, nlohmann::json>* properties = nullptr;  // null when the position has none
  std::vector<PropertyTest> tests;  // the properties, resolved

  bool empty() const { return !has_label && properties == nullptr; }
};

// Resolves the label of `node` against the schema into `filter`; false when
// the schema does not know the label (the position then matches nothing).
// The filter keeps a pointer into `node`, which must outlive it.
bool resolve_node_filter(const Database& db, const CountNode& node, NodeFilter& filter);

// True when the node with `identity` matches the filter's properties: a
// stored property must equal the filter value (a null filter never
// matches; an integer equals a float of the same value, as in Cypher); a
// property the node lacks matches only as {id: N} with N the node's
// identity, and only on a generated graph. Requires: the filter has
// properties.
bool node_properties_pass(const Database& db, const NodeFilter& filter, std::uint32_t identity);

// True when the node with `identity` has the filter's label (as any of its
// labels) and passes its
// properties. Inline: the counting methods test a node at nearly every step.
inline bool node_passes(const Database& db, const NodeFilter& filter, std::uint32_t identity) {
  if (filter.has_label && db.graph.labels[identity] != filter.label &&
      (db.graph.extra_labels.empty() || !db.graph.has_label(identity, filter.label))) {
    return false;
  }
  return filter.properties == nullptr || node_properties_pass(db, filter, identity);
}

// The only identity that can match `node` when an {id: N} filter names an
// identity: set on a generated graph where no node stores an "id"
// property and the filter value is an integer (a negative one gives kMaxNodeCount, which no
// node has). nullopt when the position must be scanned.
std::optional<std::uint64_t> anchored_identity(const Database& db, const CountNode& node);

}  // namespace orvane
