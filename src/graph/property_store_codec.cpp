// The property store's value codec and column helpers.
//
// A value in the records is a tag byte and a payload:
//
//   tag  type            payload
//   1/2  BOOLEAN         none (false / true)
//   3    INTEGER         zigzag varint
//   4    FLOAT           8 bytes, IEEE-754 little-endian bits (NaN kept as is)
//   5    STRING          varint byte length, UTF-8 bytes
//   6    BYTE ARRAY      varint byte length, bytes
//   7    DATE            zigzag days since 1970-01-01
//   8    LOCAL TIME      zigzag nanoseconds of the day
//   9    TIME            zigzag nanoseconds of the day, zigzag offset seconds
//   10   LOCAL DATETIME  zigzag seconds, zigzag nanoseconds
//   11   DATETIME        zigzag UTC seconds, zigzag nanoseconds, zigzag offset
//                        seconds, varint length + zone id bytes ("" = offset)
//   12   DURATION        zigzag months, days, seconds, nanoseconds
//   13   POINT           zigzag SRID, x, y, z as 8 bytes each (z 0 in 2D)
//   14   LIST            varint body length, then the body: varint count
//                        and each element with its own tag
//
// Integers are zigzag varints so that small magnitudes of either sign take
// one or two bytes. A list carries its body length so that a lookup skips
// it without reading its elements.
//
// Ranges are checked on the way in (set) and again on load, because the
// text formatters assume them: a date beyond ±2^50 days or a DATETIME
// beyond ±2^62 seconds would overflow the calendar arithmetic.
#include <bit>
#include <cstring>
#include <stdexcept>

#include "graph/property_store.h"
#include "graph/utf8.h"

namespace orvane::property_codec {
namespace {

constexpr std::int64_t kMaxDays = std::int64_t{1} << 50;
constexpr std::int64_t kMaxSeconds = std::int64_t{1} << 62;
constexpr std::int64_t kMaxOffset = 18 * 3600;
constexpr std::uint64_t kCompactAbove = 1 << 20;  // garbage bytes tolerated before a heap is compacted

[[noreturn]] void invalid(const std::string& reason) { throw std::runtime_error("invalid property value: " + reason); }
[[noreturn]] void corrupt(const std::string& reason) { throw std::runtime_error(reason); }

bool nanos_in_range(std::int64_t nanos) { return nanos >= 0 && nanos < kNanosPerSecond; }
bool seconds_in_range(std::int64_t seconds) { return seconds >= -kMaxSeconds && seconds <= kMaxSeconds; }
bool offset_in_range(std::int64_t offset) { return offset >= -kMaxOffset && offset <= kMaxOffset; }
bool srid_known(std::int64_t srid) { return srid == 7203 || srid == 9157 || srid == 4326 || srid == 4979; }

// ASCII first, eight bytes at a time: most property text is ASCII, and the
// load pass checks every string.
inline bool utf8_ok(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  for (; i < text.size() && static_cast<unsigned char>(text[i]) < 0x80; ++i) {
  }
  return i == text.size() || is_valid_utf8(text.substr(i));
}

void put_zigzag(std::string& out, std::int64_t v) {
  put_varint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}
void put_float(std::string& out, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  char raw[8];
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>(bits >> (8 * i));
  out.append(raw, 8);
}
void put_text(std::string& out, std::string_view text) {
  put_varint(out, text.size());
  out += text;
}

std::int32_t narrow(std::int64_t v) { return static_cast<std::int32_t>(v); }

std::size_t varint_size(std::uint64_t v) { return v < 0x80 ? 1 : 1 + varint_size(v >> 7); }

}  // namespace

std::uint8_t Reader::end_early() { corrupt("a record ends early"); }

std::uint64_t Reader::long_varint() {
  std::uint64_t v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (p == end) corrupt("a record ends early");
    const std::uint8_t b = *p++;
    if (shift == 63 && b > 1) corrupt("a varint runs past 64 bits");
    v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if (!(b & 0x80)) return v;
  }
  corrupt("a varint runs past 64 bits");
}

double Reader::float64() {
  if (end - p < 8) corrupt("a record ends early");
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  p += 8;
  return std::bit_cast<double>(bits);
}

std::string_view Reader::bytes(std::uint64_t count) {
  if (count > static_cast<std::uint64_t>(end - p)) corrupt("a record ends early");
  const std::string_view out(reinterpret_cast<const char*>(p), count);
  p += count;
  return out;
}

void put_varint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

bool text_is_utf8(std::string_view text) { return utf8_ok(text); }

bool date_in_range(std::int64_t days) { return days >= -kMaxDays && days <= kMaxDays; }
bool time_of_day_in_range(std::int64_t nanos) { return nanos >= 0 && nanos < kNanosPerDay; }

std::uint8_t tag_of(const Value& value) {
  static constexpr std::uint8_t kByIndex[] = {0,     kTrue,      kInteger, kFloat,         kString,   kBytes,    kDate,
                                              kLocalTime, kTime, kLocalDateTime, kDateTime, kDuration, kPoint, kList};
  static_assert(std::variant_size_v<Value::Storage> == sizeof kByIndex);
  const std::uint8_t tag = kByIndex[value.storage().index()];
  return tag == kTrue && !value.as<bool>() ? static_cast<std::uint8_t>(kFalse) : tag;
}

PropertyStore::Kind kind_of_tag(std::uint8_t tag) {
  using K = PropertyStore::Kind;
  switch (tag) {
    case kFalse: case kTrue: return K::kBoolean;
    case kInteger: return K::kInteger;
    case kFloat: return K::kFloat;
    case kString: return K::kString;
    case kDate: return K::kDate;
    case kLocalTime: return K::kLocalTime;
    default: return K::kNone;
  }
}

void check_value(const Value& value) {
  const auto& s = value.storage();
  if (const auto* text = std::get_if<std::string>(&s)) {
    if (!utf8_ok(*text)) throw std::runtime_error(kInvalidUtf8Message);
  } else if (const auto* d = std::get_if<Date>(&s)) {
    if (!date_in_range(d->days)) invalid("DATE out of range");
  } else if (const auto* lt = std::get_if<LocalTime>(&s)) {
    if (!time_of_day_in_range(lt->nanos)) invalid("LOCAL TIME out of range");
  } else if (const auto* t = std::get_if<Time>(&s)) {
    if (!time_of_day_in_range(t->nanos) || !offset_in_range(t->offset_seconds)) invalid("TIME out of range");
  } else if (const auto* ldt = std::get_if<LocalDateTime>(&s)) {
    if (!seconds_in_range(ldt->seconds) || !nanos_in_range(ldt->nanos)) invalid("LOCAL DATETIME out of range");
  } else if (const auto* dt = std::get_if<DateTime>(&s)) {
    if (!seconds_in_range(dt->seconds) || !nanos_in_range(dt->nanos) || !offset_in_range(dt->offset_seconds)) {
      invalid("DATETIME out of range");
    }
    if (!utf8_ok(dt->zone)) throw std::runtime_error(kInvalidUtf8Message);
  } else if (const auto* du = std::get_if<Duration>(&s)) {
    if (!nanos_in_range(du->nanos)) invalid("DURATION out of range");
  } else if (const auto* pt = std::get_if<Point>(&s)) {
    if (!srid_known(pt->srid)) invalid("unknown SRID " + std::to_string(pt->srid));
  } else if (const auto* list = std::get_if<ValueList>(&s)) {
    for (const Value& item : *list) {
      if (item.is_null()) invalid("null inside a list");
      if (item.is<ValueList>()) invalid("a list inside a list");
      if (item.storage().index() != list->front().storage().index()) invalid("a list of mixed types");
      check_value(item);
    }
  }
}

void encode_value(std::string& out, const Value& value) {
  const std::uint8_t tag = tag_of(value);
  out.push_back(static_cast<char>(tag));
  const auto& s = value.storage();
  switch (tag) {
    case kInteger: put_zigzag(out, std::get<std::int64_t>(s)); break;
    case kFloat: put_float(out, std::get<double>(s)); break;
    case kString: put_text(out, std::get<std::string>(s)); break;
    case kBytes: put_text(out, std::get<Bytes>(s).data); break;
    case kDate: put_zigzag(out, std::get<Date>(s).days); break;
    case kLocalTime: put_zigzag(out, std::get<LocalTime>(s).nanos); break;
    case kTime: {
      const Time& t = std::get<Time>(s);
      put_zigzag(out, t.nanos), put_zigzag(out, t.offset_seconds);
      break;
    }
    case kLocalDateTime: {
      const LocalDateTime& t = std::get<LocalDateTime>(s);
      put_zigzag(out, t.seconds), put_zigzag(out, t.nanos);
      break;
    }
    case kDateTime: {
      const DateTime& t = std::get<DateTime>(s);
      put_zigzag(out, t.seconds), put_zigzag(out, t.nanos), put_zigzag(out, t.offset_seconds);
      put_text(out, t.zone);
      break;
    }
    case kDuration: {
      const Duration& d = std::get<Duration>(s);
      put_zigzag(out, d.months), put_zigzag(out, d.days), put_zigzag(out, d.seconds), put_zigzag(out, d.nanos);
      break;
    }
    case kPoint: {
      const Point& p = std::get<Point>(s);
      put_zigzag(out, p.srid), put_float(out, p.x), put_float(out, p.y), put_float(out, p.z);
      break;
    }
    case kList: {
      const ValueList& list = std::get<ValueList>(s);
      std::string body;
      put_varint(body, list.size());
      for (const Value& item : list) encode_value(body, item);
      put_text(out, body);
      break;
    }
    default: break;  // booleans: the tag is the value
  }
}

Value decode_value(Reader& in) {
  switch (const std::uint8_t tag = in.byte()) {
    case kFalse: return false;
    case kTrue: return true;
    case kInteger: return in.zigzag();
    case kFloat: return in.float64();
    case kString: return std::string(in.bytes(in.varint()));
    case kBytes: return Bytes{std::string(in.bytes(in.varint()))};
    case kDate: return Date{in.zigzag()};
    case kLocalTime: return LocalTime{in.zigzag()};
    case kTime: {
      const std::int64_t nanos = in.zigzag();
      return Time{nanos, narrow(in.zigzag())};
    }
    case kLocalDateTime: {
      const std::int64_t seconds = in.zigzag();
      return LocalDateTime{seconds, narrow(in.zigzag())};
    }
    case kDateTime: {
      DateTime t;
      t.seconds = in.zigzag(), t.nanos = narrow(in.zigzag()), t.offset_seconds = narrow(in.zigzag());
      t.zone = std::string(in.bytes(in.varint()));
      return t;
    }
    case kDuration: {
      Duration d;
      d.months = in.zigzag(), d.days = in.zigzag(), d.seconds = in.zigzag(), d.nanos = narrow(in.zigzag());
      return d;
    }
    case kPoint: {
      Point p;
      p.srid = narrow(in.zigzag());
      p.x = in.float64(), p.y = in.float64(), p.z = in.float64();
      return p;
    }
    case kList: {
      in.varint();  // body length: only skipping needs it
      const std::uint64_t count = in.varint();
      ValueList list;
      list.reserve(count);
      for (std::uint64_t i = 0; i < count; ++i) list.push_back(decode_value(in));
      return list;
    }
    default: corrupt("unknown value tag " + std::to_string(tag));
  }
}

void skip_value(Reader& in) {
  switch (in.byte()) {
    case kInteger: case kDate: case kLocalTime: in.varint(); break;
    case kTime: case kLocalDateTime: in.varint(), in.varint(); break;
    case kDuration: for (int i = 0; i < 4; ++i) in.varint(); break;
    case kFloat: in.bytes(8); break;
    case kPoint: in.varint(), in.bytes(24); break;
    case kDateTime: in.varint(), in.varint(), in.varint(); [[fallthrough]];
    case kString: case kBytes: case kList: in.bytes(in.varint()); break;
    default: break;
  }
}

std::uint8_t validate_value(Reader& in) {
  const std::uint8_t tag = in.byte();
  switch (tag) {
    case kFalse: case kTrue: break;
    case kInteger: in.varint(); break;
    case kFloat: in.bytes(8); break;
    case kString: if (!utf8_ok(in.bytes(in.varint()))) corrupt("a string is not valid UTF-8"); break;
    case kBytes: in.bytes(in.varint()); break;
    case kDate: if (!date_in_range(in.zigzag())) corrupt("a DATE is out of range"); break;
    case kLocalTime: if (!time_of_day_in_range(in.zigzag())) corrupt("a LOCAL TIME is out of range"); break;
    case kTime: {
      const std::int64_t nanos = in.zigzag();
      if (!time_of_day_in_range(nanos) || !offset_in_range(in.zigzag())) corrupt("a TIME is out of range");
      break;
    }
    case kLocalDateTime: {
      const std::int64_t seconds = in.zigzag();
      if (!seconds_in_range(seconds) || !nanos_in_range(in.zigzag())) corrupt("a LOCAL DATETIME is out of range");
      break;
    }
    case kDateTime: {
      const std::int64_t seconds = in.zigzag(), nanos = in.zigzag();
      if (!seconds_in_range(seconds) || !nanos_in_range(nanos) || !offset_in_range(in.zigzag())) {
        corrupt("a DATETIME is out of range");
      }
      if (!utf8_ok(in.bytes(in.varint()))) corrupt("a zone id is not valid UTF-8");
      break;
    }
    case kDuration: {
      in.varint(), in.varint(), in.varint();
      if (!nanos_in_range(in.zigzag())) corrupt("a DURATION is out of range");
      break;
    }
    case kPoint: if (!srid_known(in.zigzag())) corrupt("a POINT has an unknown SRID"); in.bytes(24); break;
    case kList: {
      const std::string_view body = in.bytes(in.varint());
      Reader items{reinterpret_cast<const std::uint8_t*>(body.data()),
                   reinterpret_cast<const std::uint8_t*>(body.data()) + body.size()};
      const std::uint64_t count = items.varint();
      if (count != 0 && !items.done() && *items.p == kString) {
        // Lists of strings are the common kind: checked here without a call per item.
        for (std::uint64_t i = 0; i < count; ++i) {
          if (items.byte() != kString) corrupt("a list of mixed types");
          if (!utf8_ok(items.bytes(items.varint()))) corrupt("a string is not valid UTF-8");
        }
        if (!items.done()) corrupt("a list's length disagrees with its items");
        break;
      }
      std::uint8_t first = 0;
      for (std::uint64_t i = 0; i < count; ++i) {
        std::uint8_t item = validate_value(items);
        if (item == kList) corrupt("a list inside a list");
        if (item == kFalse) item = kTrue;
        if (i == 0) first = item;
        if (item != first) corrupt("a list of mixed types");
      }
      if (!items.done()) corrupt("a list's length disagrees with its items");
      break;
    }
    default: corrupt("unknown value tag " + std::to_string(tag));
  }
  return tag;
}

// ---------------------------------------------------------------- columns

void column_resize(PropertyStore::Column& c, std::uint64_t rows) {
  const std::uint64_t bitmap_words = (rows + 63) / 64;
  c.rows = rows;
  c.valid.resize(bitmap_words);
  c.words.resize(c.kind == PropertyStore::Kind::kBoolean ? bitmap_words : rows);
  // Bits past the last row stay zero: scans walk whole bitmap words.
  if (rows % 64 != 0) {
    const std::uint64_t keep = (std::uint64_t{1} << (rows % 64)) - 1;
    c.valid.back() &= keep;
    if (c.kind == PropertyStore::Kind::kBoolean) c.words.back() &= keep;
  }
}

std::string_view column_string(const PropertyStore::Column& c, std::uint64_t offset) {
  Reader in{reinterpret_cast<const std::uint8_t*>(c.heap.data()) + offset,
            reinterpret_cast<const std::uint8_t*>(c.heap.data()) + c.heap.size()};
  return in.bytes(in.varint());
}

Value column_get(const PropertyStore::Column& c, std::uint64_t row) {
  using K = PropertyStore::Kind;
  if (!column_has(c, row)) return Value();
  const std::uint64_t w = c.kind == K::kBoolean ? c.words[row >> 6] >> (row & 63) & 1 : c.words[row];
  switch (c.kind) {
    case K::kInteger: return static_cast<std::int64_t>(w);
    case K::kFloat: return std::bit_cast<double>(w);
    case K::kBoolean: return w != 0;
    case K::kString: return std::string(column_string(c, w));
    case K::kDate: return Date{static_cast<std::int64_t>(w)};
    case K::kLocalTime: return LocalTime{static_cast<std::int64_t>(w)};
    default: return Value();
  }
}

void column_clear(PropertyStore::Column& c, std::uint64_t row) {
  if (!column_has(c, row)) return;
  c.valid[row >> 6] &= ~(std::uint64_t{1} << (row & 63));
  --c.held;
  if (c.kind == PropertyStore::Kind::kString) {
    const std::size_t length = column_string(c, c.words[row]).size();
    c.garbage += varint_size(length) + length;
    if (c.garbage > kCompactAbove && c.garbage * 2 > c.heap.size()) column_compact(c);
  }
}

void column_set(PropertyStore::Column& c, std::uint64_t row, const Value& value) {
  using K = PropertyStore::Kind;
  column_clear(c, row);
  const auto& s = value.storage();
  std::uint64_t w = 0;
  switch (c.kind) {
    case K::kInteger: w = static_cast<std::uint64_t>(std::get<std::int64_t>(s)); break;
    case K::kFloat: w = std::bit_cast<std::uint64_t>(std::get<double>(s)); break;
    case K::kBoolean: {
      const std::uint64_t bit = std::uint64_t{1} << (row & 63);
      c.words[row >> 6] = std::get<bool>(s) ? c.words[row >> 6] | bit : c.words[row >> 6] & ~bit;
      break;
    }
    case K::kString: w = c.heap.size(), put_text(c.heap, std::get<std::string>(s)); break;
    case K::kDate: w = static_cast<std::uint64_t>(std::get<Date>(s).days); break;
    case K::kLocalTime: w = static_cast<std::uint64_t>(std::get<LocalTime>(s).nanos); break;
    default: break;
  }
  if (c.kind != K::kBoolean) c.words[row] = w;
  c.valid[row >> 6] |= std::uint64_t{1} << (row & 63);
  ++c.held;
}

void column_compact(PropertyStore::Column& c) {
  std::string fresh;
  fresh.reserve(c.heap.size() - c.garbage);
  for (std::uint64_t row = 0; row < c.rows; ++row) {
    if (!column_has(c, row)) continue;
    const std::string_view text = column_string(c, c.words[row]);
    c.words[row] = fresh.size();
    put_text(fresh, text);
  }
  c.heap = std::move(fresh);
  c.garbage = 0;
}

}  // namespace orvane::property_codec
