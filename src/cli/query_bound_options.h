// The command-line options that set the bounds statements run under:
// --query-timeout MS, --query-memory MIB and --query-steps N, accepted by
// query, shell, serve and console (console/query_bounds.h has their units
// and ceilings).
#pragma once

#include <array>

#include "query/exec/work_bound.h"

namespace orvane {

inline constexpr std::array<const char*, 3> kQueryBoundOptions = {"--query-timeout", "--query-memory",
                                                                  "--query-steps"};

// The bound the options in argv give (the defaults for those absent), for
// Engine::set_query_bound. Read before any graph is loaded, so a bad value
// fails at once. Throws std::runtime_error "invalid value for OPTION: must
// be an integer from 1 to N (UNIT)" for a value outside that range or not
// plain decimal digits, and "missing value for OPTION" as option_value
// does.
WorkBound query_bound_options(int argc, char** argv);

}  // namespace orvane
