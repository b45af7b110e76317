// EntityIds: lookups in the explicit prefix are a binary search, over the
// ids themselves when they ascend with identity (a dump or an export lists
// its entities in id order), else over a permutation sorted once by
// assign(). Ids past the largest explicit one belong to the tail.
#include "graph/entity_ids.h"

#include <algorithm>
#include <numeric>

namespace orvane {

std::uint64_t EntityIds::find(std::uint64_t id, std::uint64_t count) const {
  if (id >= next_) {
    const std::uint64_t identity = ids_.size() + (id - next_);
    return identity < count ? identity : kNoEntityId;
  }
  if (by_id_.empty()) {
    const auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (it == ids_.end() || *it != id) return kNoEntityId;
    const auto identity = static_cast<std::uint64_t>(it - ids_.begin());
    return identity < count ? identity : kNoEntityId;
  }
  const auto it = std::lower_bound(by_id_.begin(), by_id_.end(), id,
                                   [&](std::uint32_t identity, std::uint64_t v) { return ids_[identity] < v; });
  if (it == by_id_.end() || ids_[*it] != id || *it >= count) return kNoEntityId;
  return *it;
}

bool EntityIds::assign(std::vector<std::uint64_t> ids, std::uint64_t next_at_least) {
  bool identity = true, ascending = true;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] > kMaxEntityId) return false;
    identity = identity && ids[i] == i;
    ascending = ascending && (i == 0 || ids[i - 1] < ids[i]);
  }
  std::vector<std::uint32_t> order;
  if (!ascending) {
    order.resize(ids.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return ids[a] < ids[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
      if (ids[order[i - 1]] == ids[order[i]]) return false;
    }
  }
  if (identity && next_at_least <= ids.size()) {
    ids.clear();
    next_at_least = 0;
  }
  ids_ = std::move(ids);
  floor_ = next_at_least;
  by_id_ = std::move(order);
  index();
  return true;
}

void EntityIds::truncate(std::uint64_t count) {
  if (count >= ids_.size()) return;
  ids_.resize(count);
  if (!by_id_.empty()) {
    std::erase_if(by_id_, [&](std::uint32_t identity) { return identity >= count; });
  }
  index();
}

void EntityIds::index() {
  if (ids_.empty()) {
    by_id_.clear();
    implied_next_ = 0;
    next_ = floor_;
    return;
  }
  implied_next_ = (by_id_.empty() ? ids_.back() : ids_[by_id_.back()]) + 1;
  next_ = std::max(implied_next_, floor_);
}

}  // namespace orvane
