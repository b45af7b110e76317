// What the --reduce option of a migration reports. Older versions could not
// hold several labels per node, relationship properties or parallel
// relationships, and a migration asked for with --reduce took such graphs
// in a reduced form and reported every reduction. The graph model holds all
// of them now, so every import is whole; the option stays accepted so that
// scripts keep working, and its report says that it reduced nothing.
#pragma once

namespace orvane {

// The one report line of --reduce ("reduced: " before it on the command
// line); the migrate route answers "reductions": [] instead.
inline constexpr const char* kNothingReduced =
    "nothing; every label, relationship property and parallel relationship was imported as it is";

}  // namespace orvane
