// The adapter keeps no state beyond its Engine: reset() replaces the whole
// Engine, so nothing a scenario did (parameters, logs, schema names) can
// leak into the next one.
#include "tck/console_engine.h"

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "graph/database.h"
#include "graph/value.h"
#include "query/procedures.h"
#include "tck/json_values.h"

namespace orvane::tck {
namespace {

constexpr const char* kDatabaseName = "tck";

std::string text_member(const nlohmann::json& answer, const char* key) {
  const auto it = answer.find(key);
  return it != answer.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::map<std::string, TckValue> properties_of(const nlohmann::json& props) {
  std::map<std::string, TckValue> out;
  for (const auto& [key, value] : props.items()) out[key] = value_of_json(value);
  return out;
}

}  // namespace

ConsoleEngine::ConsoleEngine() { reset(); }

ConsoleEngine::~ConsoleEngine() = default;

void ConsoleEngine::reset() {
  auto engine = std::make_unique<Engine>();
  Database db;
  db.compile();  // queries read the compiled form, which an empty graph has too
  engine->register_database(kDatabaseName, std::move(db));
  engine->use_database(kDatabaseName);
  engine_ = std::move(engine);
}

namespace {

// A scenario's value as the engine's: the literal kinds the procedure
// tables use.
CypherValue cypher_of(const TckValue& v) {
  switch (v.kind) {
    case TckValue::Kind::kNull: return {};
    case TckValue::Kind::kBoolean: return v.boolean;
    case TckValue::Kind::kInteger: return v.integer;
    case TckValue::Kind::kFloat: return v.number;
    case TckValue::Kind::kString: return v.text;
    case TckValue::Kind::kList: {
      CypherList out;
      for (const TckValue& item : v.items) out.push_back(cypher_of(item));
      return out;
    }
    case TckValue::Kind::kMap: {
      CypherMap out;
      for (const auto& [k, item] : v.entries) out.emplace_back(k, cypher_of(item));
      return out;
    }
    default: return from_property(from_typed_json(json_of_value(v)));
  }
}

}  // namespace

// Each procedure answers the rows of its table whose inputs equal the
// arguments, as the scenarios define their test procedures.
bool ConsoleEngine::install_procedures(const tck::ProcedureRegistry& registry, std::string& why) {
  try {
    for (const TestProcedure& test : registry.procedures) {
      Procedure p;
      p.name = test.name;
      for (const ProcedureField& f : test.parameters) p.inputs.push_back({f.name, f.type});
      for (const ProcedureField& f : test.outputs) p.outputs.push_back({f.name, f.type});
      std::vector<std::vector<CypherValue>> rows;
      for (const auto& row : test.rows) {
        std::vector<CypherValue> values;
        for (const TckValue& v : row) values.push_back(cypher_of(v));
        rows.push_back(std::move(values));
      }
      const std::size_t inputs = test.parameters.size();
      p.body = [rows, inputs](std::span<const CypherValue> args, const Database&,
                              const std::function<void(std::vector<CypherValue>)>& emit) {
        for (const auto& row : rows) {
          bool match = true;
          for (std::size_t i = 0; i < inputs && match; ++i) match = equivalent(row[i], args[i]);
          if (match) emit(std::vector<CypherValue>(row.begin() + static_cast<std::ptrdiff_t>(inputs), row.end()));
        }
      };
      engine_->procedures().add(std::move(p));
    }
  } catch (const std::exception& e) {
    why = std::string("cannot install the scenario's procedures: ") + e.what();
    return false;
  }
  return true;
}

QueryOutcome ConsoleEngine::execute(const std::string& statement, const std::map<std::string, TckValue>& params) {
  ParamMap param_map;
  try {
    for (const auto& [name, value] : params) param_map[name] = json_of_value(value);
  } catch (const std::exception& e) {
    QueryOutcome o;
    o.error.message = std::string("runner could not pass the parameters: ") + e.what();
    return o;
  }
  ConsoleResult result;
  // Passing a map, even an empty one, keeps the engine's own :param values out.
  dispatch(result, *engine_, statement, "", &param_map);
  return outcome_of_answer(result_json(result));
}

QueryOutcome outcome_of_answer(const std::string& answer_text) {
  QueryOutcome o;
  try {
    const nlohmann::json answer = nlohmann::json::parse(answer_text);
    if (!answer.value("ok", false)) {
      o.error.message = text_member(answer, "error");
      o.error.error_class = text_member(answer, "errorClass");
      o.error.phase = text_member(answer, "phase");
      o.error.detail = text_member(answer, "detail");
      return o;
    }
    o.ok = true;
    const auto data = answer.find("data");
    if (data == answer.end() || !data->is_object() || !data->contains("columns") || !data->contains("rows")) {
      return o;
    }
    for (const nlohmann::json& c : data->at("columns")) o.result.columns.push_back(c.get<std::string>());
    for (const nlohmann::json& row : data->at("rows")) {
      std::vector<TckValue> values;
      for (const nlohmann::json& v : row) values.push_back(value_of_json(v));
      o.result.rows.push_back(std::move(values));
    }
  } catch (const std::exception& e) {
    o = QueryOutcome{};
    o.error.message = std::string("runner could not read the answer: ") + e.what();
  }
  return o;
}

GraphSnapshot ConsoleEngine::snapshot() const {
  const Database& db = engine_->database();
  GraphSnapshot s;
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    SnapshotNode& node = s.nodes[db.node_id(id)];  // identities change when a deletion compacts the graph
    for (const std::uint16_t label : db.graph.labels_of(id)) node.labels.insert(db.node_type_name(label));
    node.properties = properties_of(db.node_properties(id));
  }
  for (std::uint32_t id = 0; id < db.graph.edges.size(); ++id) {
    SnapshotRelationship& rel = s.relationships[db.relationship_id(id)];
    rel.type = db.rel_type_name(db.graph.edges[id].type);
    rel.properties = properties_of(db.relationship_properties(id));
  }
  return s;
}

}  // namespace orvane::tck
