// UTF-8 validation for every text that enters a Database. A graph holding a
// byte sequence that is not UTF-8 could be built but never saved or served
// as JSON, so such text is refused where it comes in.
#pragma once

#include <cstddef>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

inline constexpr const char* kInvalidUtf8Message = "text is not valid UTF-8";

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view text);

// The length (1 to 4) of the well-formed UTF-8 sequence that starts at byte
// `at` of `text`, or 0 when the bytes there do not form one. Requires:
// `at` < text.size().
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// Throws std::runtime_error "text is not valid UTF-8" unless `text` is valid.
void require_utf8(std::string_view text);

// The same for every string and object key inside `value`, which must be at
// most kMaxJsonDepth (json_limits.h) arrays/objects deep, else
// std::runtime_error "property value nested deeper than 1000 levels".
void require_utf8_json(const nlohmann::json& value);

}  // namespace orvane
