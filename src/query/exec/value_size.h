// Estimates of the memory a kept value or row takes, for the memory bound
// (exec_context.h).
//
// An estimate is the value's own size plus what it owns on the heap:
// strings beyond their inline buffer, byte arrays, lists and maps with their
// elements (recursively), and paths' identity arrays, each shared block
// with its reference-count header. A list shared between rows is counted in
// every row that keeps it: knowing which blocks were counted already would
// cost a lookup per kept value, and the overcount errs towards stopping a
// statement early, never late. Containers' spare capacity counts, since it
// is memory taken.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/cypher_value.h"

namespace orvane {

// What one entry of a node-based hash table costs beyond its key and
// value: the node's link and cached hash, its bucket slot, the allocator's
// header.
inline constexpr std::uint64_t kHashEntryBytes = 40;

// The bytes `value` owns on the heap (0 for numbers, booleans, null,
// temporals without a zone name, node and relationship references).
std::uint64_t value_heap_bytes(const CypherValue& value);

// sizeof(CypherValue) plus value_heap_bytes(value): the cost of keeping
// `value` in a container of values.
inline std::uint64_t value_bytes(const CypherValue& value) { return sizeof(CypherValue) + value_heap_bytes(value); }

// The cost of keeping `values` (a row or a key) as a std::vector: its own
// size, its capacity in values and every value's heap bytes.
std::uint64_t values_bytes(const std::vector<CypherValue>& values);

}  // namespace orvane
