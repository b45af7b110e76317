// orvane::UndoLog: what a unit of work changed in what existed before it,
// oldest first, so that a unit that fails part-way can be undone exactly.
//
// Growth (new nodes, relationships, names) is undone by truncating back to
// a DatabaseMark; changes to older entities cannot be, so while a Database
// has an undo log every such change records what it replaces first: a
// property's old value (null: it was absent), a node's old label list, and
// that an entity now deleted was live.
// Database::rollback replays the entries newest first, then truncates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/value.h"

namespace orvane {

struct UndoEntry {
  enum class Kind : std::uint8_t {
    kNodeProperty,  // node `entity`'s property `key` was `old`
    kRelProperty,   // relationship `entity`'s property `key` was `old`
    kLabels,        // node `entity`'s labels were `old_labels`
    kNodeDeleted,   // node `entity` was live
    kRelDeleted,    // relationship `entity` was live
  };
  Kind kind = Kind::kNodeProperty;
  std::uint32_t entity = 0;
  std::string key;
  Value old;
  std::string old_name;                   // kNodeProperty of "name": the display name before
  std::vector<std::uint16_t> old_labels;  // kLabels
};

using UndoLog = std::vector<UndoEntry>;

}  // namespace orvane
