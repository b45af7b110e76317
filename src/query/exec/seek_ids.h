// The ids a seek's expression names, read the way the predicate it stands
// for compares them, so that a seek finds exactly the entities the
// predicate would keep from a scan: id(x) = 1.0 holds for the entity of id
// 1 (Cypher compares 1 and 1.0 as equal), a value of another type or null
// names nothing, and elementId(x) = s holds only for the exact text
// elementId() answers ("4:halvex:<id>" for a node, "5:halvex:<id>" for a
// relationship).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "graph/cypher_value.h"
#include "query/plan/logical_plan.h"

namespace orvane {

// The user-visible ids `value` names under `form` (kId, kElementId: one
// value; the list forms: the elements of a list; kGeneratedId as kId), for
// nodes or `relationships`. Returns nullopt when a list form's value is
// neither a list nor null: the predicate itself then raises the type error,
// so the caller must scan instead of seeking.
std::optional<std::vector<std::uint64_t>> seek_ids(const CypherValue& value, SeekForm form, bool relationships);

}  // namespace orvane
