// PackStream, the binary value format Bolt messages are written in, with
// the bounds a server needs against a hostile peer.
//
// Encoding (big-endian throughout):
//   marker         meaning
//   00 … 7F        integer 0 … 127 (tiny)
//   F0 … FF        integer -16 … -1 (tiny)
//   C8 / C9 / CA / CB  integer in 1 / 2 / 4 / 8 bytes
//   C0             null
//   C1             float, 8 bytes IEEE 754
//   C2 / C3        false / true
//   CC / CD / CE   bytes, length in 1 / 2 / 4 bytes
//   80 … 8F        string of 0 … 15 bytes; D0 / D1 / D2: length in 1 / 2 / 4 bytes
//   90 … 9F        list of 0 … 15 items;   D4 / D5 / D6
//   A0 … AF        map of 0 … 15 entries;  D8 / D9 / DA
//   B0 … BF        structure of 0 … 15 fields, followed by its tag byte
// Every other marker (C4 … C7, CF, D3, D7, DB … EF) is refused. Lengths
// are unsigned; an integer is written in the smallest form that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bolt/pack_value.h"

namespace orvane::bolt {

struct DecodeLimits {
  std::size_t max_depth = 64;  // lists, maps and structures nested inside each other
};

// Appends PackStream to a byte string. Containers are written header first:
// begin_list(3) then exactly three values.
class PackWriter {
 public:
  explicit PackWriter(std::string& out) : out_(out) {}

  void write_null();
  void write_bool(bool value);
  void write_int(std::int64_t value);
  void write_float(double value);
  void write_string(std::string_view value);
  void write_bytes(std::string_view value);
  void begin_list(std::size_t size);
  void begin_map(std::size_t size);
  // Requires: fields <= 15.
  void begin_struct(std::size_t fields, std::uint8_t tag);
  void write(const PackValue& value);

 private:
  void write_sized(std::size_t size, std::uint8_t tiny, std::uint8_t m8, std::uint8_t m16, std::uint8_t m32);
  std::string& out_;
};

// The PackStream bytes of `value`.
std::string encode(const PackValue& value);

// Reads values one after another from `bytes`, which must outlive the
// reader. Every length is checked against the bytes that remain before
// anything is allocated, so a claimed size costs nothing until its bytes
// are there. Throws BoltError "PackStream: REASON" for a truncated value,
// an unknown marker, a string that is not UTF-8, a map key that is not a string, a repeated map key or
// nesting deeper than the limit.
class PackReader {
 public:
  explicit PackReader(std::string_view bytes, DecodeLimits limits = {}) : bytes_(bytes), limits_(limits) {}

  PackValue read();
  bool at_end() const { return pos_ == bytes_.size(); }
  std::size_t position() const { return pos_; }

 private:
  PackValue read_value(std::size_t depth);
  std::uint8_t byte();
  std::string_view read_key();
  std::string_view text(std::size_t size);
  std::uint64_t unsigned_be(std::size_t width);
  std::string_view take(std::size_t n, const char* what);
  std::size_t container_size(std::uint64_t claimed, const char* what) const;

  std::string_view bytes_;
  DecodeLimits limits_;
  std::size_t pos_ = 0;
};

// The one value `bytes` holds. Throws as PackReader::read(), and
// BoltError "PackStream: the message goes on for N bytes after its value"
// when bytes remain.
PackValue decode(std::string_view bytes, DecodeLimits limits = {});

}  // namespace orvane::bolt
