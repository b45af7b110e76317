// Command-line option lookup shared by every command, and the strict
// argument check of the commands that accept a fixed option set.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

struct ServiceOptions;

// The value after the first argument equal to `name`, or `fallback` when
// `name` is absent. Throws std::runtime_error "missing value for NAME" when
// `name` is last or followed by an argument of two or more characters that
// starts with "--", and "invalid value for NAME" when a --port (1–65535) or
// --people/--papers/--seed (0–4294967294) value is not plain decimal digits
// in range.
std::string option_value(int argc, char** argv, const std::string& name, const std::string& fallback);

// True when some argument equals `flag` exactly.
bool has_flag(int argc, char** argv, const std::string& flag);

// Throws "duplicate argument: A" or "unknown argument: A" for an argument
// that query, serve, console, shell, export or migrate do not accept; other
// commands are not checked. Only --param of query and shell may repeat.
void check_arguments(const std::string& command, int argc, char** argv);

// The options of the service command `command` (start, stop, status or
// restart), read from argv[1] on when it begins with "-" (the bare program
// with options means start), else from argv[2]. start and restart accept
// --no-browser once and --port once with a value from 1 to 65535; anything
// else throws "Unknown argument: A", and a bad or repeated --port "--port
// must be supplied once, as an integer from 1 to 65535".
ServiceOptions parse_service_options(const std::string& command, int argc, char** argv);

// Unsigned decimal conversion of an option value; throws "invalid value for
// NAME" for anything but digits that fit in 64 bits.
std::uint64_t parse_unsigned(const std::string& text, const std::string& name);

// Signed conversion with std::stoi's behaviour (a non-number fails "stoi").
int parse_signed(const std::string& text);

}  // namespace orvane
