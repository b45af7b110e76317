// Query executor.
//
// Search state (one per execution): `bound` holds the physical position
// bound to each node position; `used` the identities of the relationships
// of the current path as a flat array scanned linearly (parallel
// relationships are different relationships, each usable once) — a path holds
// at most 16 × 16 = 256 relationships, and for the short paths of real
// queries a scan beats any tree; nothing is allocated per step.
//
// Enumeration order is observable in row results and fixed: start nodes by
// ascending identity; at each relationship position first try to end it at
// the current node, then extend by one hop over outgoing neighbours (unless
// the direction is In), then incoming ones (unless Out; with Both a
// self-loop is not tried twice), each in adjacency order.
//
// Start nodes come from the narrowest source that yields the same nodes in
// the same ascending order: identity N alone for an {id: N} filter on a
// generated graph where no node stores an "id" property (the filter then
// names an identity), else the
// ascending identity list of the first node's label, else every node. A
// single-node count without filters is answered from those counts alone.
//
// A count query whose shape the counting planner recognises
// (count_planner.h) is answered there, without a walk and without this
// budget; the enumerator counts every other one.
//
// Work budget: every start node tested and every walk call is one step;
// nodes an index skips cost none. Exceeding 10,000,000 steps, or a step
// number divisible by 1024 found past the 5-second deadline, fails the query.
#include "query/executor.h"

#include <chrono>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "graph/database.h"
#include "query/count_planner.h"
#include "query/node_filter.h"
#include "query/query.h"

namespace orvane {
namespace {


// What each node position needs at match time, resolved once.
struct NodeCheck {
  NodeFilter filter;
  std::size_t first_same_variable = SIZE_MAX;  // earlier position with the same variable
};

class Search {
 public:
  Search(const Database& db, const QlQuery& q) : db_(db), q_(q) {}

  // Resolves names; false when some label or type is unknown to the schema.
  bool prepare();
  // The count of a pattern that is one unfiltered node, read from the node
  // and label counts; false for any other pattern. Requires: prepare()
  // returned true on a compiled graph.
  bool count_without_walk(std::uint64_t& count) const;
  template <typename OnMatch>
  void run(OnMatch&& on_match);

  std::vector<std::uint32_t> bound;
  bool stop = false;

 private:
  void step();
  template <typename OnMatch>
  void start_at(std::uint32_t identity, OnMatch& on_match);
  bool node_test(std::size_t k, std::uint32_t identity) const;
  template <typename OnMatch>
  void walk(std::size_t i, int h, std::uint32_t cur, OnMatch& on_match);
  bool used(std::uint32_t rel) const;

  const Database& db_;
  const QlQuery& q_;
  bool single_start_ = false;          // start at start_identity_ only
  std::uint64_t start_identity_ = 0;   // the identity an {id: N} filter names (may be beyond the graph)
  std::vector<std::uint16_t> type_ids_;
  std::vector<NodeCheck> checks_;
  std::vector<std::pair<std::size_t, std::size_t>> not_equal_;
  std::vector<std::uint32_t> used_;
  std::uint64_t work_ = 0;
  std::chrono::steady_clock::time_point deadline_;
};

bool Search::prepare() {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bound.assign(q_.nodes.size(), kNoNode);
  used_.reserve(kMaxPatternRelationships * kMaxHops);
  bool resolved = true;
  type_ids_.assign(q_.relationships.size(), 0);
  for (std::size_t i = 0; i < q_.relationships.size(); ++i) {
    auto it = db_.rel_type_ids.find(q_.relationships[i].type);
    if (it == db_.rel_type_ids.end()) {
      resolved = false;
    } else {
      type_ids_[i] = it->second;
    }
  }
  checks_.resize(q_.nodes.size());
  for (std::size_t k = 0; k < q_.nodes.size(); ++k) {
    const QlNodePattern& n = q_.nodes[k];
    NodeCheck& c = checks_[k];
    if (!resolve_node_filter(db_, n, c.filter)) resolved = false;
    if (!n.variable.empty()) {
      const std::size_t first = variable_index(q_, n.variable);
      if (first < k) c.first_same_variable = first;
    }
  }
  for (const auto& [left, right] : q_.where_not_equal) {
    not_equal_.emplace_back(variable_index(q_, left), variable_index(q_, right));
  }
  // On a generated graph without any stored "id", {id: N} matches only the
  // node whose identity is N (and a negative N none).
  if (const auto anchor = anchored_identity(db_, q_.nodes.front())) {
    single_start_ = true;
    start_identity_ = *anchor;
  }
  return resolved;
}

bool Search::count_without_walk(std::uint64_t& count) const {
  if (!q_.relationships.empty() || !q_.nodes.front().properties.empty() || !q_.where_not_equal.empty()) return false;
  const NodeCheck& c = checks_.front();
  count = c.filter.has_label ? db_.graph.nodes_with_label(c.filter.label).size() : db_.graph.node_count;
  return true;
}

void Search::step() {
  ++work_;
  if (work_ > kQueryWorkLimit) throw QlError(kWorkLimitMessage);
  if ((work_ & 1023) == 0 && std::chrono::steady_clock::now() > deadline_) throw QlError(kWorkLimitMessage);
}

bool Search::node_test(std::size_t k, std::uint32_t identity) const {
  return node_passes(db_, checks_[k].filter, identity);
}

bool Search::used(std::uint32_t rel) const {
  for (const std::uint32_t r : used_) {
    if (r == rel) return true;
  }
  return false;
}

template <typename OnMatch>
void Search::start_at(std::uint32_t identity, OnMatch& on_match) {
  step();
  if (!node_test(0, identity)) return;
  const std::uint32_t p = db_.graph.to_physical[identity];
  bound[0] = p;
  walk(0, 0, p, on_match);
}

template <typename OnMatch>
void Search::run(OnMatch&& on_match) {
  const PhysicalGraph& g = db_.graph;
  if (single_start_) {
    if (start_identity_ < g.node_count) start_at(static_cast<std::uint32_t>(start_identity_), on_match);
    return;
  }
  if (checks_.front().filter.has_label) {
    for (const std::uint32_t identity : g.nodes_with_label(checks_.front().filter.label)) {
      if (stop) return;
      start_at(identity, on_match);
    }
    return;
  }
  for (std::uint64_t s = 0; s < g.node_count; ++s) {
    if (stop) return;
    start_at(static_cast<std::uint32_t>(s), on_match);
  }
}

template <typename OnMatch>
void Search::walk(std::size_t i, int h, std::uint32_t cur, OnMatch& on_match) {
  if (stop) return;
  step();
  if (i == q_.relationships.size()) {
    for (const auto& [left, right] : not_equal_) {
      if (bound[left] == bound[right]) return;
    }
    on_match(bound);
    return;
  }
  const QlRelPattern& r = q_.relationships[i];
  const PhysicalGraph& g = db_.graph;
  if (h >= r.min_hops) {
    const NodeCheck& next = checks_[i + 1];
    if (node_test(i + 1, g.to_logical[cur]) &&
        (next.first_same_variable == SIZE_MAX || bound[next.first_same_variable] == cur)) {
      bound[i + 1] = cur;
      walk(i + 1, 0, cur, on_match);
    }
  }
  if (h == r.max_hops || stop) return;
  const std::uint16_t type = type_ids_[i];
  if (r.direction != QlDirection::In) {
    const NodeRun nodes = g.typed_out_neighbors(cur, type);
    const RelRun rels = g.typed_out_rel_ids(cur, type);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const std::uint32_t n = nodes[k];
      if (used(rels[k])) continue;
      used_.push_back(rels[k]);
      walk(i, h + 1, n, on_match);
      used_.pop_back();
      if (stop) return;
    }
  }
  if (r.direction != QlDirection::Out) {
    const NodeRun nodes = g.typed_in_neighbors(cur, type);
    const RelRun rels = g.typed_in_rel_ids(cur, type);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const std::uint32_t n = nodes[k];
      if (r.direction == QlDirection::Both && n == cur) continue;
      if (used(rels[k])) continue;
      used_.push_back(rels[k]);
      walk(i, h + 1, n, on_match);
      used_.pop_back();
      if (stop) return;
    }
  }
}

nlohmann::json node_value(const Database& db, std::uint32_t position, const std::string& property) {
  const std::uint32_t identity = db.graph.to_logical[position];
  if (!property.empty()) return to_typed_json(db.node_property(identity, property));
  const nlohmann::json props = db.node_properties(identity);
  nlohmann::json node = nlohmann::json::object();
  node["id"] = db.node_id(identity);
  nlohmann::json labels = nlohmann::json::array();
  for (const std::uint16_t label : db.graph.labels_of(identity)) labels.push_back(db.node_type_name(label));
  node["labels"] = std::move(labels);
  node["properties"] = props;
  return node;
}

}  // namespace

std::size_t variable_index(const QlQuery& query, const std::string& name) {
  for (std::size_t k = 0; k < query.nodes.size(); ++k) {
    if (query.nodes[k].variable == name) return k;
  }
  throw QlError("unknown variable");
}

namespace {

// The count of a count query; `plan` lets the counting methods answer the
// shapes they recognise before the enumerator is tried.
std::uint64_t count_matches(const Database& db, const QlQuery& query, bool plan) {
  if (!query.is_count) throw QlError("row query requires execute_rows");
  Search search(db, query);
  const bool resolved = search.prepare();
  if (!db.graph.compiled) throw QlError("graph is not compiled");
  if (!resolved) return 0;
  std::uint64_t count = 0;
  if (search.count_without_walk(count)) return count;
  if (plan) {
    if (const std::optional<std::uint64_t> planned = planned_count(db, query)) return *planned;
  }
  auto add_one = [&] {
    if (count == std::numeric_limits<std::uint64_t>::max()) throw QlError(kCountOverflowMessage);
    ++count;
  };
  if (query.distinct && !query.count_star) {
    const std::size_t index = variable_index(query, query.count_variable);
    // A byte per position has the membership behaviour of an ordered set of
    // positions at a fraction of its cost.
    std::vector<std::uint8_t> seen(db.graph.node_count, 0);
    search.run([&](const std::vector<std::uint32_t>& bound) {
      std::uint8_t& mark = seen[bound[index]];
      if (mark) return;
      mark = 1;
      add_one();
    });
  } else {
    search.run([&](const std::vector<std::uint32_t>&) { add_one(); });
  }
  return count;
}

}  // namespace

std::uint64_t execute_query(const Database& db, const QlQuery& query) { return count_matches(db, query, true); }

std::uint64_t enumerate_count(const Database& db, const QlQuery& query) { return count_matches(db, query, false); }

nlohmann::json execute_rows(const Database& db, const QlQuery& query) {
  nlohmann::json result = nlohmann::json::object();
  nlohmann::json columns = nlohmann::json::array();
  if (query.is_count) {
    columns.push_back(query.count_alias);
  } else {
    for (const QlReturnItem& item : query.returns) columns.push_back(item.column);
  }
  result["columns"] = std::move(columns);
  result["rows"] = nlohmann::json::array();
  Search search(db, query);
  const bool resolved = search.prepare();
  if (query.limit == 0) return result;
  if (!db.graph.compiled) throw QlError("graph is not compiled");
  if (!resolved) {
    // A name the schema does not have matches nothing: a count is still one
    // row, holding 0.
    if (query.is_count) result["rows"].push_back(nlohmann::json::array({0u}));
    return result;
  }
  if (query.is_count) {
    result["rows"].push_back(nlohmann::json::array({execute_query(db, query)}));
    return result;
  }
  std::vector<std::size_t> item_index;
  for (const QlReturnItem& item : query.returns) item_index.push_back(variable_index(query, item.variable));
  nlohmann::json& rows = result["rows"];
  std::set<nlohmann::json> seen;
  search.run([&](const std::vector<std::uint32_t>& bound) {
    nlohmann::json row = nlohmann::json::array();
    for (std::size_t c = 0; c < query.returns.size(); ++c) {
      row.push_back(node_value(db, bound[item_index[c]], query.returns[c].property));
    }
    if (query.distinct && !seen.insert(row).second) return;
    if (rows.size() == query.limit) throw QlError("result exceeds 10000 rows; add an explicit LIMIT");
    rows.push_back(std::move(row));
    if (query.has_limit && rows.size() >= query.limit) search.stop = true;
  });
  return result;
}

std::uint64_t count_query_text(const Database& db, std::string_view text) {
  return execute_query(db, parse_query(text));
}

}  // namespace orvane
