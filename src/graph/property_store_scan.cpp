// PropertyStore: organise() and the scans.
//
// organise() applies the placement rule: a (group, key) pair gets a column
// when at least half of the group's entities hold the key and every value
// of it has one columnable type (INTEGER, FLOAT, BOOLEAN, STRING, DATE,
// LOCAL TIME). Half is where a column stops costing more than it saves: a
// column spends one word and one bit on every row, held or not, while a
// value in the records costs its key id, tag and payload (about 3 to 10
// bytes for a number) and slows every lookup of the entity's later keys.
// Columns that keep their pair and type are moved, not copied; only values
// whose place changes are decoded, and the records are rewritten in entity
// order without garbage. Cost: one pass over the records, plus the values
// that move.
//
// A scan walks the column's validity bitmap a word at a time when no entity
// of the group holds the key in its records (the common case after
// organise()), and otherwise walks every row, reading the records of rows
// the column does not hold. Either way entities come out in ascending
// order, because rows are numbered in the order entities were appended.
#include <algorithm>
#include <bit>

#include "graph/property_store.h"

namespace orvane {

using namespace property_codec;

namespace {

using Kind = PropertyStore::Kind;

struct Stat {
  std::uint64_t count = 0;   // entities holding the key
  Kind kind = Kind::kNone;   // the one type they hold, when not `mixed`
  bool mixed = false;        // types differ, or one has no column kind
  void add(Kind k, std::uint64_t n) {
    if (n == 0) return;
    count += n;
    if (k == Kind::kNone || (kind != Kind::kNone && kind != k)) mixed = true;
    kind = k;
  }
  bool wants_column(std::uint64_t rows) const { return count > 0 && !mixed && count * 2 >= rows; }
};

std::size_t index_of(const std::vector<PropertyStore::KeyInfo>& keys, std::uint64_t key) {
  const auto it = std::lower_bound(keys.begin(), keys.end(), key,
                                   [](const PropertyStore::KeyInfo& k, std::uint64_t id) { return k.key < id; });
  return static_cast<std::size_t>(it - keys.begin());
}

Reader reader_of(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  return Reader{p, p + bytes.size()};
}

}  // namespace

void PropertyStore::organise() {
  if (!dirty_) return;
  // Pass 1: who holds what, by (group, key) pair; stats[g] runs parallel to groups_[g].keys.
  std::vector<std::vector<Stat>> stats(groups_.size());
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    stats[g].resize(groups_[g].keys.size());
    for (std::size_t i = 0; i < groups_[g].keys.size(); ++i) {
      const KeyInfo& k = groups_[g].keys[i];
      if (k.column != UINT32_MAX) stats[g][i].add(columns_[k.column].kind, columns_[k.column].held);
    }
  }
  for (Entity e = 0; e < size(); ++e) {
    Reader in = reader_of(records_of(e));
    const auto& keys = groups_[group_of_[e]].keys;
    while (!in.done()) {
      const std::size_t i = index_of(keys, in.varint());
      stats[group_of_[e]][i].add(kind_of_tag(*in.p), 1);
      skip_value(in);
    }
  }
  // The new placement: new_column[g][i] is the pair's column in `fresh`.
  std::vector<Column> fresh;
  std::vector<std::vector<std::uint32_t>> new_column(groups_.size());
  std::vector<std::vector<bool>> kept_column(groups_.size());  // parallel to keys: the column moved to `fresh` whole
  bool changed = false;
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    const auto rows = groups_[g].members.size();
    new_column[g].assign(groups_[g].keys.size(), UINT32_MAX);
    kept_column[g].assign(groups_[g].keys.size(), false);
    for (std::size_t i = 0; i < groups_[g].keys.size(); ++i) {
      const KeyInfo& k = groups_[g].keys[i];
      const Stat& s = stats[g][i];
      const bool want = s.wants_column(rows);
      const bool kept = want && k.column != UINT32_MAX && columns_[k.column].kind == s.kind;
      changed |= want != (k.column != UINT32_MAX) || (want && !kept) || (want && k.in_records != 0);
      if (!want) continue;
      new_column[g][i] = static_cast<std::uint32_t>(fresh.size());
      if (kept) {
        kept_column[g][i] = true;
        fresh.push_back(std::move(columns_[k.column]));
      } else {
        Column& c = fresh.emplace_back();
        c.group = static_cast<std::uint16_t>(g), c.key = k.key, c.kind = s.kind;
        column_resize(c, rows);
      }
    }
  }
  if (!changed) {
    // Nothing moves: put back the columns taken out above.
    for (std::size_t g = 0; g < groups_.size(); ++g)
      for (std::size_t i = 0; i < groups_[g].keys.size(); ++i)
        if (new_column[g][i] != UINT32_MAX) columns_[groups_[g].keys[i].column] = std::move(fresh[new_column[g][i]]);
    if (garbage_ != 0) compact_records();
    dirty_ = false;
    generation_ = next_generation();
    return;
  }
  // Pass 2: every entity's values to their new place; records rewritten in entity order.
  std::string records;
  records.reserve(records_.size() - garbage_);
  std::string moved;  // this entity's values leaving a column, as records
  std::vector<std::pair<std::uint64_t, std::string_view>> parts;  // (key, record bytes), to be sorted
  std::vector<std::pair<std::uint64_t, std::size_t>> moved_at;    // (key, start in `moved`)
  for (std::size_t g = 0; g < groups_.size(); ++g)
    for (KeyInfo& k : groups_[g].keys) k.in_records = 0;
  for (Entity e = 0; e < size(); ++e) {
    const std::uint16_t g = group_of_[e];
    const std::uint32_t row = row_of_[e];
    std::vector<KeyInfo>& keys = groups_[g].keys;
    moved.clear(), moved_at.clear(), parts.clear();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::uint32_t old = keys[i].column, now = new_column[g][i];
      // No column before, or the column was kept and moved to `fresh` whole.
      if (old == UINT32_MAX || kept_column[g][i] || !column_has(columns_[old], row)) continue;
      const Value value = column_get(columns_[old], row);
      if (now != UINT32_MAX) {
        column_set(fresh[now], row, value);
      } else {
        moved_at.emplace_back(keys[i].key, moved.size());
        encode_value(moved, value);
      }
    }
    Reader in = reader_of(records_of(e));
    while (!in.done()) {
      const std::uint8_t* record = in.p;
      const std::uint64_t key = in.varint();
      const std::size_t i = index_of(keys, key);
      if (new_column[g][i] != UINT32_MAX) {
        column_set(fresh[new_column[g][i]], row, decode_value(in));
      } else {
        skip_value(in);
        parts.emplace_back(key, std::string_view(reinterpret_cast<const char*>(record),
                                                 static_cast<std::size_t>(in.p - record)));
        ++keys[i].in_records;
      }
    }
    std::string encoded;
    for (std::size_t m = 0; m < moved_at.size(); ++m) {
      const std::size_t end = m + 1 < moved_at.size() ? moved_at[m + 1].second : moved.size();
      put_varint(encoded, moved_at[m].first);
      encoded.append(moved, moved_at[m].second, end - moved_at[m].second);
      ++keys[index_of(keys, moved_at[m].first)].in_records;
    }
    // `encoded` holds whole records now; list them as parts and sort all by key.
    for (Reader r = reader_of(encoded); !r.done();) {
      const std::uint8_t* record = r.p;
      const std::uint64_t key = r.varint();
      skip_value(r);
      parts.emplace_back(key, std::string_view(reinterpret_cast<const char*>(record), static_cast<std::size_t>(r.p - record)));
    }
    if (!moved_at.empty()) std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (parts.empty()) {
      slot_[e] = kNoRecords;
      continue;
    }
    std::size_t length = 0;
    for (const auto& part : parts) length += part.second.size();
    slot_[e] = records.size();
    put_varint(records, length);
    for (const auto& part : parts) records += part.second;
  }
  records_ = std::move(records);
  garbage_ = 0;
  columns_ = std::move(fresh);
  // After a bulk load the string heaps grew by doubling, and the records were
  // reserved for every value before most of them moved to columns: give back
  // the slack.
  records_.shrink_to_fit();
  for (Column& c : columns_) c.heap.shrink_to_fit();
  // Forget pairs that hold nothing any more.
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    std::vector<KeyInfo>& keys = groups_[g].keys;
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i].column = new_column[g][i];
    std::erase_if(keys, [](const KeyInfo& k) { return k.column == UINT32_MAX && k.in_records == 0; });
  }
  dirty_ = false;
  generation_ = next_generation();
}

// ------------------------------------------------------------------ scans

void PropertyStore::scan_words(std::uint16_t group, std::uint32_t key, std::uint8_t tag,
                               const std::function<void(const Entity*, const std::uint64_t*, std::size_t)>& each) const {
  const KeyInfo* k = info(group, key);
  if (!k) return;
  const Kind kind = kind_of_tag(tag);
  const std::vector<std::uint32_t>& members = groups_[group].members;
  const Column* c = k->column != UINT32_MAX ? &columns_[k->column] : nullptr;
  const bool column_matches = c && c->kind == kind;
  Entity entities[kBatch];
  std::uint64_t words[kBatch];
  std::size_t n = 0;
  auto word_at = [&](std::uint64_t row) {
    return kind == Kind::kBoolean ? c->words[row >> 6] >> (row & 63) & 1 : c->words[row];
  };
  auto emit = [&](std::uint64_t row, std::uint64_t word) {
    entities[n] = members[row];
    words[n] = word;
    if (++n == kBatch) each(entities, words, n), n = 0;
  };
  if (k->in_records == 0) {
    if (!column_matches) return;
    for (std::size_t w = 0; w < c->valid.size(); ++w) {
      for (std::uint64_t bits = c->valid[w]; bits != 0; bits &= bits - 1) {
        const std::uint64_t row = w * 64 + static_cast<std::uint64_t>(std::countr_zero(bits));
        emit(row, word_at(row));
      }
    }
  } else {
    const auto* end = reinterpret_cast<const std::uint8_t*>(records_.data()) + records_.size();
    for (std::uint64_t row = 0; row < members.size(); ++row) {
      if (c && column_has(*c, row)) {
        if (column_matches) emit(row, word_at(row));
        continue;
      }
      const std::uint8_t* at = find_record(members[row], key);
      if (!at) continue;
      Reader in{at, end};
      const std::uint8_t found = in.byte();
      if (kind == Kind::kBoolean ? found == kTrue || found == kFalse : found == tag) {
        emit(row, kind == Kind::kBoolean ? found == kTrue
                  : kind == Kind::kFloat ? std::bit_cast<std::uint64_t>(in.float64())
                                         : static_cast<std::uint64_t>(in.zigzag()));
      }
    }
  }
  if (n != 0) each(entities, words, n);
}

namespace {

// The typed scans' batches: the words converted to the scan's value type.
template <typename T, typename Batch>
std::function<void(const PropertyStore::Entity*, const std::uint64_t*, std::size_t)> converter(
    const std::function<void(const Batch&)>& each) {
  return [&each](const PropertyStore::Entity* entities, const std::uint64_t* words, std::size_t n) {
    T values[PropertyStore::kBatch];
    for (std::size_t i = 0; i < n; ++i) values[i] = std::bit_cast<T>(words[i]);
    each(Batch{entities, values, n});
  };
}

}  // namespace

void PropertyStore::scan_int_batches(std::uint16_t group, std::uint32_t key,
                                     const std::function<void(const IntBatch&)>& each) const {
  scan_words(group, key, kInteger, converter<std::int64_t>(each));
}
void PropertyStore::scan_float_batches(std::uint16_t group, std::uint32_t key,
                                       const std::function<void(const FloatBatch&)>& each) const {
  scan_words(group, key, kFloat, converter<double>(each));
}
void PropertyStore::scan_bool_batches(std::uint16_t group, std::uint32_t key,
                                      const std::function<void(const IntBatch&)>& each) const {
  scan_words(group, key, kTrue, converter<std::int64_t>(each));
}
void PropertyStore::scan_date_batches(std::uint16_t group, std::uint32_t key,
                                      const std::function<void(const IntBatch&)>& each) const {
  scan_words(group, key, kDate, converter<std::int64_t>(each));
}
void PropertyStore::scan_local_time_batches(std::uint16_t group, std::uint32_t key,
                                            const std::function<void(const IntBatch&)>& each) const {
  scan_words(group, key, kLocalTime, converter<std::int64_t>(each));
}

void PropertyStore::scan(std::uint16_t group, std::uint32_t key,
                         const std::function<void(Entity, const Value&)>& each) const {
  const KeyInfo* k = info(group, key);
  if (!k) return;
  const std::vector<std::uint32_t>& members = groups_[group].members;
  const Column* c = k->column != UINT32_MAX ? &columns_[k->column] : nullptr;
  const auto* end = reinterpret_cast<const std::uint8_t*>(records_.data()) + records_.size();
  for (std::uint64_t row = 0; row < members.size(); ++row) {
    if (c && column_has(*c, row)) {
      each(members[row], column_get(*c, row));
    } else if (k->in_records != 0) {
      if (const std::uint8_t* at = find_record(members[row], key)) {
        Reader in{at, end};
        each(members[row], decode_value(in));
      }
    }
  }
}

}  // namespace orvane
