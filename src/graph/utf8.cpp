// UTF-8 well-formedness, following the table of RFC 3629 section 4: the
// second byte's range depends on the lead byte so that overlong forms,
// surrogates (U+D800 … U+DFFF) and code points above U+10FFFF are refused.
#include "graph/utf8.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"

namespace orvane {

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const std::size_t available = text.size() - at;
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (available < len) return 0;
  if (s[1] < lo || s[1] > hi) return 0;
  for (std::size_t k = 2; k < len; ++k) {
    if (s[k] < 0x80 || s[k] > 0xBF) return 0;
  }
  return len;
}

bool is_valid_utf8(std::string_view text) {
  // Nearly every text is ASCII: eight bytes are tested at a time, and only
  // a byte from 0x80 up goes through the table.
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  const std::size_t size = text.size();
  std::size_t i = 0;
  for (;;) {
    for (std::uint64_t word = 0; i + 8 <= size; i += 8) {
      std::memcpy(&word, text.data() + i, 8);
      if ((word & kHighBits) != 0) break;
    }
    while (i < size && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    if (i == size) return true;
    const std::size_t len = utf8_sequence_length(text, i);
    if (len == 0) return false;
    i += len;
  }
}

void require_utf8(std::string_view text) {
  if (!is_valid_utf8(text)) throw std::runtime_error(kInvalidUtf8Message);
}

namespace {

void require_utf8_json_at(const nlohmann::json& value, int depth) {
  if (value.is_string()) {
    require_utf8(value.get_ref<const std::string&>());
    return;
  }
  if (!value.is_object() && !value.is_array()) return;
  if (depth >= kMaxJsonDepth) throw std::runtime_error("property value nested deeper than 1000 levels");
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) {
      require_utf8(key);
      require_utf8_json_at(member, depth + 1);
    }
  } else {
    for (const auto& member : value) require_utf8_json_at(member, depth + 1);
  }
}

}  // namespace

void require_utf8_json(const nlohmann::json& value) { require_utf8_json_at(value, 0); }

}  // namespace orvane
