// The entropy worker: answer-preserving renumbering of a compiled graph.
//
// optimize_layout gives nodes that are traversed together nearby positions
// (a hub-rooted Cuthill–McKee breadth-first order), so traversals touch
// nearby memory. scatter_layout and apply_mess do the opposite on purpose:
// the entropy lab degrades a layout with them before optimising it again.
// None of them changes an identity, a label, a property or a relationship,
// so every query answer stays the same.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

struct PhysicalGraph;
class Database;

// The order (entry k = current position of the node that moves to k): each
// weakly connected component breadth-first from its highest out-degree node
// (lowest position among equals), neighbours by ascending out-degree, then
// position; components by descending hub degree. Reads only the CSR.
// Requires: the graph is compiled.
std::vector<std::uint32_t> hub_cuthill_mckee_order(const PhysicalGraph& csr);

// Compiles when needed, then applies hub_cuthill_mckee_order.
void optimize_layout(Database& db);
void optimize_layout(PhysicalGraph& csr);

// Compiles when needed, then applies a Fisher–Yates shuffle of the positions
// driven by a 64-bit LCG seeded with `seed` (0 behaves as 1).
void scatter_layout(PhysicalGraph& csr, std::uint32_t seed);

// Mess levels, each including the ones below (below 1: nothing):
// 1 scatter; 2 also append two duplicates of every fifth adjacency entry (at
// most 4096 entries), compile and scatter again; 3 also add 128 isolated
// Person nodes "junk-0" … "junk-127", compile and scatter again.
void apply_mess(Database& db, std::int32_t level, std::uint32_t seed);

}  // namespace orvane
