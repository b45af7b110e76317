// The usage text and the version line.
#pragma once

namespace orvane {

inline constexpr const char* kProductName = "Halvex";
inline constexpr const char* kVersion = "0.2.0rc2";

// Writes the usage text, byte for byte, to standard output.
void print_usage();

}  // namespace orvane
