// The reduced import and its report. The graph model once held one label
// per node, no relationship properties and at most one relationship per
// (start, end, type), and the reduced import, asked for explicitly, took
// Neo4j graphs in a reduced form and counted every change. The model now
// holds all three, so every import is whole and the report is empty; the
// option stays accepted, and its report says that nothing was reduced. The
// kinds it once counted:
//
//   relationship_properties  a relationship's properties were dropped (by type)
//   extra_labels             a node with several labels kept its first one; the
//                            whole list is in its property "_labels" (by list,
//                            written "A:B")
//   unlabelled               a node without a label got the label "Node"
//   parallel_relationships   a relationship equal in start, end and type to an
//                            earlier one was collapsed into it (by type)
//
// The report is plain counts; the text and JSON forms below are what the
// migrate command prints and the migrate route answers, so both show the
// same report.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

// The label a node without any label gets in a reduced import.
inline constexpr const char* kUnlabelledNodeLabel = "Node";
// The node property that keeps the whole label list of a node with several labels.
inline constexpr const char* kLabelListProperty = "_labels";

// How often one kind of reduction happened, in total and by label or type name.
struct ReductionCount {
  std::uint64_t total = 0;
  std::map<std::string, std::uint64_t, std::less<>> by_name;  // empty for unlabelled nodes

  // Counts `times` reductions of `name` (no name: counted in the total only).
  void add(std::string_view name, std::uint64_t times = 1);

  // The names by count, highest first (ties by name), at most `limit` of them.
  std::vector<std::pair<std::string, std::uint64_t>> most_affected(std::size_t limit) const;
};

struct ReductionReport {
  ReductionCount relationship_properties;
  ReductionCount extra_labels;
  ReductionCount unlabelled;
  ReductionCount parallel_relationships;
};

// The one line of an empty report.
inline constexpr const char* kNothingReduced =
    "nothing; every label, relationship property and parallel relationship was imported as it is";

// kNothingReduced alone for an empty report; otherwise one line per kind, in
// the order above, each without a line break, such as
// "181 relationships lost their properties (ACTED_IN 172, REVIEWED 9)".
// Every kind has its line, a count of 0 included, and names at most the
// three most affected labels or types, then how many more there are.
std::vector<std::string> reduction_lines(const ReductionReport& report);

// The report as a JSON array text, "[]" when empty, else one object per kind in the same order:
// {"kind":"relationship_properties","total":181,"by_name":[{"name":"ACTED_IN",
// "count":172},...],"text":"181 relationships lost ..."}, with every name by
// count (highest first) and the line of reduction_lines as "text".
std::string reduction_json(const ReductionReport& report);

}  // namespace orvane
