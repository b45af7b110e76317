// Traversal kernels: hand-written counting routines over the typed CSR.
// Every kernel takes the hub as an identity, works in positions and returns
// a count that does not depend on the physical layout.
//
// Common contract of every kernel below: it first throws std::logic_error
// "query requires compiled physical graph" unless the graph is compiled;
// then, when the hub is not below the node count, it returns 0 without
// reading any array. A type id at or above the graph's type count has no
// relationships. out(v, t) and in(v, t) are v's outgoing and incoming lists
// of type t; kAllTypes (65535) stands for every type where a kernel says so.
// Kernels only read the graph; any number may run at once on one graph.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

struct PhysicalGraph;

// Direction codes of the kernels that accept one. Both reads the outgoing
// list first, then the incoming one.
enum class Direction : int { Outgoing = 0, Incoming = 1, Both = 2 };

// Throws std::logic_error "query requires compiled physical graph" unless
// the graph is compiled.
void require_compiled(const PhysicalGraph& csr);

// The size of out(hub, t).
std::uint64_t hop1_count(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type);

// Distinct nodes reachable from `hub` over outgoing relationships of `type`
// (kAllTypes for every type) in at most `hops` steps, hub included: 0 for
// hops < 0, 1 for hops = 0. Global visited marks; stops when a level adds
// nothing. Levels of 16384 or more frontier entries expand in parallel.
std::uint64_t hop_reach(const PhysicalGraph& csr, std::uint32_t hub, int hops, std::uint16_t type);

// Clears `next`, then appends every neighbour of `frontier` (positions) over
// `type` (kAllTypes allowed) in `direction` whose byte in `visited` is
// clear, setting it. With 16384 or more entries it runs as an OpenMP loop
// claiming marks by compare-and-swap; the order of `next` then depends on
// scheduling, its content does not. Requires: `visited` has node_count
// bytes and every frontier entry is a position. Throws the compiled-graph
// logic_error.
void expand_frontier(const PhysicalGraph& csr, const std::vector<std::uint32_t>& frontier,
                     std::uint16_t type, Direction direction, std::vector<std::uint8_t>& visited,
                     std::vector<std::uint32_t>& next);

// Walks of length 2 with multiplicity: Σ over x in out(hub, t) of the size
// of out(x, t). kAllTypes allowed.
std::uint64_t paths_len2(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type);

// Outgoing paths of length 3 or 4 from the hub that use no relationship
// twice. Any other length or direction counts walks instead: 1 for length
// 0, 0 for a negative length, otherwise walks of that length in
// `direction` (both lists for Both), modulo 2^64.
std::uint64_t paths_count(const PhysicalGraph& csr, std::uint32_t hub, int length, std::uint16_t type,
                          Direction direction);

// Closed paths through the hub over outgoing relationships of `type`:
// 0 below length 2; length 2 counts x in out(hub) with x → hub; length 3
// counts closed walks hub → x → y → hub; length 4 counts closed paths that
// use no relationship twice (OpenMP over the hub's list); length 5 and more
// count closed walks, modulo 2^64.
std::uint64_t cycles_from_hub(const PhysicalGraph& csr, std::uint32_t hub, int length, std::uint16_t type);

// For x in out(hub, t1), y in out(x, t2): distinct y, or every pair when
// `distinct` is false.
std::uint64_t two_step_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t t1,
                               std::uint16_t t2, bool distinct);

// For x in out(hub, t), y in in(x, t): distinct y, the hub itself left out
// when `exclude_hub`.
std::uint64_t coauthors(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type, bool exclude_hub);

// For x in out(hub, t), y in in(x, t): distinct y other than the hub; when
// `distinct` is false, Σ of the sizes of in(x, t) (the hub included).
std::uint64_t wedge_in_of_out(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type, bool distinct);

// For x in out(hub, tf), p in out(x, ta), y in in(p, ta): distinct y with
// y ≠ hub and y ≠ x.
std::uint64_t coauthors_of_followed(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                    std::uint16_t ta);

// For x in out(hub, tf), y in out(x, tf), p in out(y, ta): distinct p, or
// the number of such triples when `distinct` is false.
std::uint64_t mixed_2hop_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                 std::uint16_t ta, bool distinct);

// For x in in(hub, tf), p in out(x, ta): distinct p, or every pair.
std::uint64_t followers_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                std::uint16_t ta, bool distinct);

// Pairs (p, y) with p in out(hub, ta), y in in(p, ta), y ≠ hub, for which
// y → hub of type tf exists; a co-author on several shared papers counts
// once per paper.
std::uint64_t coauthor_follows_back(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t ta,
                                    std::uint16_t tf);

// Distinct p in out(v, ta) over the nodes v selected by a level walk over
// tf: the hub when min_hop < 1, and every node of levels min_hop … max_hop,
// each level the distinct out(·, tf) of the previous one (nodes may recur
// in later levels). Stops when a level is empty.
std::uint64_t hop_range_targets(const PhysicalGraph& csr, std::uint32_t hub, int min_hop, int max_hop,
                                std::uint16_t tf, std::uint16_t ta);

// Distinct nodes that end a walk from the hub whose length lies in
// min_hops … max_hops over `type` (kAllTypes allowed) in `direction`: 0 when
// max_hops < max(min_hops, 0); with min_hops < 1 the breadth-first reach
// within max_hops (hub included); otherwise the union of the levels
// min_hops … max_hops of a level walk, so a node counts even when it is
// also closer to the hub.
std::uint64_t varlength_distinct(const PhysicalGraph& csr, std::uint32_t hub, int min_hops, int max_hops,
                                 std::uint16_t type, Direction direction);

}  // namespace orvane
