// The literal syntax in which feature files write expected values and
// parameters:
//
//   null  true  false                      booleans and null
//   12  -3                                 integers (64-bit)
//   1.5  -0.0  .5  1e3  NaN  Inf  -Inf     floats (Infinity spelled out too)
//   'text'  "text"                         strings; \\ \' \" \n \t \r \b \f \uXXXX escapes
//   [1, 'a']                               lists
//   {k: 1, `odd key`: 2}                   maps
//   (:A:B {k: 1})  ()                      nodes: labels and properties
//   [:T {k: 1}]                            relationships: type and properties
//   <(:A)-[:T]->(:B)<-[:U]-()>             paths, each relationship with its direction
//
// Blanks between tokens are free. A node or relationship may carry a
// variable name before its colon, which is ignored.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tck/tck_value.h"

namespace orvane::tck {

// Raised for text that is not a value literal; the message names the
// offset and what was expected there.
class LiteralError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The value written as `text`, which must hold exactly one literal (blanks
// around it allowed). Throws LiteralError otherwise.
TckValue parse_value_literal(std::string_view text);

}  // namespace orvane::tck
