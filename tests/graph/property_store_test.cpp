// The property store: every value type through every path (set/get, JSON,
// snapshot bytes, in a column and in records), placement by organise(),
// removal and truncation, scans against a brute-force oracle over random
// data, and hostile snapshot bytes (every truncation, a table of
// corruptions), which must fail with a message and never read out of
// bounds (the suite also runs under AddressSanitizer/UBSan).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include "graph/property_store.h"
#include "support/error_text.h"

namespace orvane {
namespace {

using json = nlohmann::json;
using testing::error_of;

// Values compare through their typed JSON, so NaN equals NaN.
std::string text_of(const Value& v) { return to_typed_json(v).dump(); }

std::string serialise(const PropertyStore& s) {
  std::string out;
  s.write([&](const void* data, std::size_t size) { out.append(static_cast<const char*>(data), size); });
  return out;
}

PropertyStore reread(const PropertyStore& s) { return PropertyStore::read_bytes(serialise(s), s.size()); }

void expect_same_store(const PropertyStore& a, const PropertyStore& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::uint64_t e = 0; e < a.size(); ++e) {
    EXPECT_EQ(a.group_of(e), b.group_of(e));
    EXPECT_TRUE(a.same_properties(e, b, e)) << "entity " << e << ": " << a.to_json(e) << " vs " << b.to_json(e);
  }
}

std::vector<Value> every_kind_of_value() {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  return {
      true, false, std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::min(),
      std::numeric_limits<std::int64_t>::max(), 1.5, -0.0, nan, inf, -inf, std::string(""), std::string("héllo ✓"),
      std::string(100000, 'x'), Bytes{std::string("\0\xff\x01", 3)}, Date{-719162}, Date{20000}, LocalTime{0},
      LocalTime{kNanosPerDay - 1}, Time{3600 * kNanosPerSecond + 5, -18000}, LocalDateTime{-1, 999999999},
      DateTime{1700000000, 123, 3600, "Europe/Paris"}, DateTime{0, 0, -64800, ""},
      Duration{14, -3, -7, 500000000}, Point{7203, 1.5, -2, 0}, Point{4979, 2.25, 48.5, 100},
      ValueList{}, ValueList{std::int64_t{1}, std::int64_t{-2}}, ValueList{1.0, nan}, ValueList{true, false},
      ValueList{std::string("a"), std::string("")}, ValueList{Date{1}, Date{2}}, ValueList{Bytes{"x"}},
      ValueList{LocalTime{5}}, ValueList{Time{1, 2}}, ValueList{LocalDateTime{3, 4}}, ValueList{DateTime{5, 6, 7, "UTC"}},
      ValueList{Duration{1, 2, 3, 4}}, ValueList{Point{4326, 1, 2, 0}},
  };
}

// Each value alone on one entity of twenty (in its records), and on every
// entity (in a column when its type has one): get, to_json and the
// snapshot bytes all give it back.
TEST(PropertyStore, EveryValueTypeRoundTrips) {
  for (const Value& value : every_kind_of_value()) {
    SCOPED_TRACE(text_of(value).substr(0, 80));
    for (const bool everywhere : {false, true}) {
      PropertyStore s;
      const std::uint32_t key = s.intern_key("k");
      for (int e = 0; e < 20; ++e) s.append(3);
      for (int e = 0; e < 20; ++e)
        if (everywhere || e == 7) s.set(e, key, value);
      s.organise();
      EXPECT_EQ(text_of(value), text_of(s.get(7, key)));
      EXPECT_TRUE(s.has(7, key));
      EXPECT_EQ(json({{"k", to_typed_json(value)}}), s.to_json(7));
      EXPECT_EQ(everywhere ? 20u : 1u, [&] {
        std::size_t n = 0;
        s.scan(3, key, [&](std::uint64_t, const Value& v) { n += text_of(v) == text_of(value); });
        return n;
      }());
      const PropertyStore back = reread(s);
      expect_same_store(s, back);
      EXPECT_EQ(text_of(value), text_of(back.get(7, key)));
    }
  }
}

TEST(PropertyStore, KeyDictionary) {
  PropertyStore s;
  EXPECT_EQ(0u, s.intern_key("name"));
  EXPECT_EQ(1u, s.intern_key("age"));
  EXPECT_EQ(0u, s.intern_key("name"));
  EXPECT_EQ(1u, s.find_key("age"));
  EXPECT_EQ(kNoPropertyKey, s.find_key("nope"));
  EXPECT_EQ("age", s.key_name(1));
  EXPECT_EQ("text is not valid UTF-8", error_of([&] { s.intern_key("\xc3("); }));
  EXPECT_EQ(2u, s.key_count());
}

// to_json lists keys in byte order whatever their ids; the typed forms
// survive set_all_from_json and back.
TEST(PropertyStore, JsonObjectsInAndOut) {
  PropertyStore s;
  s.append(0);
  const json object = json::parse(R"({"b": 1, "a": [1.5, 2.0], "Z": {"$type": "Date", "_value": "2024-02-29"},
      "big": {"$type": "Integer", "_value": "9007199254740993"}, "gone": null})");
  s.set_all_from_json(0, object);
  EXPECT_EQ(R"({"Z":{"$type":"Date","_value":"2024-02-29"},"a":[1.5,2.0],"b":1,)"
            R"("big":{"$type":"Integer","_value":"9007199254740993"}})",
            s.to_json(0).dump());
  EXPECT_EQ(4u, s.count(0));
  s.set_all_from_json(0, json::parse(R"({"c": "x"})"));
  EXPECT_EQ(R"({"c":"x"})", s.to_json(0).dump());
}

// A failed write leaves the store exactly as it was, and says why.
TEST(PropertyStore, FailedWritesChangeNothing) {
  PropertyStore s;
  const std::uint32_t k = s.intern_key("k");
  for (int e = 0; e < 4; ++e) s.append(0), s.set(e, k, std::int64_t{e});
  s.organise();
  s.set(1, s.intern_key("r"), "rare");
  const PropertyStore before = s;
  const std::uint32_t keys = s.key_count();
  const struct {
    std::function<void()> write;
    const char* message;
  } cases[] = {
      {[&] { s.set(0, k, std::string("\xff")); }, "text is not valid UTF-8"},
      {[&] { s.set(0, k, ValueList{std::int64_t{1}, std::string("a")}); }, "invalid property value: a list of mixed types"},
      {[&] { s.set(0, k, ValueList{Value()}); }, "invalid property value: null inside a list"},
      {[&] { s.set(0, k, ValueList{ValueList{}}); }, "invalid property value: a list inside a list"},
      {[&] { s.set(0, k, Date{std::int64_t{1} << 60}); }, "invalid property value: DATE out of range"},
      {[&] { s.set(0, k, LocalTime{-1}); }, "invalid property value: LOCAL TIME out of range"},
      {[&] { s.set(0, k, Point{1234, 0, 0, 0}); }, "invalid property value: unknown SRID 1234"},
      {[&] { s.set(0, k, DateTime{0, 0, 0, "\xff"}); }, "text is not valid UTF-8"},
      {[&] { s.set_all_from_json(1, json::array()); }, "properties must be a JSON object"},
      {[&] { s.set_all_from_json(1, json{{"new", 1}, {"x", {{"a", 1}}}}); }, "invalid property value: a map is not a property value"},
      {[&] { s.set_all_from_json(1, json{{"new", 1}, {"x", json::array({1, "a"})}}); }, "invalid property value: a list of mixed types"},
      {[&] { s.set_all_from_json(1, json{{"\xff", 1}}); }, "text is not valid UTF-8"},
      {[&] { s.set_all(1, {{k, Value(1)}, {k, ValueList{Value()}}}); }, "invalid property value: null inside a list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.message, error_of(c.write));
    expect_same_store(before, s);
    EXPECT_EQ(keys, s.key_count());
  }
}

// A key most of a group holds with one type becomes a column; a rare one,
// or one of mixed types, stays in the records. A value of another type
// written over a column goes to the records and reads back.
TEST(PropertyStore, OrganisePlacesValues) {
  PropertyStore s;
  const std::uint32_t age = s.intern_key("age"), nick = s.intern_key("nick"), mixed = s.intern_key("mixed");
  for (int e = 0; e < 10; ++e) s.append(e % 2);  // group 0: even entities, group 1: odd
  for (int e = 0; e < 10; ++e) {
    if (e != 4) s.set(e, age, e % 2 ? Value("old") : Value(std::int64_t{e}));
    if (e == 2) s.set(e, nick, "ace");
    if (e % 2 == 0) s.set(e, mixed, e < 6 ? Value(1.5) : Value(true));
  }
  EXPECT_FALSE(s.has_column(0, age));
  s.organise();
  EXPECT_TRUE(s.has_column(0, age));
  EXPECT_TRUE(s.has_column(1, age));
  EXPECT_FALSE(s.has_column(0, nick));
  EXPECT_FALSE(s.has_column(0, mixed));
  EXPECT_EQ("ace", s.get(2, nick).as<std::string>());
  EXPECT_EQ(1.5, s.get(0, mixed).as<double>());

  s.set(6, age, "six");  // over the int column
  EXPECT_EQ("six", s.get(6, age).as<std::string>());
  std::vector<std::uint64_t> ints;
  s.scan_int(0, age, [&](std::uint64_t e, std::int64_t v) { ints.push_back(e * 100 + static_cast<std::uint64_t>(v)); });
  EXPECT_EQ((std::vector<std::uint64_t>{0, 202, 808}), ints);
  s.organise();  // 3 of 5 still INTEGER, but the pair now has two types
  EXPECT_FALSE(s.has_column(0, age));
  EXPECT_EQ("six", s.get(6, age).as<std::string>());
  EXPECT_EQ(8, s.get(8, age).as<std::int64_t>());
  s.set(6, age, std::int64_t{6});
  s.organise();
  EXPECT_TRUE(s.has_column(0, age));
  const PropertyStore back = reread(s);
  expect_same_store(s, back);
  EXPECT_TRUE(back.has_column(0, age));
}

TEST(PropertyStore, RemoveClearTruncate) {
  PropertyStore s;
  const std::uint32_t a = s.intern_key("a"), b = s.intern_key("b");
  for (int e = 0; e < 6; ++e) s.append(0), s.set(e, a, std::int64_t{e}), s.set(e, b, "t" + std::to_string(e));
  s.set(5, s.intern_key("c"), 2.5);
  s.organise();
  s.remove(1, a);
  EXPECT_FALSE(s.has(1, a));
  EXPECT_TRUE(s.get(1, a).is_null());
  EXPECT_EQ(1u, s.count(1));
  s.clear(2);
  EXPECT_EQ(0u, s.count(2));
  EXPECT_EQ(json::object(), s.to_json(2));
  s.truncate(4);
  EXPECT_EQ(4u, s.size());
  s.append(0);
  EXPECT_EQ(0u, s.count(4));
  std::vector<std::uint64_t> seen;
  s.scan(0, s.find_key("c"), [&](std::uint64_t e, const Value&) { seen.push_back(e); });
  s.scan(0, a, [&](std::uint64_t e, const Value&) { seen.push_back(e); });
  EXPECT_EQ((std::vector<std::uint64_t>{0, 3}), seen);
  s.truncate(0);
  EXPECT_EQ(0u, s.size());
  EXPECT_EQ(0u, PropertyStore::read_bytes(serialise(s), 0).size());
}

// Random values of random types on three groups, written, removed and
// re-organised in rounds, so that every placement occurs: each scan and
// each lookup must agree with a plain map of what was written.
TEST(PropertyStore, ScansAgreeWithBruteForce) {
  std::mt19937_64 rng(20240229);
  PropertyStore s;
  std::map<std::pair<std::uint64_t, std::uint32_t>, Value> oracle;
  std::vector<std::uint32_t> keys;
  for (int k = 0; k < 6; ++k) keys.push_back(s.intern_key("k" + std::to_string(k)));
  // Each key has a type of its own; in odd rounds, a third of the writes
  // bring another type over it (while the columns of the even round's
  // organise() are in place), and even rounds take those out again before
  // organising, so that dense keys get their columns back.
  auto value_of_kind = [&](std::uint64_t kind, std::uint32_t key) -> Value {
    switch (kind) {
      case 0: return static_cast<std::int64_t>(rng() % 200) - 100;
      case 1: return static_cast<double>(rng() % 1000) / 7;
      case 2: return rng() % 2 == 0;
      case 3: return Date{static_cast<std::int64_t>(rng() % 40000) - 20000};
      case 4: return LocalTime{static_cast<std::int64_t>(rng() % kNanosPerDay)};
      case 5: return std::string(rng() % 12, static_cast<char>('a' + key));
      default: return ValueList{std::int64_t{1}};
    }
  };
  auto own_kind = [](const Value& v, std::uint32_t key) {
    static constexpr std::size_t kIndex[] = {2, 3, 1, 6, 7, 4};  // Value::Storage index of key k's own type
    return v.storage().index() == kIndex[key];
  };
  int mixed_pairs = 0;  // (group, key) pairs seen with a column and values of other types in records
  for (int round = 0; round < 6; ++round) {
    for (int e = 0; e < 150; ++e) s.append(static_cast<std::uint16_t>(rng() % 3));
    for (int w = 0; w < 900; ++w) {
      const std::uint64_t e = rng() % s.size();
      const std::uint32_t key = keys[rng() % keys.size()];
      const auto roll = rng() % 100;
      const Value v = roll < 8 ? Value() : value_of_kind(round % 2 == 1 && roll < 40 ? rng() % 7 : key, key);
      s.set(e, key, v);
      if (v.is_null()) oracle.erase({e, key});
      else oracle[{e, key}] = v;
    }
    if (round % 2 == 0) {
      std::erase_if(oracle, [&](const auto& entry) {
        if (own_kind(entry.second, entry.first.second)) return false;
        s.remove(entry.first.first, entry.first.second);
        return true;
      });
      s.organise();
    }
    if (round == 3) {
      const std::uint64_t keep = s.size() - 100;
      s.truncate(keep);
      std::erase_if(oracle, [&](const auto& entry) { return entry.first.first >= keep; });
    }
    const PropertyStore back = reread(s);
    for (const PropertyStore* store : {static_cast<const PropertyStore*>(&s), &back}) {
      for (std::uint16_t g = 0; g < 3; ++g) {
        for (const std::uint32_t key : keys) {
          std::vector<std::string> want[6], got[6];
          std::set<std::size_t> types;
          for (std::uint64_t e = 0; e < store->size(); ++e) {
            if (store->group_of(e) != g) continue;
            const auto it = oracle.find({e, key});
            if (it == oracle.end()) continue;
            const Value& v = it->second;
            types.insert(v.storage().index());
            const std::string entry = std::to_string(e) + "=" + text_of(v);
            want[0].push_back(entry);
            if (v.is<std::int64_t>()) want[1].push_back(entry);
            if (v.is<double>()) want[2].push_back(entry);
            if (v.is<bool>()) want[3].push_back(entry);
            if (v.is<Date>()) want[4].push_back(entry);
            if (v.is<LocalTime>()) want[5].push_back(entry);
          }
          mixed_pairs += store->has_column(g, key) && types.size() > 1;
          auto add = [&](int i, std::uint64_t e, const Value& v) { got[i].push_back(std::to_string(e) + "=" + text_of(v)); };
          store->scan(g, key, [&](std::uint64_t e, const Value& v) { add(0, e, v); });
          store->scan_int(g, key, [&](std::uint64_t e, std::int64_t v) { add(1, e, v); });
          store->scan_float(g, key, [&](std::uint64_t e, double v) { add(2, e, v); });
          store->scan_bool_batches(g, key, [&](const PropertyStore::IntBatch& b) {
            for (std::size_t i = 0; i < b.size; ++i) add(3, b.entities[i], b.values[i] != 0);
          });
          store->scan_date_batches(g, key, [&](const PropertyStore::IntBatch& b) {
            for (std::size_t i = 0; i < b.size; ++i) add(4, b.entities[i], Date{b.values[i]});
          });
          store->scan_local_time_batches(g, key, [&](const PropertyStore::IntBatch& b) {
            for (std::size_t i = 0; i < b.size; ++i) add(5, b.entities[i], LocalTime{b.values[i]});
          });
          for (int i = 0; i < 6; ++i) ASSERT_EQ(want[i], got[i]) << "round " << round << " group " << g << " key " << key << " scan " << i;
        }
      }
      for (std::uint64_t e = 0; e < store->size(); ++e) {
        std::size_t held = 0;
        for (const std::uint32_t key : keys) {
          const auto it = oracle.find({e, key});
          held += it != oracle.end();
          ASSERT_EQ(it == oracle.end() ? "null" : text_of(it->second), text_of(store->get(e, key))) << e;
        }
        ASSERT_EQ(held, store->count(e));
      }
    }
  }
  EXPECT_GT(mixed_pairs, 0);
  EXPECT_GT(s.memory_bytes(), 0u);
}

// A copy shares nothing with its original.
TEST(PropertyStore, CopyIsIndependent) {
  PropertyStore s;
  const std::uint32_t k = s.intern_key("k");
  for (int e = 0; e < 4; ++e) s.append(0), s.set(e, k, std::int64_t{e});
  s.organise();
  PropertyStore copy = s;
  copy.set(1, k, "changed");
  copy.set(2, copy.intern_key("new"), 1.5);
  copy.append(0);
  copy.truncate(2);
  EXPECT_EQ(4u, s.size());
  EXPECT_EQ(1, s.get(1, k).as<std::int64_t>());
  EXPECT_EQ(kNoPropertyKey, s.find_key("new"));
  EXPECT_EQ(2, s.get(2, k).as<std::int64_t>());
  PropertyStore moved = std::move(copy);
  EXPECT_EQ("changed", moved.get(1, k).as<std::string>());
}

// ------------------------------------------------------- hostile bytes

// A small store with a column of each common kind, records, a string
// column and a marker in both kinds of string storage.
PropertyStore small_store() {
  PropertyStore s;
  const std::uint32_t n = s.intern_key("n"), t = s.intern_key("t"), r = s.intern_key("r");
  for (int e = 0; e < 5; ++e) {
    s.append(e == 4 ? 1 : 0);
    s.set(e, n, std::int64_t{e * 10});
    s.set(e, t, "COLSTR" + std::to_string(e));
  }
  s.set(3, r, "RECSTR");
  s.set(4, r, ValueList{Date{1}, Date{2}});
  s.organise();
  return s;
}

TEST(PropertyStoreFile, RejectsEveryTruncation) {
  const std::string bytes = serialise(small_store());
  ASSERT_NO_THROW(PropertyStore::read_bytes(bytes, 5));
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    const std::string message = error_of([&] { PropertyStore::read_bytes(bytes.substr(0, length), 5); });
    ASSERT_EQ(0u, message.rfind("snapshot properties: ", 0)) << length << ": " << message;
  }
  EXPECT_EQ("snapshot properties: bytes after the end of the store",
            error_of([&] { PropertyStore::read_bytes(bytes + "x", 5); }));
  EXPECT_EQ("snapshot properties: 5 entities, more than the 4 expected", error_of([&] { PropertyStore::read_bytes(bytes, 4); }));
}

TEST(PropertyStoreFile, RejectsCorruptBytes) {
  const std::string good = serialise(small_store());
  auto word_at = [&](std::size_t at) {
    std::uint64_t w;
    std::memcpy(&w, good.data() + at, 8);
    return w;
  };
  const std::uint64_t entities = word_at(16), record_bytes = word_at(56);
  const std::size_t records = good.size() - record_bytes, slots = records - 8 * entities;
  const std::size_t first_slot = slots;  // entity 0 has no records: its slot is 2^64-1
  std::size_t with_records = 0;
  while (word_at(slots + 8 * with_records) == UINT64_MAX) ++with_records;
  auto find = [&](const char* marker) { return good.find(marker); };
  auto put_word = [](std::string& b, std::size_t at, std::uint64_t w) { std::memcpy(b.data() + at, &w, 8); };
  const struct {
    const char* name;
    std::function<void(std::string&)> corrupt;
    const char* message;
  } cases[] = {
      {"magic", [](std::string& b) { b[0] = 'X'; }, "not a property store"},
      {"version", [](std::string& b) { b[8] = 9; }, "unsupported version 9"},
      {"huge entity count", [&](std::string& b) { put_word(b, 16, 1ULL << 40); }, "1099511627776 entities, more than the 5 expected"},
      {"huge key count", [&](std::string& b) { put_word(b, 24, 1ULL << 31); }, "key names run past the end of the data"},
      {"huge name bytes", [&](std::string& b) { put_word(b, 32, UINT64_MAX / 2); }, "key names run past the end of the data"},
      {"huge column count", [&](std::string& b) { put_word(b, 48, UINT64_MAX / 8); }, "column heads run past the end of the data"},
      {"huge record bytes", [&](std::string& b) { put_word(b, 56, 1ULL << 62); }, ""},
      {"bad key name", [&](std::string& b) { b[64 + 3 * 8] = '\xff'; }, "a key name is not valid UTF-8"},
      {"group past count", [&](std::string& b) { b[64 + 3 * 8 + 3] = 7; }, "an entity's group 7 is not below the group count"},
      {"slot past the end", [&](std::string& b) { put_word(b, first_slot + 8 * with_records, 1ULL << 40); }, ""},
      {"slot none for holder", [&](std::string& b) { put_word(b, first_slot + 8 * with_records, UINT64_MAX); }, "a slot points outside its entity's records"},
      {"bad tag", [&](std::string& b) { b[records + 2] = 99; }, "unknown value tag 99"},
      {"unknown key id", [&](std::string& b) { b[records + 1] = 5; }, "a record names unknown key id 5"},
      {"record length past end", [&](std::string& b) { b[records] = 120; }, "a record ends early"},
      {"bad UTF-8 in records", [&](std::string& b) { b[find("RECSTR") + 2] = '\xc0'; }, "a string is not valid UTF-8"},
      {"bad UTF-8 in a column", [&](std::string& b) { b[find("COLSTR") + 1] = '\xff'; }, "a string is not valid UTF-8"},
      {"string column slot moved", [&](std::string& b) { b[find("COLSTR") - 1] = 100; }, ""},
      {"bad list element tag", [&](std::string& b) { b[good.size() - 2] = 3; }, "a list of mixed types"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bad = good;
    c.corrupt(bad);
    ASSERT_NE(good, bad);
    const std::string message = error_of([&] { PropertyStore::read_bytes(bad, 5); });
    ASSERT_EQ(0u, message.rfind("snapshot properties: ", 0)) << message;
    if (*c.message) {
      EXPECT_EQ(std::string("snapshot properties: ") + c.message, message);
    }
  }
}

}  // namespace
}  // namespace orvane
