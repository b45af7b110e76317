// The reduction report's counting and its two printed forms. The text lines
// are written for a person reading a migration's output, the JSON for a
// program; the JSON carries the very same line as "text" so that an API
// client can show what the command would have printed.
#include "io/reductions.h"

#include <algorithm>

#include "graph/json_text.h"

namespace orvane {
namespace {

constexpr std::size_t kNamesShown = 3;

struct Kind {
  const char* key;                    // the JSON "kind"
  ReductionCount ReductionReport::*count;
  const char* one;                    // the line after the total, for 1 …
  const char* many;                   // … and for any other total
};

constexpr Kind kKinds[] = {
    {"relationship_properties", &ReductionReport::relationship_properties,
     "relationship lost its properties", "relationships lost their properties"},
    {"extra_labels", &ReductionReport::extra_labels, "node with several labels kept the first, all of them in _labels",
     "nodes with several labels kept the first, all of them in _labels"},
    {"unlabelled", &ReductionReport::unlabelled, "node without a label got the label Node",
     "nodes without a label got the label Node"},
    {"parallel_relationships", &ReductionReport::parallel_relationships,
     "parallel relationship was collapsed into an equal one", "parallel relationships were collapsed into equal ones"},
};

std::string line_of(const Kind& kind, const ReductionCount& count) {
  std::string line = std::to_string(count.total) + " " + (count.total == 1 ? kind.one : kind.many);
  const auto shown = count.most_affected(kNamesShown);
  if (shown.empty()) return line;
  line += " (";
  for (std::size_t i = 0; i < shown.size(); ++i) {
    line += (i ? ", " : "") + shown[i].first + " " + std::to_string(shown[i].second);
  }
  if (count.by_name.size() > shown.size()) line += ", " + std::to_string(count.by_name.size() - shown.size()) + " more";
  return line + ")";
}

}  // namespace

void ReductionCount::add(std::string_view name, std::uint64_t times) {
  total += times;
  if (name.empty()) return;
  const auto it = by_name.find(name);
  if (it != by_name.end()) {
    it->second += times;
  } else {
    by_name.emplace(std::string(name), times);
  }
}

std::vector<std::pair<std::string, std::uint64_t>> ReductionCount::most_affected(std::size_t limit) const {
  std::vector<std::pair<std::string, std::uint64_t>> names(by_name.begin(), by_name.end());
  // by_name is in name order already, so a stable sort by count breaks ties by name.
  std::stable_sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (names.size() > limit) names.resize(limit);
  return names;
}

bool nothing_reduced(const ReductionReport& report) {
  for (const Kind& kind : kKinds) {
    if ((report.*kind.count).total != 0) return false;
  }
  return true;
}

std::vector<std::string> reduction_lines(const ReductionReport& report) {
  if (nothing_reduced(report)) return {kNothingReduced};
  std::vector<std::string> lines;
  for (const Kind& kind : kKinds) lines.push_back(line_of(kind, report.*kind.count));
  return lines;
}

std::string reduction_json(const ReductionReport& report) {
  if (nothing_reduced(report)) return "[]";
  std::string out = "[";
  for (const Kind& kind : kKinds) {
    const ReductionCount& count = report.*kind.count;
    if (out.size() > 1) out += ",";
    out += "{\"kind\":\"" + std::string(kind.key) + "\",\"total\":" + std::to_string(count.total) + ",\"by_name\":[";
    bool first = true;
    for (const auto& [name, times] : count.most_affected(count.by_name.size())) {
      out += std::string(first ? "" : ",") + "{\"name\":\"" + json_escape(name, JsonEscape::kFull) +
             "\",\"count\":" + std::to_string(times) + "}";
      first = false;
    }
    out += "],\"text\":\"" + json_escape(line_of(kind, count), JsonEscape::kFull) + "\"}";
  }
  return out + "]";
}

}  // namespace orvane
