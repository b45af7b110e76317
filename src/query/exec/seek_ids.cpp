// Reading the ids a seek names (see seek_ids.h).
#include "query/exec/seek_ids.h"

#include <cmath>
#include <string>

namespace orvane {
namespace {

std::optional<std::uint64_t> plain_id(const CypherValue& v) {
  if (v.kind() == CypherValue::Kind::kInteger) {
    if (v.as_int() < 0) return std::nullopt;
    return static_cast<std::uint64_t>(v.as_int());
  }
  if (v.kind() == CypherValue::Kind::kFloat) {
    const double f = v.as_float();
    if (!(f >= 0) || f >= 9223372036854775808.0 || std::floor(f) != f) return std::nullopt;
    return static_cast<std::uint64_t>(f);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> element_id(const CypherValue& v, bool relationships) {
  if (v.kind() != CypherValue::Kind::kString) return std::nullopt;
  const std::string& text = v.as_string();
  const std::string prefix = relationships ? "5:halvex:" : "4:halvex:";
  if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 || text.size() > prefix.size() + 19) {
    return std::nullopt;
  }
  std::uint64_t id = 0;
  for (std::size_t i = prefix.size(); i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    id = id * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  // Only the canonical text: no leading zeros, no wrap-around.
  if (std::to_string(id) != text.substr(prefix.size())) return std::nullopt;
  return id;
}

}  // namespace

std::optional<std::vector<std::uint64_t>> seek_ids(const CypherValue& value, SeekForm form, bool relationships) {
  std::vector<std::uint64_t> out;
  const bool element = form == SeekForm::kElementId || form == SeekForm::kElementIdList;
  const auto add = [&](const CypherValue& v) {
    const std::optional<std::uint64_t> id = element ? element_id(v, relationships) : plain_id(v);
    if (id) out.push_back(*id);
  };
  if (form == SeekForm::kIdList || form == SeekForm::kElementIdList) {
    if (value.is_null()) return out;
    if (value.kind() != CypherValue::Kind::kList) return std::nullopt;
    for (const CypherValue& v : value.as_list()) add(v);
  } else {
    add(value);
  }
  return out;
}

}  // namespace orvane
