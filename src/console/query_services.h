// What a transport needs of the query library without linking it: how a
// statement's error is classified, and the offset of a named time zone. A
// Bolt listener reports Neo4j status codes from the one and reads zoned
// datetime parameters with the other.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace orvane {

struct ErrorClassification {
  std::string error_class;  // "SyntaxError", "TypeError", "TransientError", ...
  std::string detail;       // "UnknownFunction", "LockAcquisitionTimeout", ...; may be empty
  bool compile_time = false;
};

// The classification `error` carries when it is a query error with one;
// nullopt for any other exception.
std::optional<ErrorClassification> classify_error(const std::exception& error);

// The offset in seconds east of UTC that time zone `zone` ("Europe/
// Stockholm") has at UTC second `utc_seconds`. Throws std::runtime_error
// "Unknown time zone: ZONE" for a zone the system does not know.
std::int32_t zone_offset_at(const std::string& zone, std::int64_t utc_seconds);

}  // namespace orvane
