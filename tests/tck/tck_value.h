// TckValue: one value as the conformance runner sees it, whichever side it
// comes from: an expected cell of a feature file (value_literal.h) or an
// answer of the engine (json_values.h). It is a self-contained tree (no
// reference into a graph), so a result outlives the engine that made it.
//
// Equality is what the conformance suite means by "the same value", and it
// is decided on text: two values are equal exactly when their canonical
// texts are equal (value_text with TextMode::kCanonical...). The canonical
// text
//   - writes floats so that every double has one spelling: NaN equals NaN,
//     -0.0 equals 0.0, and 1.0 never equals the integer 1;
//   - writes a typed engine value (a Date, a Duration, ...) as the string of
//     its text, because the feature files write temporal results as string
//     literals ('2015-07-21');
//   - sorts map keys and node labels, and ignores identities: nodes compare
//     by labels and properties, relationships by type and properties, paths
//     element by element with each relationship's direction;
//   - sorts list elements too in the kCanonicalUnorderedLists mode, for
//     "ignoring element order for lists".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvane::tck {

struct TckValue {
  enum class Kind { kNull, kBoolean, kInteger, kFloat, kString, kTyped, kList, kMap, kNode, kRelationship, kPath };

  Kind kind = Kind::kNull;
  bool boolean = false;                     // kBoolean
  std::int64_t integer = 0;                 // kInteger
  double number = 0;                        // kFloat
  std::string text;                         // kString: the string; kTyped: the value's text
  std::string type;                         // kTyped: "Date", "Duration", ...; kRelationship: its type
  std::vector<TckValue> items;              // kList: elements; kPath: node, relationship, node, ...
  std::map<std::string, TckValue> entries;  // kMap: entries; kNode, kRelationship: properties
  std::vector<std::string> labels;          // kNode, in the order given
  std::int64_t id = -1;                     // kNode, kRelationship: engine identity; -1 when unknown
  std::int64_t start = -1;                  // kRelationship: source node identity; -1 when unknown
  std::int64_t end = -1;                    // kRelationship: target node identity; -1 when unknown
  bool forward = true;                      // kRelationship inside a path: walked from source to target

  static TckValue null() { return {}; }
  static TckValue of_bool(bool b);
  static TckValue of_int(std::int64_t i);
  static TckValue of_float(double d);
  static TckValue of_string(std::string s);
  static TckValue of_typed(std::string type, std::string text);
  static TckValue of_list(std::vector<TckValue> items);
  static TckValue of_map(std::map<std::string, TckValue> entries);
};

enum class TextMode {
  kDisplay,                   // literal syntax as the feature files write it, identities left out
  kCanonical,                 // the equality key (see the top of this file)
  kCanonicalUnorderedLists,   // the equality key with list elements sorted
};

// The text of `value` in `mode`. Display text reads back through
// parse_value_literal to an equal value, except typed values, which are
// shown as their string.
std::string value_text(const TckValue& value, TextMode mode = TextMode::kDisplay);

// The literal text of a float: shortest round-trip digits, always with a
// fraction or exponent ("1.0", "1e+300"); NaN, Infinity and -Infinity.
std::string float_text(double d);

// Equality of the conformance suite: canonical texts are equal.
bool same_value(const TckValue& a, const TckValue& b, bool unordered_lists = false);

}  // namespace orvane::tck
