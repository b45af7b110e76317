// A fast path for the commonest JSON text of an import: a flat object of
// plain strings and integers written compactly, such as the property column
// {"name":"person-17","born":1970} of an export. The general parser
// (parse_json_bounded) spends thousands of instructions on such a text; this
// one reads it in one pass and gives the very same value, or declines.
#pragma once

#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

// Parses `text` into `out` and returns true when it is a JSON object with
// no blank anywhere whose keys and string values hold only printable ASCII
// other than '"' and '\', and whose values are such strings, integers of at
// most 18 digits without leading zeros (unsigned when not negative, as the
// JSON library reads them), true, false or null. Returns false, leaving
// `out` unspecified, for any other text, valid or not: the caller then
// parses it with parse_json_bounded, which gives the value or the error.
// Later duplicate keys win, as with the JSON library.
bool parse_flat_json_object(std::string_view text, nlohmann::json& out);

}  // namespace orvane
