// Statement parameters on the command line of query and shell:
//
//   --params '{"name": value, ...}'   a JSON object, typed as a request's
//                                     `params` member is;
//   --param name=VALUE                one parameter, VALUE a Cypher
//                                     expression (3, 'a', [1, 2],
//                                     {a: 1, b: date('2020-01-01')}, ...);
//                                     repeatable.
//
// Both end as typed values the statements bind; nothing is pasted into
// statement text.
#pragma once

#include "console/dispatcher.h"

namespace orvane {

// The parameters of argv: every --params object in order, then every
// --param in order, a later value replacing an earlier one of the same
// name, so --param wins over --params. Throws std::runtime_error "invalid
// --params: REASON" or "invalid --param ARG: REASON" (REASON "expected
// name=VALUE", "a parameter name is letters, digits and _", or the value's
// own error) and "missing value for --param" / "--params".
ParamMap command_line_parameters(int argc, char** argv);

}  // namespace orvane
