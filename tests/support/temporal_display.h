// The text Neo4j shows for a temporal value, as the openCypher scenarios
// write their expected results: Java's toString forms, which leave out
// zero seconds ("12:00", "2000-01-02T00:00Z") and write a fraction in
// groups of three digits. Our own text form always writes the seconds; the
// two name the same value.
#pragma once

#include <string>

#include "graph/value.h"

namespace orvane::testing {

// The display text of a Date, LocalTime, Time, LocalDateTime, DateTime or
// Duration, without quotes; for any other value, its typed JSON's text.
std::string temporal_display(const Value& value);

}  // namespace orvane::testing
