// Each kind of side effect is a set difference over keys; properties are
// keyed by their canonical value text, so equal values written again are no
// change, whatever their representation in the engine.
#include "tck/side_effects.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace orvane::tck {
namespace {

template <typename Set>
std::pair<std::int64_t, std::int64_t> added_removed(const Set& before, const Set& after) {
  std::int64_t added = 0;
  for (const auto& k : after) added += before.count(k) == 0;
  std::int64_t removed = 0;
  for (const auto& k : before) removed += after.count(k) == 0;
  return {added, removed};
}

std::set<std::int64_t> keys_of(const auto& map) {
  std::set<std::int64_t> keys;
  for (const auto& entry : map) keys.insert(entry.first);
  return keys;
}

std::set<std::string> labels_in_use(const GraphSnapshot& g) {
  std::set<std::string> labels;
  for (const auto& [id, node] : g.nodes) labels.insert(node.labels.begin(), node.labels.end());
  return labels;
}

void add_property_keys(std::set<std::string>& out, char entity, std::int64_t id,
                       const std::map<std::string, TckValue>& properties) {
  for (const auto& [key, value] : properties) {
    if (value.kind == TckValue::Kind::kNull) continue;  // a null property is no property
    out.insert(std::string(1, entity) + std::to_string(id) + "\x1f" + key + "\x1f" +
               value_text(value, TextMode::kCanonical));
  }
}

std::set<std::string> property_triples(const GraphSnapshot& g) {
  std::set<std::string> out;
  for (const auto& [id, node] : g.nodes) add_property_keys(out, 'n', id, node.properties);
  for (const auto& [id, rel] : g.relationships) add_property_keys(out, 'r', id, rel.properties);
  return out;
}

struct Counter {
  const char* name;
  std::int64_t SideEffects::*field;
};

constexpr std::array<Counter, 8> kCounters{{
    {"+nodes", &SideEffects::nodes_added},
    {"-nodes", &SideEffects::nodes_removed},
    {"+relationships", &SideEffects::relationships_added},
    {"-relationships", &SideEffects::relationships_removed},
    {"+labels", &SideEffects::labels_added},
    {"-labels", &SideEffects::labels_removed},
    {"+properties", &SideEffects::properties_added},
    {"-properties", &SideEffects::properties_removed},
}};

}  // namespace

SideEffects diff_snapshots(const GraphSnapshot& before, const GraphSnapshot& after) {
  SideEffects e;
  std::tie(e.nodes_added, e.nodes_removed) = added_removed(keys_of(before.nodes), keys_of(after.nodes));
  std::tie(e.relationships_added, e.relationships_removed) =
      added_removed(keys_of(before.relationships), keys_of(after.relationships));
  std::tie(e.labels_added, e.labels_removed) = added_removed(labels_in_use(before), labels_in_use(after));
  std::tie(e.properties_added, e.properties_removed) = added_removed(property_triples(before), property_triples(after));
  return e;
}

SideEffects parse_side_effects(const GherkinTable& table) {
  SideEffects e;
  std::set<std::string> seen;
  for (const std::vector<std::string>& row : table) {
    if (row.size() != 2) throw std::runtime_error("side effects row needs a name and a count");
    const auto counter = std::find_if(kCounters.begin(), kCounters.end(),
                                      [&](const Counter& c) { return row[0] == c.name; });
    if (counter == kCounters.end()) throw std::runtime_error("unknown side effect: " + row[0]);
    if (!seen.insert(row[0]).second) throw std::runtime_error("side effect named twice: " + row[0]);
    const std::string& count = row[1];
    if (count.empty() || count.size() > 18 || count.find_first_not_of("0123456789") != std::string::npos) {
      throw std::runtime_error("side effect count is not a number: " + count);
    }
    e.*(counter->field) = std::stoll(count);
  }
  return e;
}

std::string side_effects_text(const SideEffects& effects) {
  std::string out;
  for (const Counter& c : kCounters) {
    const std::int64_t n = effects.*(c.field);
    if (n == 0) continue;
    if (!out.empty()) out += ", ";
    out += std::string(c.name) + " " + std::to_string(n);
  }
  return out.empty() ? "none" : out;
}

}  // namespace orvane::tck
