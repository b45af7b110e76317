// Conversion in both directions. The shape tests are exact (a node has
// "labels" and "properties" and nothing but its identities beside them), so
// that a map a query builds with a key "labels" stays a map.
#include "tck/json_values.h"

#include "graph/value.h"
#include "support/temporal_display.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace orvane::tck {
namespace {

using json = nlohmann::json;

bool has_only(const json& j, std::initializer_list<const char*> required, std::initializer_list<const char*> optional) {
  std::size_t matched = 0;
  for (const char* k : required) {
    if (!j.contains(k)) return false;
    ++matched;
  }
  for (const char* k : optional) matched += j.contains(k);
  return matched == j.size();
}

std::int64_t identity(const json& j, const char* key) {
  const auto it = j.find(key);
  if (it == j.end()) return -1;
  if (it->is_number_integer()) return it->get<std::int64_t>();
  if (it->is_string()) {
    // An identity given as text (an element id) still has to tell entities apart.
    return static_cast<std::int64_t>(std::hash<std::string>{}(it->get<std::string>()) >> 1);
  }
  throw std::runtime_error("entity identity is neither a number nor a text: " + it->dump());
}

std::map<std::string, TckValue> properties_of(const json& j) {
  const json& props = j.at("properties");
  if (!props.is_object()) throw std::runtime_error("entity properties are not an object: " + props.dump());
  std::map<std::string, TckValue> out;
  for (const auto& [k, v] : props.items()) out[k] = value_of_json(v);
  return out;
}

TckValue node_of(const json& j) {
  TckValue v;
  v.kind = TckValue::Kind::kNode;
  v.id = identity(j, "id");
  for (const json& label : j.at("labels")) v.labels.push_back(label.get<std::string>());
  v.entries = properties_of(j);
  return v;
}

TckValue relationship_of(const json& j) {
  TckValue v;
  v.kind = TckValue::Kind::kRelationship;
  v.id = identity(j, "id");
  v.start = identity(j, "start");
  v.end = identity(j, "end");
  v.type = j.at("type").get<std::string>();
  v.entries = properties_of(j);
  return v;
}

TckValue path_of(const json& j) {
  const json& nodes = j.at("nodes");
  const json& rels = j.at("relationships");
  if (!nodes.is_array() || !rels.is_array() || nodes.size() != rels.size() + 1) {
    throw std::runtime_error("path needs one node more than relationships: " + j.dump());
  }
  TckValue v;
  v.kind = TckValue::Kind::kPath;
  v.items.push_back(node_of(nodes[0]));
  for (std::size_t i = 0; i < rels.size(); ++i) {
    TckValue rel = relationship_of(rels[i]);
    const std::int64_t before = v.items.back().id;
    TckValue next = node_of(nodes[i + 1]);
    // A self-loop counts as forward.
    if (rel.start == before) {
      rel.forward = true;
    } else if (rel.end == before) {
      rel.forward = false;
    } else {
      throw std::runtime_error("path relationship does not touch the node before it: " + j.dump());
    }
    v.items.push_back(std::move(rel));
    v.items.push_back(std::move(next));
  }
  return v;
}

double special_float(const std::string& text) {
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  if (text == "Infinity") return HUGE_VAL;
  if (text == "-Infinity") return -HUGE_VAL;
  throw std::runtime_error("typed Float text is not NaN or an infinity: " + text);
}

}  // namespace

TckValue value_of_json(const json& j) {
  switch (j.type()) {
    case json::value_t::null: return TckValue::null();
    case json::value_t::boolean: return TckValue::of_bool(j.get<bool>());
    case json::value_t::number_integer: return TckValue::of_int(j.get<std::int64_t>());
    case json::value_t::number_unsigned: {
      const auto u = j.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throw std::runtime_error("integer beyond 64 bits: " + j.dump());
      }
      return TckValue::of_int(static_cast<std::int64_t>(u));
    }
    case json::value_t::number_float: return TckValue::of_float(j.get<double>());
    case json::value_t::string: return TckValue::of_string(j.get<std::string>());
    case json::value_t::array: {
      std::vector<TckValue> items;
      for (const json& e : j) items.push_back(value_of_json(e));
      return TckValue::of_list(std::move(items));
    }
    case json::value_t::object: {
      if (has_only(j, {"$type", "_value"}, {}) && j["$type"].is_string() && j["_value"].is_string()) {
        const std::string type = j["$type"].get<std::string>();
        const std::string text = j["_value"].get<std::string>();
        if (type == "Integer") {
          std::size_t used = 0;
          const long long n = std::stoll(text, &used);
          if (used != text.size()) throw std::runtime_error("typed Integer text: " + text);
          return TckValue::of_int(n);
        }
        if (type == "Float") return TckValue::of_float(special_float(text));
        // Temporals as Neo4j shows them, the form the scenarios expect.
        static const char* const kTemporal[] = {"Date", "LocalTime", "Time", "LocalDateTime", "OffsetDateTime",
                                                "ZonedDateTime", "Duration"};
        for (const char* t : kTemporal) {
          if (type != t) continue;
          try {
            return TckValue::of_typed(type, testing::temporal_display(from_typed_json(j)));
          } catch (const std::runtime_error&) {
            return TckValue::of_typed(type, text);  // a text our reader refuses stays as written
          }
        }
        return TckValue::of_typed(type, text);
      }
      if (has_only(j, {"id", "labels", "properties"}, {"elementId"}) && j["labels"].is_array()) return node_of(j);
      if (has_only(j, {"id", "type", "start", "end", "properties"}, {"elementId"})) return relationship_of(j);
      if (has_only(j, {"nodes", "relationships"}, {})) return path_of(j);
      std::map<std::string, TckValue> entries;
      for (const auto& [k, v] : j.items()) entries[k] = value_of_json(v);
      return TckValue::of_map(std::move(entries));
    }
    case json::value_t::binary:
    case json::value_t::discarded: break;
  }
  throw std::runtime_error("JSON value of no Cypher type: " + j.dump());
}

json json_of_value(const TckValue& v) {
  using Kind = TckValue::Kind;
  switch (v.kind) {
    case Kind::kNull: return nullptr;
    case Kind::kBoolean: return v.boolean;
    case Kind::kInteger: return v.integer;
    case Kind::kFloat:
      if (std::isfinite(v.number)) return v.number;
      return json{{"$type", "Float"}, {"_value", float_text(v.number)}};
    case Kind::kString: return v.text;
    case Kind::kTyped: return json{{"$type", v.type}, {"_value", v.text}};
    case Kind::kList: {
      json out = json::array();
      for (const TckValue& item : v.items) out.push_back(json_of_value(item));
      return out;
    }
    case Kind::kMap: {
      json out = json::object();
      for (const auto& [k, item] : v.entries) out[k] = json_of_value(item);
      return out;
    }
    case Kind::kNode:
    case Kind::kRelationship:
    case Kind::kPath: break;
  }
  throw std::runtime_error("a graph entity cannot be a parameter: " + value_text(v));
}

}  // namespace orvane::tck
