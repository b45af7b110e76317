// Bounded nesting for JSON property values. Validation, copying and
// serialisation of a value recurse once per level, so a short text nested
// hundreds of thousands of levels deep would overflow the stack long after
// it was accepted (on every later save or answer). Every JSON value that
// enters a Database is therefore at most kMaxJsonDepth levels deep, and text
// from outside is parsed with the same bound.
#pragma once

#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

inline constexpr int kMaxJsonDepth = 1000;

// nlohmann::json::parse of `text`, refusing nesting deeper than
// kMaxJsonDepth arrays/objects with the JSON library's parse_error ("... nested
// deeper than 1000 levels"), like any other malformed text. Errors come in
// text order: malformed text before the bound is reached fails with the
// library's own exception. Takes time linear in the length of the text.
nlohmann::json parse_json_bounded(std::string_view text);

}  // namespace orvane
