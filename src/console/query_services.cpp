// The query library's error classes and time zones for transports
// (query_services.h).
#include "console/query_services.h"

#include "query/cypher_error.h"
#include "query/functions/time_zones.h"

namespace orvane {

std::optional<ErrorClassification> classify_error(const std::exception& error) {
  const auto* cypher = dynamic_cast<const CypherError*>(&error);
  if (cypher == nullptr) return std::nullopt;
  return ErrorClassification{cypher->error_class(), cypher->detail(), cypher->phase() == ErrorPhase::kCompileTime};
}

std::int32_t zone_offset_at(const std::string& zone, std::int64_t utc_seconds) {
  return time_zone_offset_at(zone, utc_seconds);
}

}  // namespace orvane
