// PropertyStore: the key dictionary, entities, reads and writes.
//
// A value is in its pair's column when the column's valid bit is set for
// the entity's row, else in the entity's records when the pair's
// in_records count is not zero (a lookup reads records only then), else
// absent. A value is never in both places: every write clears the place it
// does not use. Records are rewritten whole on every write (the new bytes
// appended, the old ones counted as garbage): an entity holds few values in
// its records, and an append-only buffer keeps one write from shifting the
// records of the entities after it.
#include "graph/property_store.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/utf8.h"

namespace orvane {

using namespace property_codec;

namespace {

constexpr std::uint64_t kCompactAbove = 1 << 20;  // garbage bytes tolerated before records are compacted

Reader reader_of(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  return Reader{p, p + bytes.size()};
}

// Equality for same_properties: a float equals itself even when it is NaN,
// so that a store compares equal to its own copy.
bool same_value(const Value& a, const Value& b) {
  if (a.is<double>() && b.is<double>()) {
    const double x = a.as<double>(), y = b.as<double>();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  if (a.is<ValueList>() && b.is<ValueList>()) {
    const ValueList& x = a.as<ValueList>();
    const ValueList& y = b.as<ValueList>();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (!same_value(x[i], y[i])) return false;
    return true;
  }
  return a == b;
}

}  // namespace

PropertyStore::PropertyStore() = default;

std::uint64_t PropertyStore::next_generation() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

// ------------------------------------------------------------ dictionary

std::uint32_t PropertyStore::intern_key(std::string_view name) {
  // A bulk load interns the same keys in the same order entity after
  // entity: the key after the previous one, or the first, usually answers.
  for (const std::uint32_t guess : {next_key_, 0u}) {
    if (guess < key_names_.size() && key_names_[guess] == name) {
      next_key_ = guess + 1;
      return guess;
    }
  }
  if (const auto it = key_ids_.find(name); it != key_ids_.end()) {
    next_key_ = it->second + 1;
    return it->second;
  }
  require_utf8(name);
  if (key_names_.size() >= kNoPropertyKey - 1) throw std::length_error("too many property keys");
  const auto id = static_cast<std::uint32_t>(key_names_.size());
  key_names_.emplace_back(name);
  key_ids_.emplace(key_names_.back(), id);
  return id;
}

std::uint32_t PropertyStore::find_key(std::string_view name) const {
  const auto it = key_ids_.find(name);
  return it == key_ids_.end() ? kNoPropertyKey : it->second;
}

// ------------------------------------------------------------- entities

void PropertyStore::append(std::uint16_t group) {
  if (size() >= UINT32_MAX) throw std::length_error("too many entities");
  if (group >= groups_.size()) groups_.resize(std::size_t{group} + 1);
  Group& g = groups_[group];
  const auto entity = static_cast<std::uint32_t>(size());
  row_of_.push_back(static_cast<std::uint32_t>(g.members.size()));
  g.members.push_back(entity);
  group_of_.push_back(group);
  slot_.push_back(kNoRecords);
  for (const KeyInfo& k : g.keys)
    if (k.column != UINT32_MAX) column_resize(columns_[k.column], g.members.size());
  changed();
}

void PropertyStore::reserve(std::uint64_t entities) {
  // At least doubling: callers that add entities one at a time reserve one
  // more each time, which an exact reserve would make a copy of the whole
  // store per entity.
  if (entities <= group_of_.capacity() && entities <= row_of_.capacity() && entities <= slot_.capacity()) return;
  const std::uint64_t wanted = std::max<std::uint64_t>(entities, 2 * group_of_.capacity());
  group_of_.reserve(wanted);
  row_of_.reserve(wanted);
  slot_.reserve(wanted);
}

std::uint64_t PropertyStore::group_size(std::uint16_t group) const {
  return group < groups_.size() ? groups_[group].members.size() : 0;
}

void PropertyStore::truncate(std::uint64_t count) {
  if (count >= size()) return;
  for (std::uint64_t e = size(); e-- > count;) {
    Group& g = groups_[group_of_[e]];
    for (const KeyInfo& k : g.keys)
      if (k.column != UINT32_MAX) column_clear(columns_[k.column], row_of_[e]);
    if (slot_[e] != kNoRecords) {
      Reader in = reader_of(records_of(e));
      while (!in.done()) {
        info_for_write(group_of_[e], static_cast<std::uint32_t>(in.varint())).in_records--;
        skip_value(in);
      }
      install_records(e, {});
    }
    g.members.pop_back();
  }
  for (Column& c : columns_) column_resize(c, groups_[c.group].members.size());
  group_of_.resize(count);
  row_of_.resize(count);
  slot_.resize(count);
  changed();
}

// --------------------------------------------------------------- lookup

const PropertyStore::KeyInfo* PropertyStore::info(std::uint16_t group, std::uint32_t key) const {
  if (group >= groups_.size()) return nullptr;
  const std::vector<KeyInfo>& keys = groups_[group].keys;
  const auto it = std::lower_bound(keys.begin(), keys.end(), key, [](const KeyInfo& k, std::uint32_t id) { return k.key < id; });
  return it != keys.end() && it->key == key ? &*it : nullptr;
}

PropertyStore::KeyInfo& PropertyStore::info_for_write(std::uint16_t group, std::uint32_t key) {
  std::vector<KeyInfo>& keys = groups_[group].keys;
  const auto it = std::lower_bound(keys.begin(), keys.end(), key, [](const KeyInfo& k, std::uint32_t id) { return k.key < id; });
  if (it != keys.end() && it->key == key) return *it;
  return *keys.insert(it, KeyInfo{key, UINT32_MAX, 0});
}

const PropertyStore::Column* PropertyStore::column(std::uint16_t group, std::uint32_t key) const {
  const KeyInfo* k = info(group, key);
  return k && k->column != UINT32_MAX ? &columns_[k->column] : nullptr;
}

PropertyStore::Placement PropertyStore::placement(std::uint16_t group, std::uint32_t key) const {
  const KeyInfo* k = info(group, key);
  if (!k) return {};
  return {k->column != UINT32_MAX ? &columns_[k->column] : nullptr, k->in_records != 0};
}

bool PropertyStore::has_column(std::uint16_t group, std::uint32_t key) const { return column(group, key) != nullptr; }

std::string_view PropertyStore::records_of(Entity entity) const {
  if (slot_[entity] == kNoRecords) return {};
  Reader in = reader_of(std::string_view(records_).substr(slot_[entity]));
  const std::uint64_t length = in.varint();
  return in.bytes(length);
}

const std::uint8_t* PropertyStore::find_record(Entity entity, std::uint32_t key) const {
  Reader in = reader_of(records_of(entity));
  while (!in.done()) {
    const std::uint64_t k = in.varint();
    if (k == key) return in.p;
    if (k > key) return nullptr;
    skip_value(in);
  }
  return nullptr;
}

// ---------------------------------------------------------------- reads

Value PropertyStore::get(Entity entity, std::uint32_t key) const {
  const KeyInfo* k = info(group_of_[entity], key);
  if (!k) return Value();
  if (k->column != UINT32_MAX && column_has(columns_[k->column], row_of_[entity])) {
    return column_get(columns_[k->column], row_of_[entity]);
  }
  if (k->in_records == 0) return Value();
  const std::uint8_t* at = find_record(entity, key);
  if (!at) return Value();
  Reader in{at, reinterpret_cast<const std::uint8_t*>(records_.data()) + records_.size()};
  return decode_value(in);
}

bool PropertyStore::has(Entity entity, std::uint32_t key) const {
  const KeyInfo* k = info(group_of_[entity], key);
  if (!k) return false;
  if (k->column != UINT32_MAX && column_has(columns_[k->column], row_of_[entity])) return true;
  return k->in_records != 0 && find_record(entity, key) != nullptr;
}

std::vector<std::pair<std::uint32_t, Value>> PropertyStore::entries(Entity entity) const {
  std::vector<std::pair<std::uint32_t, Value>> out;
  for (const KeyInfo& k : groups_[group_of_[entity]].keys) {
    if (k.column != UINT32_MAX && column_has(columns_[k.column], row_of_[entity])) {
      out.emplace_back(k.key, column_get(columns_[k.column], row_of_[entity]));
    }
  }
  const std::size_t from_columns = out.size();
  Reader in = reader_of(records_of(entity));
  while (!in.done()) {
    const auto key = static_cast<std::uint32_t>(in.varint());
    out.emplace_back(key, decode_value(in));
  }
  // Both runs are sorted by key id already.
  std::inplace_merge(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(from_columns), out.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

void PropertyStore::for_each(Entity entity, const std::function<void(std::uint32_t, const Value&)>& each) const {
  for (const auto& [key, value] : entries(entity)) each(key, value);
}

std::size_t PropertyStore::count(Entity entity) const {
  std::size_t n = 0;
  for (const KeyInfo& k : groups_[group_of_[entity]].keys)
    n += k.column != UINT32_MAX && column_has(columns_[k.column], row_of_[entity]);
  Reader in = reader_of(records_of(entity));
  while (!in.done()) in.varint(), skip_value(in), ++n;
  return n;
}

nlohmann::json PropertyStore::to_json(Entity entity) const {
  nlohmann::json out = nlohmann::json::object();
  for (const auto& [key, value] : entries(entity)) out[key_names_[key]] = to_typed_json(value);
  return out;
}

bool PropertyStore::same_properties(Entity entity, const PropertyStore& other, Entity other_entity) const {
  auto named = [](const PropertyStore& store, Entity e) {
    std::vector<std::pair<const std::string*, Value>> out;
    for (auto& [key, value] : store.entries(e)) out.emplace_back(&store.key_names_[key], std::move(value));
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
    return out;
  };
  const auto mine = named(*this, entity);
  const auto theirs = named(other, other_entity);
  if (mine.size() != theirs.size()) return false;
  for (std::size_t i = 0; i < mine.size(); ++i) {
    if (*mine[i].first != *theirs[i].first || !same_value(mine[i].second, theirs[i].second)) return false;
  }
  return true;
}

// --------------------------------------------------------------- writes

void PropertyStore::install_records(Entity entity, std::string_view encoded) {
  if (slot_[entity] != kNoRecords) {
    const std::size_t length = records_of(entity).size();
    std::string prefix;
    put_varint(prefix, length);
    garbage_ += prefix.size() + length;
  }
  if (encoded.empty()) {
    slot_[entity] = kNoRecords;
  } else {
    slot_[entity] = records_.size();
    put_varint(records_, encoded.size());
    records_ += encoded;
  }
  if (garbage_ > kCompactAbove && garbage_ * 2 > records_.size()) compact_records();
}

void PropertyStore::compact_records() {
  std::string fresh;
  fresh.reserve(records_.size() - garbage_);
  for (Entity e = 0; e < size(); ++e) {
    if (slot_[e] == kNoRecords) continue;
    const std::string_view records = records_of(e);
    slot_[e] = fresh.size();
    put_varint(fresh, records.size());
    fresh += records;
  }
  records_ = std::move(fresh);
  garbage_ = 0;
}

void PropertyStore::remove_from_records(Entity entity, std::uint32_t key) {
  scratch_.clear();
  Reader in = reader_of(records_of(entity));
  while (!in.done()) {
    const std::uint8_t* record = in.p;
    const std::uint64_t k = in.varint();
    skip_value(in);
    if (k != key) scratch_.append(reinterpret_cast<const char*>(record), static_cast<std::size_t>(in.p - record));
  }
  install_records(entity, scratch_);
}

void PropertyStore::set(Entity entity, std::uint32_t key, const Value& value) {
  check_value(value);
  const std::uint16_t group = group_of_[entity];
  const std::uint32_t row = row_of_[entity];
  if (value.is_null() && !info(group, key)) return;
  KeyInfo& k = info_for_write(group, key);
  Column* c = k.column != UINT32_MAX ? &columns_[k.column] : nullptr;
  const bool in_records = k.in_records != 0 && find_record(entity, key) != nullptr;
  changed();
  if (value.is_null() || (c && c->kind == kind_of_tag(tag_of(value)))) {
    if (in_records) remove_from_records(entity, key), --k.in_records;
    if (c && value.is_null()) column_clear(*c, row);
    if (c && !value.is_null()) column_set(*c, row, value);
    return;
  }
  if (c) column_clear(*c, row);
  std::string encoded;
  encode_value(encoded, value);
  scratch_.clear();
  bool written = false;
  Reader in = reader_of(records_of(entity));
  while (!in.done()) {
    const std::uint8_t* record = in.p;
    const std::uint64_t at = in.varint();
    skip_value(in);
    if (at > key && !written) put_varint(scratch_, key), scratch_ += encoded, written = true;
    if (at != key) scratch_.append(reinterpret_cast<const char*>(record), static_cast<std::size_t>(in.p - record));
  }
  if (!written) put_varint(scratch_, key), scratch_ += encoded;
  install_records(entity, scratch_);
  if (!in_records) ++k.in_records;
}

void PropertyStore::remove(Entity entity, std::uint32_t key) { set(entity, key, Value()); }

void PropertyStore::clear(Entity entity) {
  const std::uint16_t group = group_of_[entity];
  for (const KeyInfo& k : groups_[group].keys)
    if (k.column != UINT32_MAX) column_clear(columns_[k.column], row_of_[entity]);
  Reader in = reader_of(records_of(entity));
  while (!in.done()) {
    info_for_write(group, static_cast<std::uint32_t>(in.varint())).in_records--;
    skip_value(in);
  }
  if (slot_[entity] != kNoRecords) install_records(entity, {});
  changed();
}

void PropertyStore::set_all(Entity entity, std::vector<std::pair<std::uint32_t, Value>> entries) {
  for (const auto& entry : entries) check_value(entry.second);
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  clear(entity);
  const std::uint16_t group = group_of_[entity];
  std::string& encoded = scratch_;  // reused: a bulk load calls this once an entity
  encoded.clear();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [key, value] = entries[i];
    if (value.is_null() || (i + 1 < entries.size() && entries[i + 1].first == key)) continue;  // the last one wins
    KeyInfo& k = info_for_write(group, key);
    if (k.column != UINT32_MAX && columns_[k.column].kind == kind_of_tag(tag_of(value))) {
      column_set(columns_[k.column], row_of_[entity], value);
      continue;
    }
    put_varint(encoded, key);
    encode_value(encoded, value);
    ++k.in_records;
  }
  if (!encoded.empty()) install_records(entity, encoded);
}

void PropertyStore::set_all_from_json(Entity entity, const nlohmann::json& object) {
  if (!object.is_object()) throw std::runtime_error("properties must be a JSON object");
  std::vector<std::pair<const std::string*, Value>> checked;
  checked.reserve(object.size());
  for (const auto& [name, json] : object.items()) {
    require_utf8(name);
    Value value = from_typed_json(json);
    check_value(value);
    checked.emplace_back(&name, std::move(value));
  }
  std::vector<std::pair<std::uint32_t, Value>> entries;
  entries.reserve(checked.size());
  for (auto& [name, value] : checked) entries.emplace_back(intern_key(*name), std::move(value));
  set_all(entity, std::move(entries));
}

// --------------------------------------------------------------- memory

std::size_t PropertyStore::memory_bytes() const {
  std::size_t bytes = sizeof *this;
  for (const std::string& name : key_names_) bytes += sizeof name + (name.size() > 15 ? name.capacity() : 0);
  bytes += key_ids_.size() * (sizeof(std::string) + 32) + key_ids_.bucket_count() * sizeof(void*);
  bytes += group_of_.capacity() * sizeof(std::uint16_t) + row_of_.capacity() * sizeof(std::uint32_t);
  bytes += slot_.capacity() * sizeof(std::uint64_t) + records_.capacity() + scratch_.capacity();
  for (const Group& g : groups_) {
    bytes += sizeof g + g.members.capacity() * sizeof(std::uint32_t) + g.keys.capacity() * sizeof(KeyInfo);
  }
  for (const Column& c : columns_) {
    bytes += sizeof c + (c.valid.capacity() + c.words.capacity()) * sizeof(std::uint64_t) + c.heap.capacity();
  }
  return bytes;
}

}  // namespace orvane
