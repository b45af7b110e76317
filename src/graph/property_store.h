// orvane::PropertyStore: the typed properties of one kind of entity (nodes,
// or relationships), laid out for scans.
//
// Entities are numbered 0 … size()-1 densely (node or relationship
// identity), and each belongs to a group fixed when it is appended (the
// node's first label, the relationship's type). Values live in one of two
// places:
//
//   columns   for a (group, key) pair that most of the group's entities hold
//             with one scalar type (INTEGER, FLOAT, BOOLEAN, STRING, DATE,
//             LOCAL TIME): a validity bitmap by row and one 64-bit word by
//             row (the integer, the float's bits, the days or nanoseconds,
//             or a string's offset into the column's byte heap; booleans a
//             bit by row). A row is the entity's position within its group.
//   records   every other value, in the entity's records: one byte buffer
//             for the whole store, each entity's records contiguous and
//             sorted by key id (varint key id | tag | payload), found
//             through the entity's slot. A write appends the entity's new
//             records and leaves the old bytes as garbage, compacted once
//             garbage passes half of the buffer.
//
// Per (group, key) the store counts the entities holding that key in their
// records, so that lookups and scans read records only where such entities
// exist. Which pairs get columns is decided by organise() from the data
// (at least half of the group's entities, one columnable type); between two
// calls a write puts a value in its pair's column when the column takes its
// type and in the records otherwise, so placement never changes what any
// read returns.
//
// A write checks before it changes anything: when it throws, the store is
// as it was. Const members may run on any number of threads at once;
// writes need exclusive access. Requires throughout: entity < size() and
// key < key_count() where a member takes them, unless its contract says
// otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "graph/value.h"

namespace orvane {

inline constexpr std::uint32_t kNoPropertyKey = UINT32_MAX;  // find_key's answer for an unknown name

class PropertyStore {
 public:
  using Entity = std::uint64_t;  // node or relationship identity
  static constexpr std::size_t kBatch = 1024;  // most entries one scan batch carries

  // One batch of a typed scan: `size` entities in ascending order and their
  // values, valid only during the callback.
  struct IntBatch {
    const Entity* entities;
    const std::int64_t* values;
    std::size_t size;
  };
  struct FloatBatch {
    const Entity* entities;
    const double* values;
    std::size_t size;
  };

  PropertyStore();

  // ---- key dictionary
  // The id of key `name`, added when new (ids are dense, in first-seen
  // order). Throws std::runtime_error "text is not valid UTF-8" when `name`
  // is not valid UTF-8, and std::length_error "too many property keys" past
  // 2^32-2 keys.
  std::uint32_t intern_key(std::string_view name);
  // The id of `name`, or kNoPropertyKey when no entity ever had it interned.
  std::uint32_t find_key(std::string_view name) const;
  // The name of key id `key`. Requires: key < key_count().
  const std::string& key_name(std::uint32_t key) const { return key_names_[key]; }
  std::uint32_t key_count() const { return static_cast<std::uint32_t>(key_names_.size()); }

  // ---- entities
  // Adds entity size() to `group` with no properties. Throws
  // std::length_error "too many entities" past 2^32-1 entities.
  void append(std::uint16_t group);
  void reserve(std::uint64_t entities);
  std::uint64_t size() const { return group_of_.size(); }
  std::uint16_t group_of(Entity entity) const { return group_of_[entity]; }
  // Entities of `group` (0 when none was ever appended to it).
  std::uint64_t group_size(std::uint16_t group) const;
  // One past the highest group any entity was appended to (0 when none).
  std::uint32_t group_count() const { return static_cast<std::uint32_t>(groups_.size()); }
  // Drops entities count … size()-1 with their properties; keys stay
  // interned. Does nothing when count >= size().
  void truncate(std::uint64_t count);

  // ---- reads
  // The value of `key` on `entity`: a null Value when absent.
  Value get(Entity entity, std::uint32_t key) const;
  bool has(Entity entity, std::uint32_t key) const;
  // The entity's (key id, value) pairs in ascending key id order.
  std::vector<std::pair<std::uint32_t, Value>> entries(Entity entity) const;
  void for_each(Entity entity, const std::function<void(std::uint32_t key, const Value&)>& each) const;
  std::size_t count(Entity entity) const;
  // The typed JSON object (to_typed_json) of the entity's properties, keys
  // in ascending byte order; {} for none.
  nlohmann::json to_json(Entity entity) const;
  // True when `entity` here and `other_entity` in `other` hold the same key
  // names with equal values (floats compared by value, NaN equal to NaN).
  bool same_properties(Entity entity, const PropertyStore& other, Entity other_entity) const;

  // ---- writes
  // Sets `key` on `entity`; a null value removes it. Throws
  // std::runtime_error "text is not valid UTF-8" for a string or zone id
  // that is not, and "invalid property value: REASON" for a list holding a
  // null, a list or mixed types, or a temporal or point field out of its
  // range (a date beyond ±2^50 days, a time of day outside 0 … 24h, a
  // nanosecond field outside 0 … 999999999, an offset beyond ±18h, an
  // unknown SRID).
  void set(Entity entity, std::uint32_t key, const Value& value);
  void remove(Entity entity, std::uint32_t key);
  void clear(Entity entity);
  // Replaces all of the entity's properties with `entries` (null values
  // skipped; of a repeated key the last wins). Throws as set() does.
  void set_all(Entity entity, std::vector<std::pair<std::uint32_t, Value>> entries);
  // Replaces all of the entity's properties with typed JSON object `object`
  // (from_typed_json; a null member is no property). Throws
  // std::runtime_error "properties must be a JSON object" for anything
  // else, "text is not valid UTF-8" for a key that is not, and the
  // messages of from_typed_json and set(). Keys are interned only once
  // every member has been checked.
  void set_all_from_json(Entity entity, const nlohmann::json& object);

  // Re-decides which (group, key) pairs get columns from the current data
  // and moves values between columns and records; compacts the records.
  // Costs nothing when nothing was written since the last call.
  void organise();

  // ---- scans
  // Each reports, in ascending entity order, every entity of `group` whose
  // value for `key` has exactly the scan's type: scan_int INTEGER only (a
  // FLOAT 3.0 is never reported, nor an INTEGER to scan_float), scan_bool
  // BOOLEAN as 0/1, scan_date DATE as days since 1970-01-01, scan_local_time
  // LOCAL TIME as nanoseconds of the day. Values of other types and absent
  // keys are skipped. An unknown group or key (kNoPropertyKey included)
  // reports nothing. The column is walked directly; records are read only
  // for the entities of the group that hold `key` there.
  void scan_int_batches(std::uint16_t group, std::uint32_t key, const std::function<void(const IntBatch&)>& each) const;
  void scan_float_batches(std::uint16_t group, std::uint32_t key,
                          const std::function<void(const FloatBatch&)>& each) const;
  void scan_bool_batches(std::uint16_t group, std::uint32_t key, const std::function<void(const IntBatch&)>& each) const;
  void scan_date_batches(std::uint16_t group, std::uint32_t key, const std::function<void(const IntBatch&)>& each) const;
  void scan_local_time_batches(std::uint16_t group, std::uint32_t key,
                               const std::function<void(const IntBatch&)>& each) const;
  // Every entity of `group` holding `key`, whatever the type, with its value.
  void scan(std::uint16_t group, std::uint32_t key, const std::function<void(Entity, const Value&)>& each) const;

  // One call per entity over the batches above.
  template <typename F>
  void scan_int(std::uint16_t group, std::uint32_t key, F&& each) const {
    scan_int_batches(group, key, [&](const IntBatch& b) { for (std::size_t i = 0; i < b.size; ++i) each(b.entities[i], b.values[i]); });
  }
  template <typename F>
  void scan_float(std::uint16_t group, std::uint32_t key, F&& each) const {
    scan_float_batches(group, key, [&](const FloatBatch& b) { for (std::size_t i = 0; i < b.size; ++i) each(b.entities[i], b.values[i]); });
  }

  // Where `key` lives in `group`, for readers of one key on many entities
  // (property_key_reader.h): its column, or null, and whether some entity
  // of the group holds it in its records. Both empty for an unknown group
  // or key. Valid until the next write.
  struct Placement;
  Placement placement(std::uint16_t group, std::uint32_t key) const;
  // The entity's row within its group (its place in the group's columns).
  std::uint64_t row_of(Entity entity) const { return row_of_[entity]; }
  // Changes with every write: a placement read at one generation is valid
  // while the store's generation is the same. Unique across stores.
  std::uint64_t generation() const { return generation_; }

  // Approximate heap bytes the store holds (capacities, not sizes).
  std::size_t memory_bytes() const;
  // Whether (group, key) has a column; for tests and EXPLAIN-like reports.
  bool has_column(std::uint16_t group, std::uint32_t key) const;

  // ---- snapshot
  // Writes the store as a sequence of little-endian blocks (the layout is
  // in property_store_file.cpp), each through one or a few calls of `put`;
  // record garbage is left out. Requires: `put` copies or writes the bytes
  // before it returns.
  void write(const std::function<void(const void* data, std::size_t size)>& put) const;
  // Reads what write() wrote, `available` bytes at most, through `get`,
  // which must fill `data` with the next `size` bytes (read() never asks
  // for more than `available` in total). Every count is checked against
  // `max_entities` and the bytes left before anything is allocated, and
  // every slot, record, column and string is validated. Throws
  // std::runtime_error "snapshot properties: REASON" for anything a
  // corrupt or hostile input can break; exceptions of `get` pass through.
  static PropertyStore read(const std::function<void(void* data, std::size_t size)>& get, std::uint64_t available,
                            std::uint64_t max_entities);
  // read() over bytes in memory, which must hold exactly one store.
  static PropertyStore read_bytes(std::string_view bytes, std::uint64_t max_entities);

  // Internal layout, shared by the store's source files.
  enum class Kind : std::uint8_t { kNone = 0, kInteger, kFloat, kBoolean, kString, kDate, kLocalTime };
  struct Column {
    std::uint16_t group = 0;
    std::uint32_t key = 0;
    Kind kind = Kind::kNone;
    std::uint64_t rows = 0;            // rows of the group
    std::uint64_t held = 0;            // rows holding a value
    std::vector<std::uint64_t> valid;  // bit per row: a value is present
    std::vector<std::uint64_t> words;  // by row (kBoolean: bit per row): the value's word
    std::string heap;                  // kString: varint length + bytes per value, found by words
    std::uint64_t garbage = 0;         // heap bytes no row refers to
  };
  struct KeyInfo {
    std::uint32_t key = 0;              // key id
    std::uint32_t column = UINT32_MAX;  // index in columns_, or UINT32_MAX
    std::uint64_t in_records = 0;       // entities of the group holding the key in their records
  };
  struct Group {
    std::vector<std::uint32_t> members;  // by row: entity
    std::vector<KeyInfo> keys;           // sorted by key id; pairs that have a column or records
  };
  struct Placement {
    const Column* column = nullptr;
    bool in_records = false;
  };

 private:
  static constexpr std::uint64_t kNoRecords = UINT64_MAX;  // slot of an entity without records

  const KeyInfo* info(std::uint16_t group, std::uint32_t key) const;
  KeyInfo& info_for_write(std::uint16_t group, std::uint32_t key);
  const Column* column(std::uint16_t group, std::uint32_t key) const;
  // The encoded value of `key` in the entity's records (at its tag), or nullptr.
  const std::uint8_t* find_record(Entity entity, std::uint32_t key) const;
  std::string_view records_of(Entity entity) const;
  // Replaces the entity's records with `encoded` (the bytes without their
  // length prefix); the old bytes become garbage.
  void install_records(Entity entity, std::string_view encoded);
  void compact_records();
  void remove_from_records(Entity entity, std::uint32_t key);
  // The typed scans' common walk: entities whose value has record tag
  // `tag` (kTrue standing for both booleans), with its 64-bit word.
  void scan_words(std::uint16_t group, std::uint32_t key, std::uint8_t tag,
                  const std::function<void(const Entity*, const std::uint64_t*, std::size_t)>& each) const;

  std::vector<std::string> key_names_;                          // by key id
  // Looked up by string_view without building a string.
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::uint32_t, KeyHash, std::equal_to<>> key_ids_;  // name → key id
  std::uint32_t next_key_ = 0;  // intern_key's guess: entities of one kind list their keys in one order
  std::vector<std::uint16_t> group_of_;                         // by entity: group
  std::vector<std::uint32_t> row_of_;                           // by entity: row within its group
  std::vector<std::uint64_t> slot_;                             // by entity: offset of its records in records_
  std::string records_;                                         // every entity's records, length-prefixed
  std::uint64_t garbage_ = 0;                                   // bytes of records_ no slot refers to
  std::vector<Group> groups_;                                   // by group id
  std::vector<Column> columns_;                                 // in order of creation
  bool dirty_ = false;                                          // written since the last organise()
  static std::uint64_t next_generation();
  void changed() {
    dirty_ = true;
    generation_ = next_generation();
  }
  std::uint64_t generation_ = next_generation();
  std::string scratch_;                                         // a write's new records, reused
};

// The value codec and column helpers the store's source files share; no
// other caller should need them.
namespace property_codec {

// Record tags. A list's elements all carry one tag (kFalse and kTrue count
// as one type); a list never holds kList or a null.
enum Tag : std::uint8_t {
  kFalse = 1, kTrue, kInteger, kFloat, kString, kBytes, kDate, kLocalTime, kTime, kLocalDateTime, kDateTime,
  kDuration, kPoint, kList,
};

// A bounds-checked cursor over encoded bytes. Every read throws
// std::runtime_error "REASON" (no prefix) when the bytes end early or a
// varint runs past 64 bits.
struct Reader {
  const std::uint8_t* p;
  const std::uint8_t* end;
  // One-byte varints (key ids, short lengths, small integers) skip the call.
  std::uint64_t varint() { return p != end && *p < 0x80 ? *p++ : long_varint(); }
  std::uint64_t long_varint();
  std::int64_t zigzag() {
    const std::uint64_t v = varint();
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
  }
  std::uint8_t byte() { return p != end ? *p++ : end_early(); }
  [[noreturn]] static std::uint8_t end_early();
  double float64();
  std::string_view bytes(std::uint64_t count);
  bool done() const { return p == end; }
};

void put_varint(std::string& out, std::uint64_t value);
// Appends tag and payload of `value`. Requires: check_value(value) passed
// and value is not null.
void encode_value(std::string& out, const Value& value);
// The value at `in` (at its tag). Requires: bytes that validate_value took.
Value decode_value(Reader& in);
// Moves past the value at `in` without checking its contents.
void skip_value(Reader& in);
// Moves past the value at `in`, checking tag, ranges, UTF-8 and list types;
// returns its tag. Throws std::runtime_error "REASON" (no prefix).
std::uint8_t validate_value(Reader& in);
// Throws as PropertyStore::set() documents.
void check_value(const Value& value);
// Whether `text` is valid UTF-8, with a fast path for ASCII.
bool text_is_utf8(std::string_view text);
// Range checks shared by check_value and validate_value.
bool date_in_range(std::int64_t days);
bool time_of_day_in_range(std::int64_t nanos);
// Tag of a non-null value, and the column kind a value or tag belongs to
// (kNone when no column takes it).
std::uint8_t tag_of(const Value& value);
PropertyStore::Kind kind_of_tag(std::uint8_t tag);

// Columns: sizes, reads and writes by row.
void column_resize(PropertyStore::Column& column, std::uint64_t rows);
inline bool column_has(const PropertyStore::Column& c, std::uint64_t row) { return c.valid[row >> 6] >> (row & 63) & 1; }
Value column_get(const PropertyStore::Column& column, std::uint64_t row);
// Requires: kind_of_tag(tag_of(value)) == column.kind.
void column_set(PropertyStore::Column& column, std::uint64_t row, const Value& value);
void column_clear(PropertyStore::Column& column, std::uint64_t row);
// The string at `offset` of a string column's heap.
std::string_view column_string(const PropertyStore::Column& column, std::uint64_t offset);
// The column's string heap rewritten without garbage.
void column_compact(PropertyStore::Column& column);

}  // namespace property_codec
}  // namespace orvane
