// What a statement changed, as Neo4j's result summaries count it: nodes
// and relationships created and deleted, properties set (a removal counts,
// as setting to null does), labels added and removed (only where the node
// did not have, or had, the label).
#pragma once

#include <cstdint>

namespace orvane {

struct UpdateCounters {
  std::uint64_t nodes_created = 0;
  std::uint64_t nodes_deleted = 0;
  std::uint64_t relationships_created = 0;
  std::uint64_t relationships_deleted = 0;
  std::uint64_t properties_set = 0;
  std::uint64_t labels_added = 0;
  std::uint64_t labels_removed = 0;

  bool any() const {
    return nodes_created + nodes_deleted + relationships_created + relationships_deleted + properties_set +
               labels_added + labels_removed !=
           0;
  }
  friend bool operator==(const UpdateCounters&, const UpdateCounters&) = default;
};

}  // namespace orvane
