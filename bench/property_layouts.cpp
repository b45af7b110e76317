// Property layout benchmark: four ways to hold typed node properties,
// measured on one synthetic graph so that the store can be chosen from
// figures rather than taste. Nothing here is used by orvane itself.
//
//   json      one nlohmann::json object per node, as Database::properties
//             holds them today (typed values in their typed JSON form).
//   columnar  one typed column per (label, key): int64, double, bit and
//             date-as-int64 arrays padded to 64 rows, strings as
//             (offset, length) slots into one byte heap, string lists as
//             slots into an item array of string slots; a validity bitmap
//             per column; a key whose values mix types gets a column of
//             Value. Node identity → (label, row) through a row array.
//   records   one global byte buffer; each node's slot (offset << 24 |
//             length) points at its records, sorted by key id:
//               varint key id | tag byte | payload
//             payloads: zigzag varint (int, date and the integer fields of
//             the other temporals), 8 raw bytes (float), varint length +
//             bytes (string), varint body length + varint count + elements
//             (list). Key ids come from one global key dictionary.
//   hybrid    columns for keys present on at least half of a label's nodes
//             with one type; every other value in the node's records. A
//             value that does not fit its column (a string written over an
//             int) moves to the records. Per (label, key) the hybrid counts
//             the nodes holding that key in their records, so that a scan or
//             lookup reads records only where such nodes exist.
//   store     orvane::PropertyStore (graph/property_store.h), the hybrid as
//             the Database holds it: built through set_all() and organise(),
//             scanned through its typed batches (INTEGER and FLOAT), saved
//             and loaded through write()/read() with full validation.
//
// Slots are (offset, length) rather than monotone offsets so that one write
// appends the new bytes and leaves the old ones as garbage, compacted once
// garbage passes half of the buffer; monotone offsets would make every
// string write shift the rest of the column.
//
// Every layout answers the same scan, lookups and writes; the run checks
// that they agree (counts and checksums) before printing anything.
//
//   property_layouts [repeats] [nodes ...]   (default 5 100000 1000000)
#include <malloc.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/property_store.h"
#include "graph/value.h"

namespace {

using orvane::Date;
using orvane::Value;
using orvane::ValueList;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- data set

constexpr std::uint16_t kPerson = 0;
constexpr std::uint16_t kPaper = 1;
constexpr std::uint16_t kLabelCount = 2;

struct Row {
  std::uint32_t node;  // identity
  std::string key;
  Value value;
};

struct KeyDict {
  std::vector<std::string> names;                       // by key id
  std::unordered_map<std::string, std::uint32_t> ids;  // name → key id
  std::uint32_t intern(const std::string& name) {
    auto [it, added] = ids.emplace(name, static_cast<std::uint32_t>(names.size()));
    if (added) names.push_back(name);
    return it->second;
  }
  std::uint32_t id(const std::string& name) const { return ids.at(name); }
};

struct Dataset {
  std::vector<std::uint16_t> labels;  // by identity: label id
  std::vector<Row> rows;              // node-major: every row of node i before those of i + 1
  KeyDict dict;                       // keys in first-seen order
};

struct Rng {  // splitmix64: fast, and the same stream on every platform
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  std::int64_t between(std::int64_t lo, std::int64_t hi) { return lo + static_cast<std::int64_t>(below(hi - lo + 1)); }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double p) { return unit() < p; }
  std::string word(std::size_t lo, std::size_t hi) {
    std::string s(static_cast<std::size_t>(between(static_cast<std::int64_t>(lo), static_cast<std::int64_t>(hi))), 'a');
    for (char& c : s) c = static_cast<char>('a' + below(26));
    return s;
  }
};

// Person (60 %): name, age, born, score, active, tags, each on 90 % of the
// nodes; email, nickname and height (int, float or string) on 1 %. Paper
// (40 %): title, year, citations, rating, keywords, doi on 90 %; pages on
// 40 % (int, or a "12-20" string for 30 % of them); retracted and location
// (a WGS-84 point) on 1 %. Tags and keywords come from a vocabulary of 200.
Dataset make_dataset(std::uint32_t nodes, std::uint64_t seed) {
  Dataset d;
  Rng rng{seed};
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 200; ++i) vocabulary.push_back(rng.word(3, 8));
  auto words = [&](std::int64_t lo, std::int64_t hi) {
    ValueList list;
    for (std::int64_t n = rng.between(lo, hi); n > 0; --n) list.emplace_back(vocabulary[rng.below(200)]);
    return Value(std::move(list));
  };
  d.labels.resize(nodes);
  d.rows.reserve(nodes * 6ULL);
  auto add = [&](std::uint32_t node, const char* key, Value v) {
    d.dict.intern(key);
    d.rows.push_back(Row{node, key, std::move(v)});
  };
  for (std::uint32_t n = 0; n < nodes; ++n) {
    const bool person = rng.chance(0.6);
    d.labels[n] = person ? kPerson : kPaper;
    if (person) {
      if (rng.chance(0.9)) add(n, "name", rng.word(5, 20));
      if (rng.chance(0.9)) add(n, "age", rng.between(16, 90));
      if (rng.chance(0.9)) add(n, "born", Date{rng.between(-20000, 12000)});
      if (rng.chance(0.9)) add(n, "score", rng.unit() * 100);
      if (rng.chance(0.9)) add(n, "active", rng.chance(0.5));
      if (rng.chance(0.9)) add(n, "tags", words(0, 4));
      if (rng.chance(0.01)) add(n, "email", rng.word(6, 12) + "@example.org");
      if (rng.chance(0.01)) add(n, "nickname", rng.word(3, 10));
      if (rng.chance(0.01)) {
        const std::uint64_t kind = rng.below(3);
        add(n, "height", kind == 0 ? Value(rng.between(150, 200)) : kind == 1 ? Value(1.5 + rng.unit()) : Value("tall"));
      }
    } else {
      if (rng.chance(0.9)) add(n, "title", rng.word(20, 60));
      if (rng.chance(0.9)) add(n, "year", rng.between(1950, 2024));
      if (rng.chance(0.9)) add(n, "citations", rng.between(0, 5000));
      if (rng.chance(0.9)) add(n, "rating", rng.unit() * 5);
      if (rng.chance(0.9)) add(n, "keywords", words(1, 5));
      if (rng.chance(0.9)) add(n, "doi", "10." + std::to_string(rng.between(1000, 9999)) + "/" + rng.word(8, 12));
      if (rng.chance(0.4)) {
        const std::int64_t first = rng.between(1, 400);
        add(n, "pages", rng.chance(0.7) ? Value(first)
                                         : Value(std::to_string(first) + "-" + std::to_string(first + rng.between(5, 30))));
      }
      if (rng.chance(0.01)) add(n, "retracted", rng.chance(0.5));
      if (rng.chance(0.01)) add(n, "location", orvane::Point{4326, rng.unit() * 360 - 180, rng.unit() * 180 - 90, 0});
    }
  }
  return d;
}

// ------------------------------------------------ checksums and encodings

// A value's checksum, the same whichever layout reads it: it proves that
// the layouts return the same values without building a Value per read.
std::uint64_t string_checksum(std::size_t length, const char* data) {
  return length * 131 + (length ? static_cast<unsigned char>(data[0]) : 0);
}

std::uint64_t checksum(const Value& v) {
  const auto& s = v.storage();
  if (v.is_null()) return 0;
  if (const bool* b = std::get_if<bool>(&s)) return *b ? 2 : 1;
  if (const std::int64_t* i = std::get_if<std::int64_t>(&s)) return static_cast<std::uint64_t>(*i);
  if (const double* f = std::get_if<double>(&s)) return std::bit_cast<std::uint64_t>(*f);
  if (const std::string* t = std::get_if<std::string>(&s)) return string_checksum(t->size(), t->data());
  if (const Date* date = std::get_if<Date>(&s)) return static_cast<std::uint64_t>(date->days) ^ 0x5555;
  if (const ValueList* list = std::get_if<ValueList>(&s)) {
    std::uint64_t sum = list->size() * 7;
    for (const Value& e : *list) sum += checksum(e);
    return sum;
  }
  return s.index() * 1000003;
}

std::uint64_t json_checksum(const nlohmann::json& j) {
  switch (j.type()) {
    case nlohmann::json::value_t::null: return 0;
    case nlohmann::json::value_t::boolean: return j.get<bool>() ? 2 : 1;
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned: return static_cast<std::uint64_t>(j.get<std::int64_t>());
    case nlohmann::json::value_t::number_float: return std::bit_cast<std::uint64_t>(j.get<double>());
    case nlohmann::json::value_t::string: {
      const auto& t = j.get_ref<const std::string&>();
      return string_checksum(t.size(), t.data());
    }
    case nlohmann::json::value_t::array: {
      std::uint64_t sum = j.size() * 7;
      for (const auto& e : j) sum += json_checksum(e);
      return sum;
    }
    default: return checksum(orvane::from_typed_json(j));  // typed form: what a reader must do today
  }
}

enum Tag : std::uint8_t {
  kTagNull, kTagFalse, kTagTrue, kTagInt, kTagDouble, kTagString, kTagBytes, kTagDate,
  kTagLocalTime, kTagTime, kTagLocalDateTime, kTagDateTime, kTagDuration, kTagPoint, kTagList,
};

void put_varint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}
std::uint64_t get_varint(const std::uint8_t*& p) {
  std::uint64_t v = 0;
  for (int shift = 0;; shift += 7) {
    const std::uint8_t b = *p++;
    v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if (!(b & 0x80)) return v;
  }
}
void put_int(std::string& out, std::int64_t v) {
  put_varint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}
std::int64_t get_int(const std::uint8_t*& p) {
  const std::uint64_t v = get_varint(p);
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}
void put_double(std::string& out, double v) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  out.append(reinterpret_cast<const char*>(&bits), 8);
}
double get_double(const std::uint8_t*& p) {
  double v;
  std::memcpy(&v, p, 8);
  p += 8;
  return v;
}
void put_text(std::string& out, const std::string& s) {
  put_varint(out, s.size());
  out += s;
}
std::string get_text(const std::uint8_t*& p) {
  const std::size_t n = get_varint(p);
  std::string s(reinterpret_cast<const char*>(p), n);
  p += n;
  return s;
}

void encode_value(std::string& out, const Value& v) {
  const auto& s = v.storage();
  if (const bool* b = std::get_if<bool>(&s)) {
    out.push_back(static_cast<char>(*b ? kTagTrue : kTagFalse));
  } else if (const std::int64_t* i = std::get_if<std::int64_t>(&s)) {
    out.push_back(kTagInt), put_int(out, *i);
  } else if (const double* f = std::get_if<double>(&s)) {
    out.push_back(kTagDouble), put_double(out, *f);
  } else if (const std::string* t = std::get_if<std::string>(&s)) {
    out.push_back(kTagString), put_text(out, *t);
  } else if (const orvane::Bytes* y = std::get_if<orvane::Bytes>(&s)) {
    out.push_back(kTagBytes), put_text(out, y->data);
  } else if (const Date* d = std::get_if<Date>(&s)) {
    out.push_back(kTagDate), put_int(out, d->days);
  } else if (const orvane::LocalTime* lt = std::get_if<orvane::LocalTime>(&s)) {
    out.push_back(kTagLocalTime), put_int(out, lt->nanos);
  } else if (const orvane::Time* tm = std::get_if<orvane::Time>(&s)) {
    out.push_back(kTagTime), put_int(out, tm->nanos), put_int(out, tm->offset_seconds);
  } else if (const orvane::LocalDateTime* ld = std::get_if<orvane::LocalDateTime>(&s)) {
    out.push_back(kTagLocalDateTime), put_int(out, ld->seconds), put_int(out, ld->nanos);
  } else if (const orvane::DateTime* dt = std::get_if<orvane::DateTime>(&s)) {
    out.push_back(kTagDateTime), put_int(out, dt->seconds), put_int(out, dt->nanos);
    put_int(out, dt->offset_seconds), put_text(out, dt->zone);
  } else if (const orvane::Duration* du = std::get_if<orvane::Duration>(&s)) {
    out.push_back(kTagDuration), put_int(out, du->months), put_int(out, du->days);
    put_int(out, du->seconds), put_int(out, du->nanos);
  } else if (const orvane::Point* pt = std::get_if<orvane::Point>(&s)) {
    out.push_back(kTagPoint), put_int(out, pt->srid);
    put_double(out, pt->x), put_double(out, pt->y), put_double(out, pt->z);
  } else if (const ValueList* list = std::get_if<ValueList>(&s)) {
    std::string body;
    put_varint(body, list->size());
    for (const Value& e : *list) encode_value(body, e);
    out.push_back(kTagList), put_text(out, body);
  } else {
    out.push_back(kTagNull);
  }
}

Value decode_value(const std::uint8_t*& p) {
  switch (*p++) {
    case kTagFalse: return false;
    case kTagTrue: return true;
    case kTagInt: return get_int(p);
    case kTagDouble: return get_double(p);
    case kTagString: return get_text(p);
    case kTagBytes: return orvane::Bytes{get_text(p)};
    case kTagDate: return Date{get_int(p)};
    case kTagLocalTime: return orvane::LocalTime{get_int(p)};
    case kTagTime: {
      const std::int64_t nanos = get_int(p);
      return orvane::Time{nanos, static_cast<std::int32_t>(get_int(p))};
    }
    case kTagLocalDateTime: {
      const std::int64_t seconds = get_int(p);
      return orvane::LocalDateTime{seconds, static_cast<std::int32_t>(get_int(p))};
    }
    case kTagDateTime: {
      orvane::DateTime dt;
      dt.seconds = get_int(p);
      dt.nanos = static_cast<std::int32_t>(get_int(p));
      dt.offset_seconds = static_cast<std::int32_t>(get_int(p));
      dt.zone = get_text(p);
      return dt;
    }
    case kTagDuration: {
      orvane::Duration du;
      du.months = get_int(p), du.days = get_int(p), du.seconds = get_int(p);
      du.nanos = static_cast<std::int32_t>(get_int(p));
      return du;
    }
    case kTagPoint: {
      orvane::Point pt;
      pt.srid = static_cast<std::int32_t>(get_int(p));
      pt.x = get_double(p), pt.y = get_double(p), pt.z = get_double(p);
      return pt;
    }
    case kTagList: {
      get_varint(p);  // body length, only needed to skip
      ValueList list(get_varint(p));
      for (Value& e : list) e = decode_value(p);
      return list;
    }
    default: return Value();
  }
}

void skip_value(const std::uint8_t*& p) {
  switch (*p++) {
    case kTagInt: case kTagDate: case kTagLocalTime: get_varint(p); break;
    case kTagTime: case kTagLocalDateTime: get_varint(p), get_varint(p); break;
    case kTagDuration: for (int i = 0; i < 4; ++i) get_varint(p); break;
    case kTagDouble: p += 8; break;
    case kTagPoint: get_varint(p), p += 24; break;
    case kTagDateTime: for (int i = 0; i < 3; ++i) get_varint(p);
      [[fallthrough]];
    case kTagString: case kTagBytes: case kTagList: {
      const std::size_t n = get_varint(p);
      p += n;
      break;
    }
    default: break;
  }
}

std::uint64_t encoded_checksum(const std::uint8_t*& p) {
  switch (*p) {
    case kTagNull: return ++p, 0;
    case kTagFalse: return ++p, 1;
    case kTagTrue: return ++p, 2;
    case kTagInt: return ++p, static_cast<std::uint64_t>(get_int(p));
    case kTagDouble: return ++p, std::bit_cast<std::uint64_t>(get_double(p));
    case kTagDate: return ++p, static_cast<std::uint64_t>(get_int(p)) ^ 0x5555;
    case kTagString: {
      ++p;
      const std::size_t n = get_varint(p);
      const std::uint64_t sum = string_checksum(n, reinterpret_cast<const char*>(p));
      p += n;
      return sum;
    }
    case kTagList: {
      ++p;
      get_varint(p);
      const std::uint64_t count = get_varint(p);
      std::uint64_t sum = count * 7;
      for (std::uint64_t i = 0; i < count; ++i) sum += encoded_checksum(p);
      return sum;
    }
    default: return checksum(decode_value(p));
  }
}

// Whether the encoded value at p is a number greater than t (Cypher's
// comparison: ints and floats compare, anything else does not match).
bool encoded_greater(const std::uint8_t* p, std::int64_t t) {
  if (*p == kTagInt) return ++p, get_int(p) > t;
  if (*p == kTagDouble) return ++p, get_double(p) > static_cast<double>(t);
  return false;
}

bool value_greater(const Value& v, std::int64_t t) {
  if (v.is<std::int64_t>()) return v.as<std::int64_t>() > t;
  if (v.is<double>()) return v.as<double>() > static_cast<double>(t);
  return false;
}

// A flat byte image: arrays written as (8-byte length, raw bytes), read
// back with one copy each; what a snapshot section of the layout would be.
struct Image {
  std::string bytes;
  std::size_t at = 0;  // read position
  template <typename T>
  void put(const std::vector<T>& v) {
    put_word(v.size());
    bytes.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
  }
  void put(const std::string& s) { put_word(s.size()), bytes += s; }
  void put_word(std::uint64_t w) { bytes.append(reinterpret_cast<const char*>(&w), 8); }
  template <typename T>
  void get(std::vector<T>& v) {
    v.resize(get_word());
    if (!v.empty()) std::memcpy(static_cast<void*>(v.data()), bytes.data() + at, v.size() * sizeof(T));
    at += v.size() * sizeof(T);
  }
  void get(std::string& s) {
    const std::uint64_t n = get_word();
    s.assign(bytes.data() + at, n);
    at += n;
  }
  std::uint64_t get_word() {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + at, 8);
    at += 8;
    return w;
  }
};


struct KeyRef {
  std::uint32_t id;          // key id in the dictionary
  const std::string* name;  // its name, for the JSON layout
};

// ------------------------------------------------------------ (a) json

class JsonStore {
 public:
  void build(const Dataset& d) {
    props_.assign(d.labels.size(), nlohmann::json::object());
    for (const Row& r : d.rows) props_[r.node][r.key] = orvane::to_typed_json(r.value);
  }
  std::uint64_t count_greater(KeyRef key, std::int64_t t, int threads) const {
    std::uint64_t count = 0;
    const auto n = static_cast<std::int64_t>(props_.size());
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
      const auto it = props_[i].find(*key.name);
      if (it == props_[i].end()) continue;
      if (it->is_number_integer()) count += it->get<std::int64_t>() > t;
      else if (it->is_number_float()) count += it->get<double>() > static_cast<double>(t);
    }
    return count;
  }
  std::uint64_t probe(std::uint32_t node, KeyRef key) const {
    const auto it = props_[node].find(*key.name);
    return it == props_[node].end() ? 0 : json_checksum(*it);
  }
  void set(std::uint32_t node, KeyRef key, const Value& v) { props_[node][*key.name] = orvane::to_typed_json(v); }
  // Today's snapshot section: per node a 4-byte length and the compact text.
  void save(Image& out) const {
    for (const auto& p : props_) {
      const std::string text = p.dump();
      const auto n = static_cast<std::uint32_t>(text.size());
      out.bytes.append(reinterpret_cast<const char*>(&n), 4);
      out.bytes += text;
    }
  }
  void load(Image& in, const Dataset& d) {
    props_.resize(d.labels.size());
    for (auto& p : props_) {
      std::uint32_t n;
      std::memcpy(&n, in.bytes.data() + in.at, 4);
      const char* text = in.bytes.data() + in.at + 4;
      p = nlohmann::json::parse(text, text + n);
      in.at += 4 + n;
    }
  }

 private:
  std::vector<nlohmann::json> props_;  // by identity
};

// --------------------------------------------------------- (b) columnar

enum class Kind : std::uint8_t { kInt, kDouble, kBool, kDate, kString, kStringList, kValue };

Kind kind_of(const Value& v) {
  if (v.is<std::int64_t>()) return Kind::kInt;
  if (v.is<double>()) return Kind::kDouble;
  if (v.is<bool>()) return Kind::kBool;
  if (v.is<Date>()) return Kind::kDate;
  if (v.is<std::string>()) return Kind::kString;
  if (v.is<ValueList>()) {
    for (const Value& e : v.as<ValueList>())
      if (!e.is<std::string>()) return Kind::kValue;
    return Kind::kStringList;
  }
  return Kind::kValue;
}

struct Slot {
  std::uint32_t offset = 0;  // into the heap (strings) or the item array (lists)
  std::uint32_t length = 0;  // bytes (strings) or items (lists)
};

struct Column {
  std::uint16_t label = 0;
  std::uint32_t key = 0;
  Kind kind = Kind::kInt;
  std::uint32_t rows = 0;           // rows of the label
  std::vector<std::uint64_t> valid;  // bit per row: a value is present
  std::vector<std::int64_t> ints;    // by row: kInt, kDate (days)
  std::vector<double> doubles;       // by row: kDouble
  std::vector<std::uint64_t> bits;   // bit per row: kBool
  std::vector<Slot> slots;           // by row: kString bytes in heap, kStringList items
  std::vector<Slot> items;           // kStringList: each element's bytes in heap
  std::string heap;                  // string bytes
  std::vector<Value> values;         // by row: kValue
  std::uint64_t heap_garbage = 0;    // heap bytes no row refers to
  std::uint64_t item_garbage = 0;    // items no row refers to

  static std::size_t padded(std::uint32_t n) { return (n + 63ULL) / 64 * 64; }
  bool has(std::uint32_t r) const { return valid[r >> 6] >> (r & 63) & 1; }
  static void put_bit(std::vector<std::uint64_t>& v, std::uint32_t r, bool on) {
    v[r >> 6] = (v[r >> 6] & ~(1ULL << (r & 63))) | (static_cast<std::uint64_t>(on) << (r & 63));
  }
  bool accepts(const Value& v) const { return kind == Kind::kValue || v.is_null() || kind_of(v) == kind; }

  void resize(std::uint32_t n) {
    rows = n;
    const std::size_t p = padded(n);
    valid.resize(p / 64);
    switch (kind) {
      case Kind::kInt: case Kind::kDate: ints.resize(p); break;
      case Kind::kDouble: doubles.resize(p); break;
      case Kind::kBool: bits.resize(p / 64); break;
      case Kind::kString: case Kind::kStringList: slots.resize(p); break;
      case Kind::kValue: values.resize(p); break;
    }
  }
  Slot append(const std::string& s) {
    const Slot slot{static_cast<std::uint32_t>(heap.size()), static_cast<std::uint32_t>(s.size())};
    heap += s;
    return slot;
  }
  void forget(std::uint32_t r) {  // the row's old bytes become garbage
    if (!has(r)) return;
    if (kind == Kind::kString) heap_garbage += slots[r].length;
    if (kind == Kind::kStringList) {
      item_garbage += slots[r].length;
      for (std::uint32_t i = 0; i < slots[r].length; ++i) heap_garbage += items[slots[r].offset + i].length;
    }
  }
  // Requires: accepts(v).
  void set(std::uint32_t r, const Value& v) {
    forget(r);
    put_bit(valid, r, !v.is_null());
    if (v.is_null()) {
      if (kind == Kind::kValue) values[r] = Value();
      return;
    }
    switch (kind) {
      case Kind::kInt: ints[r] = v.as<std::int64_t>(); break;
      case Kind::kDate: ints[r] = v.as<Date>().days; break;
      case Kind::kDouble: doubles[r] = v.as<double>(); break;
      case Kind::kBool: put_bit(bits, r, v.as<bool>()); break;
      case Kind::kString: slots[r] = append(v.as<std::string>()); break;
      case Kind::kStringList: {
        const ValueList& list = v.as<ValueList>();
        slots[r] = {static_cast<std::uint32_t>(items.size()), static_cast<std::uint32_t>(list.size())};
        for (const Value& e : list) items.push_back(append(e.as<std::string>()));
        break;
      }
      case Kind::kValue: values[r] = v; break;
    }
    if (heap_garbage > (1u << 20) && heap_garbage * 2 > heap.size()) compact();
  }
  void compact() {
    Column fresh;
    fresh.kind = kind, fresh.label = label, fresh.key = key;
    fresh.resize(rows);
    for (std::uint32_t r = 0; r < rows; ++r)
      if (has(r)) fresh.set(r, value_at(r));
    *this = std::move(fresh);
  }
  Value value_at(std::uint32_t r) const {
    if (!has(r)) return Value();
    switch (kind) {
      case Kind::kInt: return ints[r];
      case Kind::kDate: return Date{ints[r]};
      case Kind::kDouble: return doubles[r];
      case Kind::kBool: return static_cast<bool>(bits[r >> 6] >> (r & 63) & 1);
      case Kind::kString: return heap.substr(slots[r].offset, slots[r].length);
      case Kind::kStringList: {
        ValueList list;
        for (std::uint32_t i = 0; i < slots[r].length; ++i) {
          const Slot s = items[slots[r].offset + i];
          list.emplace_back(heap.substr(s.offset, s.length));
        }
        return list;
      }
      case Kind::kValue: return values[r];
    }
    return Value();
  }
  // The column becomes a column of Value: a write of another type.
  void demote() {
    std::vector<Value> out(padded(rows));
    for (std::uint32_t r = 0; r < rows; ++r) out[r] = value_at(r);
    Column fresh;
    fresh.label = label, fresh.key = key, fresh.kind = Kind::kValue, fresh.rows = rows;
    fresh.valid = std::move(valid), fresh.values = std::move(out);
    *this = std::move(fresh);
  }
  std::uint64_t checksum_at(std::uint32_t r) const {
    if (!has(r)) return 0;
    switch (kind) {
      case Kind::kInt: return static_cast<std::uint64_t>(ints[r]);
      case Kind::kDate: return static_cast<std::uint64_t>(ints[r]) ^ 0x5555;
      case Kind::kDouble: return std::bit_cast<std::uint64_t>(doubles[r]);
      case Kind::kBool: return (bits[r >> 6] >> (r & 63) & 1) ? 2 : 1;
      case Kind::kString: return string_checksum(slots[r].length, heap.data() + slots[r].offset);
      case Kind::kStringList: {
        std::uint64_t sum = slots[r].length * 7ULL;
        for (std::uint32_t i = 0; i < slots[r].length; ++i) {
          const Slot s = items[slots[r].offset + i];
          sum += string_checksum(s.length, heap.data() + s.offset);
        }
        return sum;
      }
      case Kind::kValue: return checksum(values[r]);
    }
    return 0;
  }
  // Rows holding a number greater than t: 64 comparisons into one mask,
  // ANDed with the validity word, so the loop has no branch per row.
  std::uint64_t count_greater(std::int64_t t, int threads) const {
    std::uint64_t count = 0;
    const auto words = static_cast<std::int64_t>(valid.size());
    const std::uint64_t* m = valid.data();
    if (kind == Kind::kInt) {
      const std::int64_t* v = ints.data();
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
      for (std::int64_t w = 0; w < words; ++w) {
        std::uint64_t mask = 0;
        for (int b = 0; b < 64; ++b) mask |= static_cast<std::uint64_t>(v[w * 64 + b] > t) << b;
        count += std::popcount(mask & m[w]);
      }
    } else if (kind == Kind::kDouble) {
      const double* v = doubles.data();
      const auto td = static_cast<double>(t);
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
      for (std::int64_t w = 0; w < words; ++w) {
        std::uint64_t mask = 0;
        for (int b = 0; b < 64; ++b) mask |= static_cast<std::uint64_t>(v[w * 64 + b] > td) << b;
        count += std::popcount(mask & m[w]);
      }
    } else if (kind == Kind::kValue) {
      const auto n = static_cast<std::int64_t>(rows);
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
      for (std::int64_t r = 0; r < n; ++r) count += value_greater(values[r], t);
    }
    return count;
  }
  void save(Image& out) const {
    out.put_word(label), out.put_word(key), out.put_word(static_cast<std::uint64_t>(kind));
    out.put_word(rows), out.put_word(heap_garbage), out.put_word(item_garbage);
    out.put(valid), out.put(ints), out.put(doubles), out.put(bits), out.put(slots), out.put(items), out.put(heap);
    std::string encoded;
    for (const Value& v : values) encode_value(encoded, v);
    out.put_word(values.size()), out.put(encoded);
  }
  void load(Image& in) {
    label = static_cast<std::uint16_t>(in.get_word()), key = static_cast<std::uint32_t>(in.get_word());
    kind = static_cast<Kind>(in.get_word()), rows = static_cast<std::uint32_t>(in.get_word());
    heap_garbage = in.get_word(), item_garbage = in.get_word();
    in.get(valid), in.get(ints), in.get(doubles), in.get(bits), in.get(slots), in.get(items), in.get(heap);
    values.resize(in.get_word());
    std::string encoded;
    in.get(encoded);
    const auto* p = reinterpret_cast<const std::uint8_t*>(encoded.data());
    for (Value& v : values) v = decode_value(p);
  }
};

constexpr std::uint32_t kNoColumn = UINT32_MAX;

// Which (label, key) pairs get a column, from the pair's row count, the
// label's node count and the kind all its values share (kValue if mixed).
using ColumnPolicy = bool (*)(std::uint64_t count, std::uint64_t label_rows, Kind kind);

class ColumnarStore {
 public:
  void build(const Dataset& d, ColumnPolicy policy) {
    labels_ = &d.labels;
    row_.resize(d.labels.size());
    node_of_row_.assign(kLabelCount, {});
    for (std::uint32_t n = 0; n < d.labels.size(); ++n) {
      row_[n] = static_cast<std::uint32_t>(node_of_row_[d.labels[n]].size());
      node_of_row_[d.labels[n]].push_back(n);
    }
    // Pass 1: each pair's count, kind and string bytes, so that pass 2
    // writes into arrays sized once.
    struct Stats {
      std::uint64_t count = 0, bytes = 0, items = 0;
      int kind = -1;
    };
    const std::size_t keys = d.dict.names.size();
    std::vector<Stats> stats(kLabelCount * keys);
    std::vector<std::uint32_t> key_of_row(d.rows.size());
    for (std::size_t i = 0; i < d.rows.size(); ++i) {
      const Row& r = d.rows[i];
      key_of_row[i] = d.dict.id(r.key);
      Stats& s = stats[d.labels[r.node] * keys + key_of_row[i]];
      const int k = static_cast<int>(kind_of(r.value));
      s.kind = s.kind == -1 || s.kind == k ? k : static_cast<int>(Kind::kValue);
      ++s.count;
      if (r.value.is<std::string>()) s.bytes += r.value.as<std::string>().size();
      if (r.value.is<ValueList>())
        for (const Value& e : r.value.as<ValueList>())
          if (e.is<std::string>()) s.bytes += e.as<std::string>().size(), ++s.items;
    }
    column_of_.assign(kLabelCount, std::vector<std::uint32_t>(keys, kNoColumn));
    for (std::uint16_t l = 0; l < kLabelCount; ++l)
      for (std::uint32_t k = 0; k < keys; ++k) {
        const Stats& s = stats[l * keys + k];
        if (s.count == 0 || !policy(s.count, node_of_row_[l].size(), static_cast<Kind>(s.kind))) continue;
        column_of_[l][k] = static_cast<std::uint32_t>(columns_.size());
        Column& c = columns_.emplace_back();
        c.label = l, c.key = k, c.kind = static_cast<Kind>(s.kind);
        c.resize(static_cast<std::uint32_t>(node_of_row_[l].size()));
        c.heap.reserve(s.bytes), c.items.reserve(s.items);
      }
    for (std::size_t i = 0; i < d.rows.size(); ++i) {
      const Row& r = d.rows[i];
      const std::uint32_t c = column_of_[d.labels[r.node]][key_of_row[i]];
      if (c != kNoColumn) columns_[c].set(row_[r.node], r.value);
    }
  }
  Column* column(std::uint16_t label, std::uint32_t key) {
    if (key >= column_of_[label].size() || column_of_[label][key] == kNoColumn) return nullptr;
    return &columns_[column_of_[label][key]];
  }
  const Column* column(std::uint16_t label, std::uint32_t key) const {
    return const_cast<ColumnarStore*>(this)->column(label, key);
  }
  std::uint16_t label(std::uint32_t node) const { return (*labels_)[node]; }
  std::uint32_t row(std::uint32_t node) const { return row_[node]; }
  const std::vector<std::uint32_t>& nodes(std::uint16_t label) const { return node_of_row_[label]; }

  std::uint64_t count_greater(KeyRef key, std::int64_t t, int threads) const {
    std::uint64_t count = 0;
    for (std::uint16_t l = 0; l < kLabelCount; ++l)
      if (const Column* c = column(l, key.id)) count += c->count_greater(t, threads);
    return count;
  }
  std::uint64_t probe(std::uint32_t node, KeyRef key) const {
    const Column* c = column(label(node), key.id);
    return c ? c->checksum_at(row_[node]) : 0;
  }
  Column& add_column(std::uint16_t l, std::uint32_t key, Kind kind) {
    if (key >= column_of_[l].size()) column_of_[l].resize(key + 1, kNoColumn);
    column_of_[l][key] = static_cast<std::uint32_t>(columns_.size());
    Column& c = columns_.emplace_back();
    c.label = l, c.key = key, c.kind = kind;
    c.resize(static_cast<std::uint32_t>(node_of_row_[l].size()));
    return c;
  }
  void set(std::uint32_t node, KeyRef key, const Value& v) {
    Column* c = column(label(node), key.id);
    if (!c) {
      if (v.is_null()) return;
      c = &add_column(label(node), key.id, kind_of(v));
    }
    if (!c->accepts(v)) c->demote();
    c->set(row_[node], v);
  }
  void save(Image& out) const {
    out.put(row_);
    for (const auto& n : node_of_row_) out.put(n);
    out.put_word(columns_.size());
    for (const Column& c : columns_) c.save(out);
  }
  void load(Image& in, const Dataset& d) {
    labels_ = &d.labels;
    in.get(row_);
    node_of_row_.resize(kLabelCount);
    for (auto& n : node_of_row_) in.get(n);
    columns_.resize(in.get_word());
    column_of_.assign(kLabelCount, {});
    for (std::uint32_t i = 0; i < columns_.size(); ++i) {
      columns_[i].load(in);
      auto& of = column_of_[columns_[i].label];
      if (columns_[i].key >= of.size()) of.resize(columns_[i].key + 1, kNoColumn);
      of[columns_[i].key] = i;
    }
  }

 private:
  const std::vector<std::uint16_t>* labels_ = nullptr;  // by identity; the graph's, not owned
  std::vector<std::uint32_t> row_;                      // by identity: row within its label
  std::vector<std::vector<std::uint32_t>> node_of_row_;  // by label, then row: identity
  std::vector<std::vector<std::uint32_t>> column_of_;    // by label, then key id: index in columns_
  std::vector<Column> columns_;
};

bool every_pair(std::uint64_t, std::uint64_t, Kind) { return true; }
bool dense_single_type(std::uint64_t count, std::uint64_t rows, Kind kind) {
  return count * 2 >= rows && kind != Kind::kValue;
}

// ---------------------------------------------------------- (c) records

class RecordStore {
 public:
  // Rows for which skip(node, key id) holds are left out (the hybrid's columns).
  template <typename Skip>
  void build(const Dataset& d, Skip skip) {
    slot_.assign(d.labels.size(), 0);
    buf_.reserve(d.rows.size() * 12);
    std::vector<std::pair<std::uint32_t, const Value*>> own;
    for (std::size_t i = 0; i < d.rows.size();) {
      const std::uint32_t node = d.rows[i].node;
      own.clear();
      for (; i < d.rows.size() && d.rows[i].node == node; ++i) {
        const std::uint32_t key = d.dict.id(d.rows[i].key);
        if (!skip(node, key)) own.emplace_back(key, &d.rows[i].value);
      }
      if (own.empty()) continue;
      std::sort(own.begin(), own.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      const std::size_t start = buf_.size();
      for (const auto& [key, value] : own) put_varint(buf_, key), encode_value(buf_, *value);
      slot_[node] = pack(start, buf_.size() - start);
    }
    buf_.shrink_to_fit();
  }
  // The encoded value of `key` on `node`, or nullptr.
  const std::uint8_t* find(std::uint32_t node, std::uint32_t key) const {
    const std::uint8_t* p = begin(node);
    const std::uint8_t* end = p + (slot_[node] & kLengthMask);
    while (p < end) {
      const std::uint64_t k = get_varint(p);
      if (k == key) return p;
      if (k > key) return nullptr;
      skip_value(p);
    }
    return nullptr;
  }
  std::uint64_t count_greater(KeyRef key, std::int64_t t, int threads) const {
    std::uint64_t count = 0;
    const auto n = static_cast<std::int64_t>(slot_.size());
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
      const std::uint8_t* p = find(static_cast<std::uint32_t>(i), key.id);
      count += p && encoded_greater(p, t);
    }
    return count;
  }
  std::uint64_t probe(std::uint32_t node, KeyRef key) const {
    const std::uint8_t* p = find(node, key.id);
    return p ? encoded_checksum(p) : 0;
  }
  // Rewrites the node's records at the end of the buffer, without `key`
  // when v is null; the old bytes become garbage.
  void set(std::uint32_t node, KeyRef key, const Value& v) {
    scratch_.clear();
    const std::uint8_t* p = begin(node);
    const std::uint8_t* end = p + (slot_[node] & kLengthMask);
    bool written = v.is_null();
    while (p < end) {
      const std::uint8_t* record = p;
      const std::uint64_t k = get_varint(p);
      skip_value(p);
      if (k >= key.id && !written) put_varint(scratch_, key.id), encode_value(scratch_, v), written = true;
      if (k != key.id) scratch_.append(reinterpret_cast<const char*>(record), p - record);
    }
    if (!written) put_varint(scratch_, key.id), encode_value(scratch_, v);
    garbage_ += slot_[node] & kLengthMask;
    slot_[node] = pack(buf_.size(), scratch_.size());
    buf_ += scratch_;
    if (garbage_ > (1u << 20) && garbage_ * 2 > buf_.size()) compact();
  }
  void compact() {
    std::string fresh;
    fresh.reserve(buf_.size() - garbage_);
    for (std::uint64_t& s : slot_) {
      const std::size_t start = fresh.size();
      fresh.append(buf_, s >> 24, s & kLengthMask);
      s = pack(start, s & kLengthMask);
    }
    buf_ = std::move(fresh);
    garbage_ = 0;
  }
  void save(Image& out) const {
    out.put(slot_), out.put(buf_);
  }
  void load(Image& in, const Dataset&) {
    in.get(slot_), in.get(buf_);
    garbage_ = 0;
  }

 private:
  static constexpr std::uint64_t kLengthMask = (1ULL << 24) - 1;
  static std::uint64_t pack(std::size_t offset, std::size_t length) { return offset << 24 | length; }
  const std::uint8_t* begin(std::uint32_t node) const {
    return reinterpret_cast<const std::uint8_t*>(buf_.data()) + (slot_[node] >> 24);
  }
  std::vector<std::uint64_t> slot_;  // by identity: offset << 24 | length of its records
  std::string buf_;                  // every node's records
  std::uint64_t garbage_ = 0;        // bytes of buf_ no slot refers to
  std::string scratch_;              // set()'s new records, reused
};

// ----------------------------------------------------------- (d) hybrid

class HybridStore {
 public:
  void build(const Dataset& d) {
    columns_.build(d, dense_single_type);
    in_records_.assign(kLabelCount, std::vector<std::uint64_t>(d.dict.names.size()));
    records_.build(d, [&](std::uint32_t node, std::uint32_t key) {
      if (columns_.column(d.labels[node], key)) return true;
      ++in_records_[d.labels[node]][key];
      return false;
    });
  }
  std::uint64_t count_greater(KeyRef key, std::int64_t t, int threads) const {
    std::uint64_t count = 0;
    for (std::uint16_t l = 0; l < kLabelCount; ++l) {
      const Column* c = columns_.column(l, key.id);
      if (c) count += c->count_greater(t, threads);
      if (records_holding(l, key.id) == 0) continue;
      // Rows whose value is not in a column: read their records.
      const std::vector<std::uint32_t>& nodes = columns_.nodes(l);
      const auto n = static_cast<std::int64_t>(nodes.size());
#pragma omp parallel for reduction(+ : count) num_threads(threads) schedule(static)
      for (std::int64_t r = 0; r < n; ++r) {
        if (c && c->has(static_cast<std::uint32_t>(r))) continue;
        const std::uint8_t* p = records_.find(nodes[r], key.id);
        count += p && encoded_greater(p, t);
      }
    }
    return count;
  }
  std::uint64_t probe(std::uint32_t node, KeyRef key) const {
    const std::uint16_t l = columns_.label(node);
    const Column* c = columns_.column(l, key.id);
    const std::uint32_t r = columns_.row(node);
    if (c && c->has(r)) return c->checksum_at(r);
    return records_holding(l, key.id) ? records_.probe(node, key) : 0;
  }
  void set(std::uint32_t node, KeyRef key, const Value& v) {
    const std::uint16_t l = columns_.label(node);
    Column* c = columns_.column(l, key.id);
    const std::uint32_t r = columns_.row(node);
    const bool in_records = records_holding(l, key.id) && records_.find(node, key.id);
    if (key.id >= in_records_[l].size()) in_records_[l].resize(key.id + 1);
    if (c && c->accepts(v) && !v.is_null()) {
      if (in_records) records_.set(node, key, Value()), --in_records_[l][key.id];
      c->set(r, v);
      return;
    }
    if (c && c->has(r)) c->set(r, Value());
    if (!v.is_null() || in_records) records_.set(node, key, v);
    if (!v.is_null() && !in_records) ++in_records_[l][key.id];
    if (v.is_null() && in_records) --in_records_[l][key.id];
  }
  void save(Image& out) const {
    columns_.save(out), records_.save(out);
    for (const auto& counts : in_records_) out.put(counts);
  }
  void load(Image& in, const Dataset& d) {
    columns_.load(in, d), records_.load(in, d);
    in_records_.resize(kLabelCount);
    for (auto& counts : in_records_) in.get(counts);
  }

 private:
  std::uint64_t records_holding(std::uint16_t label, std::uint32_t key) const {
    return key < in_records_[label].size() ? in_records_[label][key] : 0;
  }
  ColumnarStore columns_;  // keys on at least half of a label's nodes, one type
  RecordStore records_;    // everything else, and values that do not fit their column
  std::vector<std::vector<std::uint64_t>> in_records_;  // by label, then key id: nodes holding it in records
};

class ColumnOnlyStore : public ColumnarStore {
 public:
  void build(const Dataset& d) { ColumnarStore::build(d, every_pair); }
};

class RecordOnlyStore : public RecordStore {
 public:
  void build(const Dataset& d) {
    RecordStore::build(d, [](std::uint32_t, std::uint32_t) { return false; });
  }
};

// ------------------------------------------------- (e) orvane::PropertyStore

double g_organise_ms = 0;  // the last build's organise(), reported beside the tables

class RealStore {
 public:
  void build(const Dataset& d) {
    for (const std::string& name : d.dict.names) store_.intern_key(name);  // the same ids as the dataset's
    store_.reserve(d.labels.size());
    for (const std::uint16_t label : d.labels) store_.append(label);
    std::vector<std::pair<std::uint32_t, Value>> entries;
    for (std::size_t i = 0; i < d.rows.size();) {
      const std::uint32_t node = d.rows[i].node;
      entries.clear();
      for (; i < d.rows.size() && d.rows[i].node == node; ++i) entries.emplace_back(d.dict.id(d.rows[i].key), d.rows[i].value);
      store_.set_all(node, entries);
    }
    const auto t0 = Clock::now();
    store_.organise();
    g_organise_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  // Single-threaded whatever `threads` says: the store's scans are serial.
  std::uint64_t count_greater(KeyRef key, std::int64_t t, int) const {
    std::uint64_t count = 0;
    const auto td = static_cast<double>(t);
    for (std::uint16_t l = 0; l < kLabelCount; ++l) {
      store_.scan_int_batches(l, key.id, [&](const orvane::PropertyStore::IntBatch& b) {
        for (std::size_t i = 0; i < b.size; ++i) count += b.values[i] > t;
      });
      store_.scan_float_batches(l, key.id, [&](const orvane::PropertyStore::FloatBatch& b) {
        for (std::size_t i = 0; i < b.size; ++i) count += b.values[i] > td;
      });
    }
    return count;
  }
  std::uint64_t probe(std::uint32_t node, KeyRef key) const { return checksum(store_.get(node, key.id)); }
  void set(std::uint32_t node, KeyRef key, const Value& v) { store_.set(node, key.id, v); }
  void save(Image& out) const {
    store_.write([&](const void* data, std::size_t size) { out.bytes.append(static_cast<const char*>(data), size); });
  }
  void load(Image& in, const Dataset& d) {
    store_ = orvane::PropertyStore::read(
        [&](void* data, std::size_t size) {
          std::memcpy(data, in.bytes.data() + in.at, size);
          in.at += size;
        },
        in.bytes.size() - in.at, d.labels.size());
  }

 private:
  orvane::PropertyStore store_;
};

// ------------------------------------------------------------- driver

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Bytes the allocator has handed out and not taken back (glibc, one arena:
// everything here allocates on the main thread).
std::uint64_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

std::uint64_t rss_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// The machine is shared: the load average says how far to trust the
// two-thread figures.
std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " " + five;
}

struct Write {
  std::uint32_t node;  // identity
  KeyRef key;
  Value value;
};

constexpr int kPhases = 4;
const char* const kPhaseNames[kPhases] = {"set int (age)", "set string (name)", "add new key", "change type"};

struct Workload {
  KeyRef age;
  std::vector<std::pair<std::uint32_t, KeyRef>> probes;  // (identity, key) per lookup
  std::vector<std::uint32_t> age_probes;                 // Person identities whose age is looked up
  std::vector<std::vector<Write>> writes[kPhases];        // by phase, then repeat
};

// Lookups: a random node and one of its label's keys (a common key 9 times
// in 10, else a rare or partial one). Writes: 10,000 random nodes per
// phase and repeat; Person nodes except for the new key.
Workload make_workload(Dataset& d, int repeats, std::uint64_t seed) {
  for (int r = 0; r < repeats; ++r) d.dict.intern("rank" + std::to_string(r));
  auto ref = [&](const char* name) {
    const std::uint32_t id = d.dict.id(name);
    return KeyRef{id, &d.dict.names[id]};
  };
  const std::vector<KeyRef> common[kLabelCount] = {
      {ref("name"), ref("age"), ref("born"), ref("score"), ref("active"), ref("tags")},
      {ref("title"), ref("year"), ref("citations"), ref("rating"), ref("keywords"), ref("doi")}};
  const std::vector<KeyRef> rare[kLabelCount] = {{ref("email"), ref("nickname"), ref("height")},
                                                 {ref("pages"), ref("retracted"), ref("location")}};
  Workload w;
  w.age = ref("age");
  Rng rng{seed};
  const auto n = static_cast<std::uint32_t>(d.labels.size());
  w.probes.reserve(1000000);
  for (int i = 0; i < 1000000; ++i) {
    const auto node = static_cast<std::uint32_t>(rng.below(n));
    const auto& keys = rng.chance(0.9) ? common[d.labels[node]] : rare[d.labels[node]];
    w.probes.emplace_back(node, keys[rng.below(keys.size())]);
  }
  auto person = [&] {
    for (;;)
      if (const auto node = static_cast<std::uint32_t>(rng.below(n)); d.labels[node] == kPerson) return node;
  };
  for (int i = 0; i < 1000000; ++i) w.age_probes.push_back(person());
  const KeyRef retyped[4] = {ref("age"), ref("score"), ref("born"), ref("active")};
  for (int r = 0; r < repeats; ++r) {
    const std::string rank = "rank" + std::to_string(r);
    for (auto& phase : w.writes) phase.emplace_back();
    for (int i = 0; i < 10000; ++i) {
      w.writes[0][r].push_back({person(), ref("age"), rng.between(16, 90)});
      w.writes[1][r].push_back({person(), ref("name"), rng.word(5, 20)});
      w.writes[2][r].push_back({static_cast<std::uint32_t>(rng.below(n)), ref(rank.c_str()), rng.between(0, 1000)});
      if (r < 4) w.writes[3][r].push_back({person(), retyped[r], Value("unknown")});
    }
  }
  return w;
}

struct Result {
  const char* name;
  double build_ms = 0, scan1_ms = 0, scan2_ms = 0, lookup_ns = 0, age_ns = 0, save_ms = 0, load_ms = 0, sha_ms = 0;
  double write_us[kPhases] = {}, rescan_ms = 0;
  std::uint64_t heap = 0, rss = 0, image = 0, growth = 0;
  std::uint64_t count = 0, sum = 0, age_sum = 0, loaded_count = 0, loaded_sum = 0, recount = 0;  // the oracle
};

template <typename Store>
Result run(const char* name, const Dataset& d, const Workload& w, int repeats) {
  Result res{name};
  std::unique_ptr<Store> store;
  std::vector<double> t;
  for (int r = 0; r < repeats; ++r) {
    store.reset();
    malloc_trim(0);
    const std::uint64_t heap0 = heap_in_use(), rss0 = rss_bytes();
    const auto t0 = Clock::now();
    store = std::make_unique<Store>();
    store->build(d);
    t.push_back(ms_since(t0));
    if (r == 0) {
      res.heap = heap_in_use() - heap0;
      malloc_trim(0);  // the build's temporaries are gone; count only what the store pins
      res.rss = rss_bytes() - rss0;
    }
  }
  res.build_ms = median(t);

  for (int threads = 1; threads <= 2; ++threads) {
    t.clear();
    store->count_greater(w.age, 30, threads);  // warm-up: pages touched, threads started
    for (int r = 0; r < repeats; ++r) {
      const auto t0 = Clock::now();
      res.count = store->count_greater(w.age, 30, threads);
      t.push_back(ms_since(t0));
    }
    (threads == 1 ? res.scan1_ms : res.scan2_ms) = median(t);
  }

  t.clear();
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = Clock::now();
    std::uint64_t sum = 0;
    for (const auto& [node, key] : w.probes) sum += store->probe(node, key);
    t.push_back(ms_since(t0) * 1e6 / static_cast<double>(w.probes.size()));
    res.sum = sum;
  }
  res.lookup_ns = median(t);
  t.clear();
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = Clock::now();
    std::uint64_t sum = 0;
    for (const std::uint32_t node : w.age_probes) sum += store->probe(node, w.age);
    t.push_back(ms_since(t0) * 1e6 / static_cast<double>(w.age_probes.size()));
    res.age_sum = sum;
  }
  res.age_ns = median(t);

  Image image;
  t.clear();
  for (int r = 0; r < repeats; ++r) {
    image = Image();
    const auto t0 = Clock::now();
    store->save(image);
    t.push_back(ms_since(t0));
  }
  res.save_ms = median(t);
  res.image = image.bytes.size();
  t.clear();
  for (int r = 0; r < repeats; ++r) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const auto t0 = Clock::now();
    EVP_Digest(image.bytes.data(), image.bytes.size(), digest, &length, EVP_sha256(), nullptr);
    t.push_back(ms_since(t0));
  }
  res.sha_ms = median(t);
  t.clear();
  for (int r = 0; r < repeats; ++r) {
    image.at = 0;
    auto loaded = std::make_unique<Store>();
    const auto t0 = Clock::now();
    loaded->load(image, d);
    t.push_back(ms_since(t0));
    if (r == 0) {
      res.loaded_count = loaded->count_greater(w.age, 30, 1);
      for (const auto& [node, key] : w.probes) res.loaded_sum += loaded->probe(node, key);
    }
  }
  res.load_ms = median(t);
  image = Image();
  malloc_trim(0);

  const std::uint64_t before_writes = heap_in_use();
  for (int p = 0; p < kPhases; ++p) {
    t.clear();
    for (const auto& batch : w.writes[p]) {
      if (batch.empty()) continue;
      const auto t0 = Clock::now();
      for (const Write& wr : batch) store->set(wr.node, wr.key, wr.value);
      t.push_back(ms_since(t0) * 1000 / static_cast<double>(batch.size()));
    }
    res.write_us[p] = median(t);
  }
  res.growth = heap_in_use() - before_writes;
  t.clear();
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = Clock::now();
    res.recount = store->count_greater(w.age, 30, 1);
    t.push_back(ms_since(t0));
  }
  res.rescan_ms = median(t);
  std::fprintf(stderr, "  %s done\n", name);
  return res;
}

void report(std::uint32_t nodes, const Dataset& d, std::uint64_t rows_heap, const std::vector<Result>& results) {
  const double n = nodes;
  std::printf("\n## %u nodes: %zu property rows (%.2f per node), %zu keys; the rows themselves take %.0f B/node\n\n",
              nodes, d.rows.size(), static_cast<double>(d.rows.size()) / n, d.dict.names.size(),
              static_cast<double>(rows_heap) / n);
  std::printf("| layout | build ms | heap B/node | RSS delta B/node | scan age>30 1 thr ms | 2 thr ms | "
              "lookup ns | age lookup ns | matches | lookup checksum |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Result& r : results)
    std::printf("| %s | %.0f | %.1f | %.1f | %.2f | %.2f | %.0f | %.0f | %llu | %llx |\n", r.name, r.build_ms,
                static_cast<double>(r.heap) / n, static_cast<double>(r.rss) / n, r.scan1_ms, r.scan2_ms,
                r.lookup_ns, r.age_ns, static_cast<unsigned long long>(r.count), static_cast<unsigned long long>(r.sum));
  std::printf("\n| layout | image MB | save ms | save MB/s | load ms | load MB/s | SHA-256 of image ms | "
              "load / SHA-256 |\n|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Result& r : results) {
    const double mb = static_cast<double>(r.image) / 1e6;
    std::printf("| %s | %.1f | %.1f | %.0f | %.1f | %.0f | %.1f | %.2f |\n", r.name, mb, r.save_ms,
                mb / r.save_ms * 1e3, r.load_ms, mb / r.load_ms * 1e3, r.sha_ms, r.load_ms / r.sha_ms);
  }
  std::printf("\n| layout |");
  for (const char* p : kPhaseNames) std::printf(" %s µs/op |", p);
  std::printf(" heap growth MB | scan after type change ms | matches |\n|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Result& r : results) {
    std::printf("| %s |", r.name);
    for (double us : r.write_us) std::printf(" %.2f |", us);
    std::printf(" %.1f | %.2f | %llu |\n", static_cast<double>(r.growth) / 1e6, r.rescan_ms,
                static_cast<unsigned long long>(r.recount));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::uint32_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  if (sizes.empty()) sizes = {100000, 1000000};
  std::printf("# property_layouts: median of %d repeats; SHA-256 via OpenSSL in the same run; load average %s\n",
              repeats, load_average().c_str());
  bool agree = true;
  for (const std::uint32_t nodes : sizes) {
    malloc_trim(0);
    const std::uint64_t heap0 = heap_in_use();
    Dataset d = make_dataset(nodes, 42);
    const std::uint64_t rows_heap = heap_in_use() - heap0;
    const Workload w = make_workload(d, repeats, 7);
    std::fprintf(stderr, "%u nodes\n", nodes);
    std::vector<Result> results;
    results.push_back(run<JsonStore>("(a) json", d, w, repeats));
    results.push_back(run<ColumnOnlyStore>("(b) columnar", d, w, repeats));
    results.push_back(run<RecordOnlyStore>("(c) records", d, w, repeats));
    results.push_back(run<HybridStore>("(d) hybrid", d, w, repeats));
    results.push_back(run<RealStore>("(e) store", d, w, repeats));
    report(nodes, d, rows_heap, results);
    std::printf("\n(e) store: organise() after the bulk load %.1f ms\n", g_organise_ms);
    for (const Result& r : results) {
      const Result& a = results.front();
      if (r.count != a.count || r.sum != a.sum || r.age_sum != a.age_sum || r.loaded_count != a.count || r.loaded_sum != a.sum ||
          r.recount != a.recount) {
        std::printf("\nMISMATCH: %s disagrees with %s\n", r.name, a.name);
        agree = false;
      }
    }
  }
  std::printf("\nload average at the end: %s\n", load_average().c_str());
  std::fflush(stdout);
  return agree ? 0 : 1;
}
