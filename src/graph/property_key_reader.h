// orvane::PropertyKeyReader: one property key read on many entities of a
// PropertyStore, for scans that test or fetch it row after row.
//
// PropertyStore::get() looks the key up in the entity's group on every
// call and builds a Value (a string copied out of its column). A scan
// reads one key on thousands of entities, nearly always of one group, so
// the reader looks the key's place up once per group and hands column
// values back as they are stored: the 64-bit word, or a view of the string
// in the column's heap. Values kept in records (other types, lists, values
// written since the store was last organised) come back as kOther, for
// the caller to read with get().
//
// A reader notices writes (the store's generation) and looks the key's
// place up again after one; the store must outlive it. Not thread-safe
// (it caches); a const store may be read by many readers on many threads.
#pragma once

#include <cstdint>
#include <string_view>

#include "graph/cypher_value.h"
#include "graph/property_store.h"

namespace orvane {

class PropertyKeyReader {
 public:
  using Kind = PropertyStore::Kind;
  // `key` may be kNoPropertyKey: every entity then lacks it.
  PropertyKeyReader(const PropertyStore& store, std::uint32_t key) : store_(&store), key_(key) {}

  enum class Found : std::uint8_t {
    kAbsent,  // the entity has no value for the key
    kWord,    // in a column: kind() and word() (text() for a string) hold it
    kOther,   // elsewhere: read it with PropertyStore::get()
  };
  // Where the value of the key on `entity` is. Requires: entity < store.size().
  Found find(PropertyStore::Entity entity) {
    if (key_ == kNoPropertyKey) return Found::kAbsent;
    const std::uint16_t group = store_->group_of(entity);
    if (group != group_ || store_->generation() != generation_) locate(group);
    if (column_ != nullptr) {
      const std::uint64_t row = store_->row_of(entity);
      if (column_->valid[row >> 6] >> (row & 63) & 1) {
        word_ = column_->kind == Kind::kBoolean ? column_->words[row >> 6] >> (row & 63) & 1 : column_->words[row];
        return Found::kWord;
      }
    }
    return in_records_ ? Found::kOther : Found::kAbsent;
  }

  // The last kWord's column kind, word (the integer, the float's bits, a
  // boolean as 0/1, days, nanoseconds) and, for a string, its text.
  Kind kind() const { return column_->kind; }
  std::uint64_t word() const { return word_; }
  std::string_view text() const;

  std::uint32_t key() const { return key_; }

  // Keeps those of `entities` (n of them, each < store.size()) whose
  // value passes: `keep(std::int64_t)` decides an integer in a column,
  // `other(entity)` every other entity (absent, in records, another
  // kind). Writes the kept ones, in order, to `out` (which may be
  // `entities`) and answers how many. One pass with the column's arrays
  // at hand, for scans that test a key on thousands of entities.
  template <typename Keep, typename Other>
  std::size_t select_integers(const std::uint32_t* entities, std::size_t n, std::uint32_t* out, Keep keep,
                              Other other) {
    std::size_t kept = 0;
    std::size_t i = 0;
    while (i < n) {
      if (key_ == kNoPropertyKey) {
        for (; i < n; ++i) {
          if (other(entities[i])) out[kept++] = entities[i];
        }
        break;
      }
      const std::uint16_t group = store_->group_of(entities[i]);
      if (group != group_ || store_->generation() != generation_) locate(group);
      if (column_ == nullptr || column_->kind != Kind::kInteger) {
        if (other(entities[i])) out[kept++] = entities[i];
        ++i;
        continue;
      }
      // The run of entities of this group, against its integer column.
      const std::uint64_t* valid = column_->valid.data();
      const std::uint64_t* words = column_->words.data();
      for (; i < n; ++i) {
        const std::uint32_t entity = entities[i];
        if (store_->group_of(entity) != group) break;
        const std::uint64_t row = store_->row_of(entity);
        const bool ok = valid[row >> 6] >> (row & 63) & 1 ? keep(static_cast<std::int64_t>(words[row])) : other(entity);
        out[kept] = entity;
        kept += ok;
      }
    }
    return kept;
  }

  // The value of the key on `entity` (null when absent), as get() and
  // from_property would give it.
  CypherValue value(PropertyStore::Entity entity);

 private:
  void locate(std::uint16_t group);

  const PropertyStore* store_;
  std::uint32_t key_;
  std::uint32_t group_ = UINT32_MAX;  // the group column_ and in_records_ describe
  std::uint64_t generation_ = 0;      // the store's generation they were read at
  const PropertyStore::Column* column_ = nullptr;
  bool in_records_ = false;
  std::uint64_t word_ = 0;
};

}  // namespace orvane
