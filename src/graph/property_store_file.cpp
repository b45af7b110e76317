// PropertyStore in the snapshot: write() and read().
//
// The store is written as it lies in memory, so that reading it back is one
// read per array and no value is parsed; loading then makes one linear,
// allocation-free pass over the record bytes and the string heaps to check
// them (it costs about what hashing those bytes costs). All integers are
// little-endian; counts are 64-bit.
//
//   block            size            contents
//   header           64              "ORVPROP1", u32 version 1, u32 flags
//                                    (bit 0: organised, nothing written since
//                                    organise()), then u64 each: N entities,
//                                    K keys, B key-name bytes, G groups (one
//                                    past the highest group of an entity, 0
//                                    when N = 0), C columns, R record bytes
//   key ends         8 K             u64 per key id: end offset of its name
//                                    in the key-name block (non-decreasing,
//                                    the last one B)
//   key names        B               the names, UTF-8, distinct
//   groups           2 N             u16 per entity: its group, below G
//   column heads     16 C            per column: u32 key id, u16 group, u8
//                                    kind (1 INTEGER, 2 FLOAT, 3 BOOLEAN,
//                                    4 STRING, 5 DATE, 6 LOCAL TIME), u8 0,
//                                    u64 heap bytes (0 unless STRING)
//   column arrays    per column      in head order, with rows = the group's
//                                    entity count: valid bitmap, u64 × ⌈rows/64⌉
//                                    (bit r of word r/64, bits past rows 0);
//                                    words, u64 × rows (BOOLEAN: a bitmap like
//                                    valid); heap bytes (STRING: per valid row
//                                    in row order a varint length and the
//                                    bytes, the row's word its offset)
//   slots            8 N             u64 per entity: offset of its records in
//                                    the record block, or 2^64-1 for none
//   records          R               per entity with records, in entity
//                                    order and back to back: varint length L
//                                    (L > 0), then L bytes of records sorted
//                                    by strictly increasing key id: varint key
//                                    id | tag | payload (property_store_codec.cpp)
//
// read() trusts nothing: each count is checked against the caller's bound
// and the bytes still available before anything of that size is allocated,
// and every slot, record, column word and string is checked before the
// store is returned. A value may not be both in a column and in records.
#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "graph/property_store.h"
#include "graph/utf8.h"

namespace orvane {

using namespace property_codec;

static_assert(std::endian::native == std::endian::little, "the snapshot arrays are written as they lie in memory");

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'P', 'R', 'O', 'P', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kOrganised = 1;
constexpr std::size_t kHeaderBytes = 64;
constexpr std::size_t kColumnHeadBytes = 16;

struct Header {
  char magic[8];
  std::uint32_t version;
  std::uint32_t flags;
  std::uint64_t entities, keys, name_bytes, groups, columns, record_bytes;
};
static_assert(sizeof(Header) == kHeaderBytes);

[[noreturn]] void fail(const std::string& reason) { throw std::runtime_error("snapshot properties: " + reason); }

std::uint64_t bitmap_words(std::uint64_t rows) { return (rows + 63) / 64; }

bool all_ascii(std::string_view bytes) {
  std::uint64_t any = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    any |= word;
  }
  for (; i < bytes.size(); ++i) any |= static_cast<unsigned char>(bytes[i]);
  return (any & 0x8080808080808080ULL) == 0;
}

// The bytes still to read, and the check every allocation goes through.
class Input {
 public:
  Input(const std::function<void(void*, std::size_t)>& get, std::uint64_t available) : get_(get), left_(available) {}
  // Requires: the bytes were counted by need().
  void take(void* data, std::uint64_t size) {
    if (size == 0) return;
    left_ -= size;
    get_(data, static_cast<std::size_t>(size));
  }
  void need(std::uint64_t count, std::uint64_t size, const char* what) const {
    if (count > left_ / size) fail(std::string(what) + " run past the end of the data");
  }
  template <typename T>
  void take_array(std::vector<T>& out, std::uint64_t count, const char* what) {
    need(count, sizeof(T), what);
    out.resize(static_cast<std::size_t>(count));
    take(out.data(), count * sizeof(T));
  }
  void take_bytes(std::string& out, std::uint64_t count, const char* what) {
    need(count, 1, what);
    out.resize(static_cast<std::size_t>(count));
    take(out.data(), count);
  }
  std::uint64_t left() const { return left_; }

 private:
  const std::function<void(void*, std::size_t)>& get_;
  std::uint64_t left_;
};

// Runs a validation step, giving the codec's bare reasons the prefix.
template <typename F>
void validating(F&& step) {
  try {
    step();
  } catch (const std::runtime_error& e) {
    if (std::strncmp(e.what(), "snapshot properties: ", 21) == 0) throw;
    fail(e.what());
  }
}

}  // namespace

void PropertyStore::write(const std::function<void(const void*, std::size_t)>& put) const {
  std::uint64_t group_count = groups_.size();
  while (group_count > 0 && groups_[group_count - 1].members.empty()) --group_count;
  std::string names;
  std::vector<std::uint64_t> ends;
  for (const std::string& name : key_names_) ends.push_back((names += name).size());
  // String heaps are written without garbage, in row order.
  std::vector<const Column*> written;
  std::vector<Column> compacted;
  compacted.reserve(columns_.size());
  for (const Column& c : columns_) {
    if (c.group >= group_count) continue;
    if (c.kind == Kind::kString) {
      compacted.push_back(c);
      column_compact(compacted.back());
      written.push_back(&compacted.back());
    } else {
      written.push_back(&c);
    }
  }
  // Slots back to back in entity order; when they already are, records_ goes out as it is.
  std::vector<std::uint64_t> slots(size(), kNoRecords);
  std::uint64_t at = 0;
  bool in_place = true;
  for (Entity e = 0; e < size(); ++e) {
    if (slot_[e] == kNoRecords) continue;
    slots[e] = at;
    in_place &= slots[e] == slot_[e];
    const std::size_t length = records_of(e).size();
    std::string prefix;
    put_varint(prefix, length);
    at += prefix.size() + length;
  }
  in_place &= at == records_.size();

  Header h{};
  std::memcpy(h.magic, kMagic, sizeof kMagic);
  h.version = kVersion;
  h.flags = dirty_ ? 0 : kOrganised;
  h.entities = size(), h.keys = key_names_.size(), h.name_bytes = names.size(), h.groups = group_count;
  h.columns = written.size(), h.record_bytes = at;
  put(&h, sizeof h);
  put(ends.data(), ends.size() * sizeof(std::uint64_t));
  put(names.data(), names.size());
  put(group_of_.data(), group_of_.size() * sizeof(std::uint16_t));
  std::vector<std::uint8_t> heads(written.size() * kColumnHeadBytes);
  for (std::size_t i = 0; i < written.size(); ++i) {
    std::uint8_t* head = heads.data() + i * kColumnHeadBytes;
    const std::uint64_t heap = written[i]->heap.size();
    std::memcpy(head, &written[i]->key, 4);
    std::memcpy(head + 4, &written[i]->group, 2);
    head[6] = static_cast<std::uint8_t>(written[i]->kind);
    std::memcpy(head + 8, &heap, 8);
  }
  put(heads.data(), heads.size());
  for (const Column* c : written) {
    put(c->valid.data(), c->valid.size() * sizeof(std::uint64_t));
    put(c->words.data(), c->words.size() * sizeof(std::uint64_t));
    put(c->heap.data(), c->heap.size());
  }
  put(slots.data(), slots.size() * sizeof(std::uint64_t));
  if (in_place) {
    put(records_.data(), records_.size());
    return;
  }
  std::string records;
  records.reserve(at);
  for (Entity e = 0; e < size(); ++e) {
    if (slot_[e] == kNoRecords) continue;
    const std::string_view own = records_of(e);
    put_varint(records, own.size());
    records += own;
  }
  put(records.data(), records.size());
}

PropertyStore PropertyStore::read(const std::function<void(void*, std::size_t)>& get, std::uint64_t available,
                                  std::uint64_t max_entities) {
  Input in(get, available);
  PropertyStore s;
  Header h{};
  in.need(1, kHeaderBytes, "the header would");
  in.take(&h, sizeof h);
  if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) fail("not a property store");
  if (h.version != kVersion) fail("unsupported version " + std::to_string(h.version));
  if ((h.flags & ~kOrganised) != 0) fail("unknown flags " + std::to_string(h.flags));
  if (h.entities > max_entities || h.entities > UINT32_MAX) {
    fail(std::to_string(h.entities) + " entities, more than the " + std::to_string(max_entities) + " expected");
  }
  if (h.keys >= kNoPropertyKey) fail("too many keys");
  if (h.groups > 65536) fail("too many groups");

  std::vector<std::uint64_t> ends;
  in.take_array(ends, h.keys, "key names");
  std::string names;
  in.take_bytes(names, h.name_bytes, "key names");
  std::uint64_t from = 0;
  for (const std::uint64_t end : ends) {
    if (end < from || end > names.size()) fail("a key name runs past the key-name block");
    const std::string_view name(names.data() + from, end - from);
    if (!is_valid_utf8(name)) fail("a key name is not valid UTF-8");
    if (s.key_ids_.contains(std::string(name))) fail("key name \"" + std::string(name) + "\" appears twice");
    s.key_ids_.emplace(name, static_cast<std::uint32_t>(s.key_names_.size()));
    s.key_names_.emplace_back(name);
    from = end;
  }
  if (from != names.size()) fail("key-name bytes no key refers to");

  in.take_array(s.group_of_, h.entities, "entity groups");
  std::uint64_t highest = 0;
  for (const std::uint16_t g : s.group_of_) {
    if (g >= h.groups) fail("an entity's group " + std::to_string(g) + " is not below the group count");
    highest = std::max<std::uint64_t>(highest, g + 1ULL);
  }
  if (highest != h.groups) fail("the group count disagrees with the entities' groups");
  s.groups_.resize(static_cast<std::size_t>(h.groups));
  s.row_of_.resize(s.group_of_.size());
  {
    std::vector<std::uint32_t> sizes(s.groups_.size());
    for (const std::uint16_t g : s.group_of_) ++sizes[g];
    for (std::size_t g = 0; g < sizes.size(); ++g) s.groups_[g].members.reserve(sizes[g]);
  }
  for (std::uint32_t e = 0; e < s.group_of_.size(); ++e) {
    s.row_of_[e] = static_cast<std::uint32_t>(s.groups_[s.group_of_[e]].members.size());
    s.groups_[s.group_of_[e]].members.push_back(e);
  }

  std::vector<std::uint8_t> heads;
  in.need(h.columns, kColumnHeadBytes, "column heads");  // so that the product below cannot overflow
  in.take_array(heads, h.columns * kColumnHeadBytes, "column heads");
  s.columns_.resize(static_cast<std::size_t>(h.columns));
  for (std::size_t i = 0; i < s.columns_.size(); ++i) {
    const std::uint8_t* head = heads.data() + i * kColumnHeadBytes;
    Column& c = s.columns_[i];
    std::uint64_t heap = 0;
    std::memcpy(&c.key, head, 4);
    std::memcpy(&c.group, head + 4, 2);
    std::memcpy(&heap, head + 8, 8);
    if (head[6] < 1 || head[6] > 6 || head[7] != 0) fail("a column of unknown kind " + std::to_string(head[6]));
    c.kind = static_cast<Kind>(head[6]);
    if (c.key >= h.keys || c.group >= h.groups) fail("a column names an unknown key or group");
    KeyInfo& k = s.info_for_write(c.group, c.key);
    if (k.column != UINT32_MAX) fail("two columns for one key of a group");
    k.column = static_cast<std::uint32_t>(i);
    if (heap != 0 && c.kind != Kind::kString) fail("a column other than STRING has a heap");
    c.rows = s.groups_[c.group].members.size();
    in.take_array(c.valid, bitmap_words(c.rows), "a column");
    in.take_array(c.words, c.kind == Kind::kBoolean ? bitmap_words(c.rows) : c.rows, "a column");
    in.take_bytes(c.heap, heap, "a column heap");
    if (c.rows % 64 != 0 && !c.valid.empty() && (c.valid.back() >> (c.rows % 64)) != 0) fail("a column marks rows past its group");
    if (c.kind == Kind::kBoolean) column_resize(c, c.rows);  // a stray bit past the rows changes nothing read
    for (const std::uint64_t w : c.valid) c.held += static_cast<std::uint64_t>(std::popcount(w));
    std::uint64_t cursor = 0;
    validating([&] {
      // Only these kinds constrain their words (BOOLEAN words are a bitmap, not one per row).
      if (c.kind != Kind::kDate && c.kind != Kind::kLocalTime && c.kind != Kind::kString) return;
      // A heap of ASCII bytes only (lengths below 128 included) holds valid text throughout.
      const bool ascii = c.kind == Kind::kString && all_ascii(c.heap);
      for (std::uint64_t row = 0; row < c.rows; ++row) {
        if (!column_has(c, row)) continue;
        const std::uint64_t w = c.words[row];
        if (c.kind == Kind::kDate && !date_in_range(static_cast<std::int64_t>(w))) fail("a DATE is out of range");
        if (c.kind == Kind::kLocalTime && !time_of_day_in_range(static_cast<std::int64_t>(w))) {
          fail("a LOCAL TIME is out of range");
        }
        if (c.kind != Kind::kString) continue;
        if (w != cursor) fail("a string slot is out of place");
        const std::string_view text = column_string(c, w);
        if (!ascii && !text_is_utf8(text)) fail("a string is not valid UTF-8");
        cursor = static_cast<std::uint64_t>(text.data() + text.size() - c.heap.data());
      }
    });
    if (cursor != c.heap.size()) fail("column heap bytes no row refers to");
  }

  in.take_array(s.slot_, h.entities, "slots");
  in.take_bytes(s.records_, h.record_bytes, "records");
  validating([&] {
    std::uint64_t cursor = 0;
    const auto* base = reinterpret_cast<const std::uint8_t*>(s.records_.data());
    for (Entity e = 0; e < s.size(); ++e) {
      if (s.slot_[e] == kNoRecords) continue;
      if (s.slot_[e] != cursor) fail("a slot points outside its entity's records");
      Reader slot{base + cursor, base + s.records_.size()};
      const std::uint64_t length = slot.varint();
      if (length == 0) fail("an empty record slot");
      const std::string_view own = slot.bytes(length);
      Reader r{reinterpret_cast<const std::uint8_t*>(own.data()), slot.p};
      std::uint64_t previous = 0;
      std::vector<KeyInfo>& keys = s.groups_[s.group_of_[e]].keys;
      std::size_t at = 0;
      for (bool first = true; !r.done(); first = false) {
        const std::uint64_t key = r.varint();
        if (key >= h.keys) fail("a record names unknown key id " + std::to_string(key));
        if (!first && key <= previous) fail("records out of key order");
        previous = key;
        validate_value(r);
        // Records and the group's pairs are both sorted by key: walk them together.
        while (at < keys.size() && keys[at].key < key) ++at;
        if (at == keys.size() || keys[at].key != key) {
          keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at), KeyInfo{static_cast<std::uint32_t>(key), UINT32_MAX, 0});
        }
        KeyInfo& k = keys[at];
        if (k.column != UINT32_MAX && column_has(s.columns_[k.column], s.row_of_[e])) {
          fail("a value is both in a column and in the records");
        }
        ++k.in_records;
      }
      cursor = static_cast<std::uint64_t>(slot.p - base);
    }
    if (cursor != s.records_.size()) fail("record bytes no entity refers to");
  });
  s.dirty_ = (h.flags & kOrganised) == 0;
  return s;
}

PropertyStore PropertyStore::read_bytes(std::string_view bytes, std::uint64_t max_entities) {
  std::size_t at = 0;
  PropertyStore s = read(
      [&](void* data, std::size_t size) {
        std::memcpy(data, bytes.data() + at, size);
        at += size;
      },
      bytes.size(), max_entities);
  if (at != bytes.size()) fail("bytes after the end of the store");
  return s;
}

}  // namespace orvane
