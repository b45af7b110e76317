// orvane::EntityIds: the ids users see for the nodes (or the relationships)
// of one Database, kept apart from the identities the store numbers them by.
//
// A graph built here shows its identities. An imported graph shows the ids
// its source gave (a Neo4j dump's node and relationship ids, an export's
// numeric :ID column), because those are the ids its users' queries,
// applications and logs already name; the store still numbers the entities
// 0, 1, 2, ... in creation order, which every array indexed by identity
// relies on.
//
// So the ids are an explicit prefix and an implicit tail: the first
// `explicit_count()` entities have the ids given to assign(), and every
// entity after them (created by CREATE, say) takes the next number past the
// largest id in use, in creation order. With no explicit prefix an entity's
// id is its identity. Entities are only ever appended (and rolled back from
// the end), so the tail needs no storage and no bookkeeping when an entity
// is added.
//
// Ids are below 2^63, so that id(n) is a Cypher integer.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

inline constexpr std::uint64_t kNoEntityId = ~std::uint64_t{0};  // "no such id" from EntityIds::find
inline constexpr std::uint64_t kMaxEntityId = (std::uint64_t{1} << 63) - 1;

class EntityIds {
 public:
  // The id of the entity of `identity`.
  std::uint64_t id_of(std::uint64_t identity) const {
    if (identity < ids_.size()) return ids_[identity];
    return next_ + (identity - ids_.size());
  }

  // The identity of the entity with `id` among the first `count` entities,
  // or kNoEntityId.
  std::uint64_t find(std::uint64_t id, std::uint64_t count) const;

  // Gives the first ids.size() entities the ids in `ids` (one per entity,
  // by identity). Returns false, changing nothing, unless the ids are
  // distinct and at most kMaxEntityId. Ids equal to their identities leave
  // no explicit prefix. Entities after them take ids from `next_at_least`
  // on when that is past the largest of `ids`: a graph whose deleted
  // entities had the largest ids does not give those ids out again.
  bool assign(std::vector<std::uint64_t> ids, std::uint64_t next_at_least = 0);
  // Whether the entities after the explicit prefix start past the id that
  // follows from the prefix alone (assign's next_at_least): a copy that
  // keeps only the prefix would give them other ids.
  bool tail_starts_late() const { return next_ != implied_next_; }
  // The id the next entity after `count` entities would take.
  std::uint64_t next_id(std::uint64_t count) const { return id_of(count); }

  // Forgets the explicit ids of entities at or beyond `count`.
  void truncate(std::uint64_t count);

  // Every id equals its identity.
  bool is_identity() const { return ids_.empty() && next_ == 0; }
  // The explicit ids, by identity (empty when is_identity()).
  const std::vector<std::uint64_t>& explicit_ids() const { return ids_; }
  std::uint64_t explicit_count() const { return ids_.size(); }

 private:
  void index();

  std::vector<std::uint64_t> ids_;      // explicit ids by identity
  std::vector<std::uint32_t> by_id_;    // identities in ascending order of their ids; empty while
                                        // ids_ itself ascends (the common case: a dump in id order)
  std::uint64_t next_ = 0;              // the id of identity ids_.size(): one past the largest id
  std::uint64_t floor_ = 0;             // next_ is never below it (assign's next_at_least)
  std::uint64_t implied_next_ = 0;      // one past the largest explicit id; 0 without any
};

}  // namespace orvane
