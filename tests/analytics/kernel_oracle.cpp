#include "analytics/kernel_oracle.h"

#include <functional>
#include <set>
#include <tuple>

namespace orvane::testing {

KernelOracle::KernelOracle(const Database& db) : node_count_(db.graph.node_count), edges_(db.graph.edges) {
  for (const Edge& e : edges_) {
    out_[{e.type, e.src}].push_back(e.dst);
    out_[{kAllTypes, e.src}].push_back(e.dst);
    in_[{e.type, e.dst}].push_back(e.src);
    in_[{kAllTypes, e.dst}].push_back(e.src);
  }
}

std::vector<std::uint32_t> KernelOracle::step(std::uint32_t v, std::uint16_t t, Direction d) const {
  std::vector<std::uint32_t> result;
  if (d != Direction::Incoming) {
    auto it = out_.find({t, v});
    if (it != out_.end()) result.insert(result.end(), it->second.begin(), it->second.end());
  }
  if (d != Direction::Outgoing) {
    auto it = in_.find({t, v});
    if (it != in_.end()) result.insert(result.end(), it->second.begin(), it->second.end());
  }
  return result;
}

std::uint64_t KernelOracle::hop1(std::uint32_t hub, std::uint16_t t) const {
  return hub < node_count_ ? step(hub, t, Direction::Outgoing).size() : 0;
}

std::uint64_t KernelOracle::reach(std::uint32_t hub, int hops, std::uint16_t t, Direction d) const {
  if (hub >= node_count_ || hops < 0) return 0;
  std::set<std::uint32_t> seen{hub}, level{hub};
  for (int i = 0; i < hops; ++i) {
    std::set<std::uint32_t> next;
    for (auto v : level)
      for (auto w : step(v, t, d))
        if (!seen.count(w)) next.insert(w);
    seen.insert(next.begin(), next.end());
    level = next;
  }
  return seen.size();
}

std::uint64_t KernelOracle::walks(std::uint32_t hub, int length, std::uint16_t t, Direction d) const {
  if (hub >= node_count_ || length < 0) return 0;
  std::function<std::uint64_t(std::uint32_t, int)> go = [&](std::uint32_t v, int left) -> std::uint64_t {
    if (left == 0) return 1;
    std::uint64_t total = 0;
    for (auto w : step(v, t, d)) total += go(w, left - 1);
    return total;
  };
  return go(hub, length);
}

std::uint64_t KernelOracle::unique_paths(std::uint32_t hub, int length, std::uint16_t t) const {
  if (hub >= node_count_) return 0;
  std::set<std::tuple<std::uint32_t, std::uint32_t>> used;
  std::function<std::uint64_t(std::uint32_t, int)> go = [&](std::uint32_t v, int left) -> std::uint64_t {
    if (left == 0) return 1;
    std::uint64_t total = 0;
    for (auto w : step(v, t, Direction::Outgoing)) {
      if (!used.insert({v, w}).second) continue;
      total += go(w, left - 1);
      used.erase({v, w});
    }
    return total;
  };
  return go(hub, length);
}

std::uint64_t KernelOracle::cycles(std::uint32_t hub, int length, std::uint16_t t) const {
  if (hub >= node_count_ || length < 2) return 0;
  const bool unique = length == 4;
  std::set<std::tuple<std::uint32_t, std::uint32_t>> used;
  std::function<std::uint64_t(std::uint32_t, int)> go = [&](std::uint32_t v, int left) -> std::uint64_t {
    if (left == 0) return v == hub ? 1 : 0;
    std::uint64_t total = 0;
    for (auto w : step(v, t, Direction::Outgoing)) {
      if (unique && !used.insert({v, w}).second) continue;
      total += go(w, left - 1);
      if (unique) used.erase({v, w});
    }
    return total;
  };
  return go(hub, length);
}

std::uint64_t KernelOracle::two_step(std::uint32_t hub, std::uint16_t t1, std::uint16_t t2, bool distinct) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  std::uint64_t total = 0;
  for (auto x : step(hub, t1, Direction::Outgoing))
    for (auto y : step(x, t2, Direction::Outgoing)) {
      seen.insert(y);
      ++total;
    }
  return distinct ? seen.size() : total;
}

std::uint64_t KernelOracle::coauthors(std::uint32_t hub, std::uint16_t t, bool exclude_hub) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  for (auto x : step(hub, t, Direction::Outgoing))
    for (auto y : step(x, t, Direction::Incoming))
      if (!(exclude_hub && y == hub)) seen.insert(y);
  return seen.size();
}

std::uint64_t KernelOracle::wedge(std::uint32_t hub, std::uint16_t t, bool distinct) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  std::uint64_t total = 0;
  for (auto x : step(hub, t, Direction::Outgoing))
    for (auto y : step(x, t, Direction::Incoming)) {
      ++total;
      if (y != hub) seen.insert(y);
    }
  return distinct ? seen.size() : total;
}

std::uint64_t KernelOracle::coauthors_of_followed(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  for (auto x : step(hub, tf, Direction::Outgoing))
    for (auto p : step(x, ta, Direction::Outgoing))
      for (auto y : step(p, ta, Direction::Incoming))
        if (y != hub && y != x) seen.insert(y);
  return seen.size();
}

std::uint64_t KernelOracle::mixed_2hop(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta, bool distinct) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  std::uint64_t total = 0;
  for (auto x : step(hub, tf, Direction::Outgoing))
    for (auto y : step(x, tf, Direction::Outgoing))
      for (auto p : step(y, ta, Direction::Outgoing)) {
        seen.insert(p);
        ++total;
      }
  return distinct ? seen.size() : total;
}

std::uint64_t KernelOracle::followers(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta, bool distinct) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> seen;
  std::uint64_t total = 0;
  for (auto x : step(hub, tf, Direction::Incoming))
    for (auto p : step(x, ta, Direction::Outgoing)) {
      seen.insert(p);
      ++total;
    }
  return distinct ? seen.size() : total;
}

std::uint64_t KernelOracle::follows_back(std::uint32_t hub, std::uint16_t ta, std::uint16_t tf) const {
  if (hub >= node_count_) return 0;
  std::uint64_t total = 0;
  for (auto p : step(hub, ta, Direction::Outgoing))
    for (auto y : step(p, ta, Direction::Incoming)) {
      if (y == hub) continue;
      for (auto z : step(y, tf, Direction::Outgoing))
        if (z == hub) ++total;
    }
  return total;
}

std::uint64_t KernelOracle::hop_range(std::uint32_t hub, int min_hop, int max_hop, std::uint16_t tf,
                                      std::uint16_t ta) const {
  if (hub >= node_count_) return 0;
  std::set<std::uint32_t> selected, level{hub};
  if (min_hop < 1) selected.insert(hub);
  for (int l = 1; l <= max_hop && !level.empty(); ++l) {
    std::set<std::uint32_t> next;
    for (auto v : level)
      for (auto w : step(v, tf, Direction::Outgoing)) next.insert(w);
    if (l >= min_hop) selected.insert(next.begin(), next.end());
    level = next;
  }
  std::set<std::uint32_t> papers;
  for (auto v : selected)
    for (auto p : step(v, ta, Direction::Outgoing)) papers.insert(p);
  return papers.size();
}

std::uint64_t KernelOracle::varlength(std::uint32_t hub, int min_hops, int max_hops, std::uint16_t t,
                                      Direction d) const {
  if (hub >= node_count_ || max_hops < std::max(min_hops, 0)) return 0;
  if (min_hops < 1) return reach(hub, max_hops, t, d);
  // Nodes at the end of some walk of exactly length l, for every allowed l.
  std::set<std::uint32_t> ends, level{hub};
  for (int l = 1; l <= max_hops && !level.empty(); ++l) {
    std::set<std::uint32_t> next;
    for (auto v : level)
      for (auto w : step(v, t, d)) next.insert(w);
    if (l >= min_hops) ends.insert(next.begin(), next.end());
    level = next;
  }
  return ends.size();
}

std::vector<std::uint64_t> all_kernel_counts(const Database& db, std::uint32_t hub) {
  const PhysicalGraph& g = db.graph;
  const std::uint16_t F = db.follows_type, A = db.authored_type;
  std::vector<std::uint64_t> r;
  r.push_back(hop1_count(g, hub, F));
  r.push_back(hop1_count(g, hub, A));
  for (int h = -1; h <= 6; ++h) r.push_back(hop_reach(g, hub, h, F));
  r.push_back(hop_reach(g, hub, 8, kAllTypes));
  r.push_back(paths_len2(g, hub, F));
  r.push_back(paths_len2(g, hub, kAllTypes));
  for (int len = -1; len <= 5; ++len) r.push_back(paths_count(g, hub, len, F, Direction::Outgoing));
  r.push_back(paths_count(g, hub, 3, F, Direction::Both));
  r.push_back(paths_count(g, hub, 2, F, Direction::Incoming));
  for (int len = 1; len <= 5; ++len) r.push_back(cycles_from_hub(g, hub, len, F));
  r.push_back(two_step_targets(g, hub, F, A, true));
  r.push_back(two_step_targets(g, hub, F, A, false));
  r.push_back(coauthors(g, hub, A, true));
  r.push_back(coauthors(g, hub, A, false));
  r.push_back(wedge_in_of_out(g, hub, F, true));
  r.push_back(wedge_in_of_out(g, hub, F, false));
  r.push_back(coauthors_of_followed(g, hub, F, A));
  r.push_back(mixed_2hop_targets(g, hub, F, A, true));
  r.push_back(mixed_2hop_targets(g, hub, F, A, false));
  r.push_back(followers_targets(g, hub, F, A, true));
  r.push_back(followers_targets(g, hub, F, A, false));
  r.push_back(coauthor_follows_back(g, hub, A, F));
  r.push_back(hop_range_targets(g, hub, 1, 2, F, A));
  r.push_back(hop_range_targets(g, hub, 0, 3, F, A));
  r.push_back(varlength_distinct(g, hub, 2, 4, F, Direction::Outgoing));
  r.push_back(varlength_distinct(g, hub, 4, 4, F, Direction::Outgoing));
  r.push_back(varlength_distinct(g, hub, 0, 3, kAllTypes, Direction::Both));
  r.push_back(varlength_distinct(g, hub, 1, 3, F, Direction::Incoming));
  return r;
}

}  // namespace orvane::testing
