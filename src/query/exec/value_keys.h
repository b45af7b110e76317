// Hashing and comparing rows of values by equivalence (graph/cypher_value.h):
// the keys of grouping, DISTINCT and DISTINCT aggregates, where null groups
// with null and 1 with 1.0.
#pragma once

#include <cstddef>
#include <vector>

#include "graph/cypher_value.h"

namespace orvane {

struct ValueHash {
  std::size_t operator()(const CypherValue& v) const { return equivalence_hash(v); }
};

struct ValueEqual {
  bool operator()(const CypherValue& a, const CypherValue& b) const { return equivalent(a, b); }
};

struct ValuesHash {
  std::size_t operator()(const std::vector<CypherValue>& key) const {
    std::size_t h = 0;
    for (const CypherValue& v : key) h = h * 1000003u ^ equivalence_hash(v);
    return h;
  }
};

// Requires: both keys have the same length (the same grouping expressions).
struct ValuesEqual {
  bool operator()(const std::vector<CypherValue>& a, const std::vector<CypherValue>& b) const {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!equivalent(a[i], b[i])) return false;
    }
    return true;
  }
};

}  // namespace orvane
