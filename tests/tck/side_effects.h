// Side effects of a query, counted by comparing the graph before and after
// it (never from the engine's own counters, so they are an independent
// check). The eight counters of the conformance suite:
//
//   +nodes / -nodes                  node identities present after but not before / before but not after
//   +relationships / -relationships  the same for relationship identities
//   +labels / -labels                label names carried by some node after but by none before / the reverse
//   +properties / -properties        (entity, key, value) triples present after but not before / the reverse
//
// So overwriting a property counts one + and one -, writing a property
// with the value it had counts nothing, and deleting a node counts its
// properties as removed.
#pragma once

#include <cstdint>
#include <string>

#include "tck/gherkin.h"
#include "tck/tck_engine.h"

namespace orvane::tck {

struct SideEffects {
  std::int64_t nodes_added = 0;
  std::int64_t nodes_removed = 0;
  std::int64_t relationships_added = 0;
  std::int64_t relationships_removed = 0;
  std::int64_t labels_added = 0;
  std::int64_t labels_removed = 0;
  std::int64_t properties_added = 0;
  std::int64_t properties_removed = 0;

  friend bool operator==(const SideEffects&, const SideEffects&) = default;
};

// The side effects that turned `before` into `after` (see the top of this file).
SideEffects diff_snapshots(const GraphSnapshot& before, const GraphSnapshot& after);

// The expectation of a "side effects should be" table: rows of counter
// name ("+nodes", ...) and count; counters not named are 0. Throws
// std::runtime_error for an unknown name, a repeated one, a row without
// two cells or a count that is not a non-negative integer.
SideEffects parse_side_effects(const GherkinTable& table);

// "+nodes 1, +labels 1", or "none" when every counter is 0.
std::string side_effects_text(const SideEffects& effects);

}  // namespace orvane::tck
