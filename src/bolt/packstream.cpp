// PackStream encoding and bounded decoding (the marker table is in
// packstream.h).
//
// The decoder is the first thing a peer's bytes meet, so it trusts nothing:
// a length is compared with the bytes that remain before any allocation
// (every list item and map entry takes at least one byte, so a container
// can claim no more items than there are bytes left), nesting is bounded
// so that recursion cannot exhaust the stack, and every read goes through
// byte()/take(), which check the end.
#include "bolt/packstream.h"

#include <bit>
#include <cstring>
#include <unordered_set>

#include "bolt/bolt_error.h"
#include "graph/utf8.h"

namespace orvane::bolt {

namespace {

[[noreturn]] void fail(const std::string& reason) { throw BoltError("PackStream: " + reason); }

std::string hex_byte(std::uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

void put_be(std::string& out, std::uint64_t value, std::size_t width) {
  for (std::size_t i = width; i-- > 0;) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void PackWriter::write_null() { out_.push_back(static_cast<char>(0xC0)); }

void PackWriter::write_bool(bool value) { out_.push_back(static_cast<char>(value ? 0xC3 : 0xC2)); }

void PackWriter::write_int(std::int64_t value) {
  const auto u = static_cast<std::uint64_t>(value);
  if (value >= -16 && value <= 127) {
    out_.push_back(static_cast<char>(u & 0xFF));
  } else if (value >= INT8_MIN && value <= INT8_MAX) {
    out_.push_back(static_cast<char>(0xC8));
    put_be(out_, u, 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    out_.push_back(static_cast<char>(0xC9));
    put_be(out_, u, 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    out_.push_back(static_cast<char>(0xCA));
    put_be(out_, u, 4);
  } else {
    out_.push_back(static_cast<char>(0xCB));
    put_be(out_, u, 8);
  }
}

void PackWriter::write_float(double value) {
  out_.push_back(static_cast<char>(0xC1));
  put_be(out_, std::bit_cast<std::uint64_t>(value), 8);
}

void PackWriter::write_sized(std::size_t size, std::uint8_t tiny, std::uint8_t m8, std::uint8_t m16, std::uint8_t m32) {
  if (tiny != 0 && size < 16) {
    out_.push_back(static_cast<char>(tiny | size));
  } else if (size <= 0xFF) {
    out_.push_back(static_cast<char>(m8));
    put_be(out_, size, 1);
  } else if (size <= 0xFFFF) {
    out_.push_back(static_cast<char>(m16));
    put_be(out_, size, 2);
  } else {
    // The session bounds every message far below 4 GiB.
    out_.push_back(static_cast<char>(m32));
    put_be(out_, size, 4);
  }
}

void PackWriter::write_string(std::string_view value) {
  write_sized(value.size(), 0x80, 0xD0, 0xD1, 0xD2);
  out_.append(value);
}

void PackWriter::write_bytes(std::string_view value) {
  write_sized(value.size(), 0, 0xCC, 0xCD, 0xCE);
  out_.append(value);
}

void PackWriter::begin_list(std::size_t size) { write_sized(size, 0x90, 0xD4, 0xD5, 0xD6); }

void PackWriter::begin_map(std::size_t size) { write_sized(size, 0xA0, 0xD8, 0xD9, 0xDA); }

void PackWriter::begin_struct(std::size_t fields, std::uint8_t tag) {
  out_.push_back(static_cast<char>(0xB0 | (fields & 0x0F)));
  out_.push_back(static_cast<char>(tag));
}

void PackWriter::write(const PackValue& value) {
  switch (value.kind()) {
    case PackValue::Kind::kNull: write_null(); return;
    case PackValue::Kind::kBool: write_bool(value.as<bool>()); return;
    case PackValue::Kind::kInteger: write_int(value.as<std::int64_t>()); return;
    case PackValue::Kind::kFloat: write_float(value.as<double>()); return;
    case PackValue::Kind::kString: write_string(value.as<std::string>()); return;
    case PackValue::Kind::kBytes: write_bytes(value.as<Bytes>().data); return;
    case PackValue::Kind::kList:
      begin_list(value.as<PackList>().size());
      for (const PackValue& item : value.as<PackList>()) write(item);
      return;
    case PackValue::Kind::kMap:
      begin_map(value.as<PackMap>().size());
      for (const PackEntry& entry : value.as<PackMap>()) {
        write_string(entry.key);
        write(entry.value);
      }
      return;
    case PackValue::Kind::kStruct: {
      const PackStruct& s = value.as<PackStruct>();
      begin_struct(s.fields.size(), s.tag);
      for (const PackValue& field : s.fields) write(field);
      return;
    }
  }
}

std::string encode(const PackValue& value) {
  std::string out;
  PackWriter(out).write(value);
  return out;
}

std::uint8_t PackReader::byte() {
  if (pos_ >= bytes_.size()) fail("value truncated at byte " + std::to_string(pos_));
  return static_cast<std::uint8_t>(bytes_[pos_++]);
}

std::uint64_t PackReader::unsigned_be(std::size_t width) {
  if (bytes_.size() - pos_ < width) fail("value truncated at byte " + std::to_string(pos_));
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | static_cast<std::uint8_t>(bytes_[pos_++]);
  return v;
}

std::string_view PackReader::take(std::size_t n, const char* what) {
  if (bytes_.size() - pos_ < n) {
    fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the message");
  }
  const std::string_view out = bytes_.substr(pos_, n);
  pos_ += n;
  return out;
}

std::size_t PackReader::container_size(std::uint64_t claimed, const char* what) const {
  if (claimed > bytes_.size() - pos_) {
    fail(std::string(what) + " of " + std::to_string(claimed) + " items runs past the end of the message");
  }
  return static_cast<std::size_t>(claimed);
}

std::string_view PackReader::read_key() {
  const std::size_t at = pos_;
  const std::uint8_t m = byte();
  std::uint64_t size = 0;
  if ((m & 0xF0) == 0x80) {
    size = m & 0x0F;
  } else if (m >= 0xD0 && m <= 0xD2) {
    size = unsigned_be(std::size_t{1} << (m - 0xD0));
  } else {
    fail("a map key at byte " + std::to_string(at) + " is not a string");
  }
  return text(static_cast<std::size_t>(size));
}

std::string_view PackReader::text(std::size_t size) {
  const std::size_t at = pos_;
  const std::string_view out = take(size, "a string");
  if (!is_valid_utf8(out)) fail("the string at byte " + std::to_string(at) + " is not valid UTF-8");
  return out;
}

PackValue PackReader::read() { return read_value(0); }

PackValue PackReader::read_value(std::size_t depth) {
  const std::uint8_t m = byte();
  if (m <= 0x7F) return std::int64_t{m};
  if (m >= 0xF0) return std::int64_t{static_cast<std::int8_t>(m)};

  std::uint64_t size = 0;
  enum class Shape { kString, kList, kMap, kStruct, kBytes } shape;
  switch (m) {
    case 0xC0: return {};
    case 0xC1: return std::bit_cast<double>(unsigned_be(8));
    case 0xC2: return false;
    case 0xC3: return true;
    case 0xC8: return std::int64_t{static_cast<std::int8_t>(unsigned_be(1))};
    case 0xC9: return std::int64_t{static_cast<std::int16_t>(unsigned_be(2))};
    case 0xCA: return std::int64_t{static_cast<std::int32_t>(unsigned_be(4))};
    case 0xCB: return static_cast<std::int64_t>(unsigned_be(8));
    case 0xCC:
    case 0xCD:
    case 0xCE:
      shape = Shape::kBytes;
      size = unsigned_be(std::size_t{1} << (m - 0xCC));
      break;
    case 0xD0:
    case 0xD1:
    case 0xD2:
      shape = Shape::kString;
      size = unsigned_be(std::size_t{1} << (m - 0xD0));
      break;
    case 0xD4:
    case 0xD5:
    case 0xD6:
      shape = Shape::kList;
      size = unsigned_be(std::size_t{1} << (m - 0xD4));
      break;
    case 0xD8:
    case 0xD9:
    case 0xDA:
      shape = Shape::kMap;
      size = unsigned_be(std::size_t{1} << (m - 0xD8));
      break;
    default:
      switch (m & 0xF0) {
        case 0x80:
          shape = Shape::kString;
          size = m & 0x0F;
          break;
        case 0x90:
          shape = Shape::kList;
          size = m & 0x0F;
          break;
        case 0xA0:
          shape = Shape::kMap;
          size = m & 0x0F;
          break;
        case 0xB0:
          shape = Shape::kStruct;
          size = m & 0x0F;
          break;
        default: fail("unknown marker byte " + hex_byte(m) + " at byte " + std::to_string(pos_ - 1));
      }
  }

  if (shape == Shape::kString) return std::string(text(static_cast<std::size_t>(size)));
  if (shape == Shape::kBytes) return Bytes{std::string(take(static_cast<std::size_t>(size), "a byte array"))};
  if (depth >= limits_.max_depth) {
    fail("values nested deeper than " + std::to_string(limits_.max_depth) + " levels");
  }
  if (shape == Shape::kList) {
    PackList items;
    items.reserve(container_size(size, "a list"));
    for (std::uint64_t i = 0; i < size; ++i) items.push_back(read_value(depth + 1));
    return items;
  }
  if (shape == Shape::kMap) {
    // A map entry takes at least two bytes: a key and a value.
    PackMap entries;
    entries.reserve(container_size(size, "a map") / 2 + 1);
    std::unordered_set<std::string_view> keys;  // views into the message: a repeated key is found in O(1)
    for (std::uint64_t i = 0; i < size; ++i) {
      const std::string_view key = read_key();
      if (!keys.insert(key).second) fail("the map key \"" + std::string(key) + "\" is repeated");
      PackValue value = read_value(depth + 1);
      entries.push_back(PackEntry{std::string(key), std::move(value)});
    }
    return entries;
  }
  PackStruct s;
  s.tag = byte();
  s.fields.reserve(static_cast<std::size_t>(size));
  for (std::uint64_t i = 0; i < size; ++i) s.fields.push_back(read_value(depth + 1));
  return s;
}

PackValue decode(std::string_view bytes, DecodeLimits limits) {
  PackReader reader(bytes, limits);
  PackValue value = reader.read();
  if (!reader.at_end())
    fail("the message goes on for " + std::to_string(bytes.size() - reader.position()) + " bytes after its value");
  return value;
}

}  // namespace orvane::bolt
