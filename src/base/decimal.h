// Decimal numbers read from text (options, ports, identifiers, header
// values) with their overflow checked in one place: a digit string that
// does not fit is refused or saturates, never wraps around.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane {

// The value of `digits` when it is one or more ASCII decimal digits (no
// sign, no blanks; leading zeros allowed) that fit 64 bits; nullopt
// otherwise.
std::optional<std::uint64_t> parse_decimal(std::string_view digits);

// The value of `digits`, which must be ASCII decimal digits only, or the
// largest 64-bit value when it does not fit; 0 for "".
std::uint64_t parse_decimal_saturating(std::string_view digits);

}  // namespace orvane
