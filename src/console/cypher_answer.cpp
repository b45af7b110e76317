// The console's side of the query pipeline: running a statement and
// rendering its rows as the JSON answer (cypher_answer.h has the shapes).
//
// Ids in answers are the ids users see (graph/entity_ids.h); elementId is
// id() in Neo4j 5's text form, "4:halvex:N" for nodes and "5:halvex:N" for
// relationships, so the two kinds never share one.
#include "console/cypher_answer.h"

#include <ostream>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/cypher_cursor.h"
#include "console/engine.h"
#include "console/graph_arrays.h"
#include "console/statement_rows.h"
#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/parse/parser.h"
#include "query/ql_error.h"

namespace orvane {
namespace {

using json = nlohmann::json;
using Kind = CypherValue::Kind;

// The most rows an answer kept in memory holds; a streamed answer has no
// such bound.
constexpr std::uint64_t kMaxAnswerRows = 10000;

json node_json(std::uint32_t node, const Database& db) {
  json labels = json::array();
  for (const std::uint16_t label : db.graph.labels_of(node)) labels.push_back(db.node_type_name(label));
  const std::uint64_t id = db.node_id(node);
  return {{"id", id}, {"elementId", "4:halvex:" + std::to_string(id)}, {"labels", std::move(labels)},
          {"properties", db.node_properties(node)}};
}

json relationship_json(std::uint32_t rel, const Database& db) {
  const Edge& e = db.graph.edges[rel];
  const std::uint64_t id = db.relationship_id(rel);
  return {{"id", id},
          {"elementId", "5:halvex:" + std::to_string(id)},
          {"type", db.rel_type_name(e.type)},
          {"start", db.node_id(e.src)},
          {"end", db.node_id(e.dst)},
          {"properties", db.relationship_properties(rel)}};
}

// A parameter's JSON as a value: typed JSON ({"$type": ...}) as its type,
// other objects as maps, arrays as lists.
CypherValue parameter_value(const json& j) {
  switch (j.type()) {
    case json::value_t::array: {
      CypherList out;
      for (const json& e : j) out.push_back(parameter_value(e));
      return out;
    }
    case json::value_t::object: {
      if (j.contains("$type")) return from_property(from_typed_json(j));
      CypherMap out;
      for (const auto& [k, v] : j.items()) out.emplace_back(k, parameter_value(v));
      return out;
    }
    default: return from_property(from_typed_json(j));
  }
}

// The statement's parameters, typed: the request's, else the engine's
// :param values (kept as text: JSON where it reads as JSON, else a string).
CypherParameters parameters_of(const StatementContext& ctx) {
  CypherParameters out;
  if (ctx.params != nullptr) {
    for (const auto& [name, value] : *ctx.params) out[name] = parameter_value(value);
    return out;
  }
  for (const auto& [name, text] : ctx.engine.params()) {
    const json parsed = json::parse(text, nullptr, false);
    out[name] = parsed.is_discarded() ? CypherValue(text) : parameter_value(parsed);
  }
  return out;
}

}  // namespace

json cypher_json(const CypherValue& value, const Database& db) {
  switch (value.kind()) {
    case Kind::kNode: return node_json(value.as_node().identity, db);
    case Kind::kRelationship: return relationship_json(value.as_relationship().identity, db);
    case Kind::kPath: {
      json nodes = json::array(), rels = json::array();
      for (const std::uint32_t n : value.as_path().nodes) nodes.push_back(node_json(n, db));
      for (const std::uint32_t r : value.as_path().rels) rels.push_back(relationship_json(r, db));
      return {{"nodes", std::move(nodes)}, {"relationships", std::move(rels)}};
    }
    case Kind::kList: {
      json out = json::array();
      for (const CypherValue& v : value.as_list()) out.push_back(cypher_json(v, db));
      return out;
    }
    case Kind::kMap: {
      json out = json::object();
      for (const auto& [k, v] : value.as_map()) out[k] = cypher_json(v, db);
      return out;
    }
    default: {
      std::optional<Value> property = to_property(value);
      return property ? to_typed_json(*property) : json();
    }
  }
}

// A writing statement's counters, named as Neo4j's drivers name them.
json counters_json(const UpdateCounters& c) {
  return json{{"containsUpdates", c.any()},
              {"nodesCreated", c.nodes_created},
              {"nodesDeleted", c.nodes_deleted},
              {"relationshipsCreated", c.relationships_created},
              {"relationshipsDeleted", c.relationships_deleted},
              {"propertiesSet", c.properties_set},
              {"labelsAdded", c.labels_added},
              {"labelsRemoved", c.labels_removed}};
}

void run_cypher(StatementContext& ctx, OperatorProfile* profile) {
  // Parameters are bound as typed values, not substituted into the text.
  const std::string& text = ctx.raw.empty() ? ctx.t : ctx.raw;
  CypherCursor cursor(ctx.engine, text, ctx.database, parameters_of(ctx), ctx.engine.statement_bound(),
                      profile != nullptr);
  const Database& db = cursor.database();
  std::ostream* stream = profile == nullptr ? ctx.rows_out : nullptr;
  GraphArrays graph(db, ctx.out);
  // Rows are rendered as they come, from the graph they were made in (a
  // write compiles it only when it finishes); streamed rows are written
  // at once and kept nowhere.
  json rows = json::array();
  std::uint64_t count = 0;
  json first;  // a streamed count's value
  if (stream != nullptr) {
    *stream << "{\"columns\":" << json(cursor.columns()).dump() << ",\"rows\":[";
    ctx.out.streamed = true;  // also when a failure cuts the document short
  }
  std::vector<std::vector<CypherValue>> batch;
  for (bool more = true; more;) {
    batch.clear();
    // Streamed rows go out one by one: those made before a failure are out.
    more = cursor.fetch(stream != nullptr ? 1 : 1000, batch);
    for (const std::vector<CypherValue>& record : batch) {
      if (stream == nullptr && count == kMaxAnswerRows) throw QlError("result exceeds 10000 rows; add an explicit LIMIT");
      json row = json::array();
      for (const CypherValue& v : record) {
        row.push_back(cypher_json(v, db));
        if (stream == nullptr) graph.add(v);
      }
      if (stream != nullptr) {
        *stream << (count == 0 ? "" : ",") << row.dump();
        if (count == 0 && !row.empty()) first = row[0];
      } else {
        rows.push_back(std::move(row));
      }
      ++count;
    }
  }
  cursor.finish(ctx.t);
  if (profile != nullptr) *profile = cursor.profile();
  if (stream != nullptr) {
    *stream << "]";
    if (cursor.writes()) *stream << ",\"counters\":" << counters_json(cursor.counters()).dump();
    *stream << "}";
  } else if (count == 1) {
    first = rows[0][0];
  }
  // A statement that only counts answers as counts always have: its
  // count in `count`.
  const bool single = cursor.single_count() && count == 1 && first.is_number_integer();
  ctx.out.kind = single ? "count" : "rows";
  ctx.out.count = single ? first.get<std::uint64_t>() : count;
  if (stream == nullptr) {
    json data{{"columns", cursor.columns()}, {"rows", std::move(rows)}};
    if (cursor.writes()) data["counters"] = counters_json(cursor.counters());
    ctx.out.data = data.dump();
  }
}

std::string cypher_plan_document(StatementContext& ctx, const OperatorProfile* ran, std::uint64_t rows, double ns) {
  const std::function<json(const OperatorProfile&)> tree = [&](const OperatorProfile& op) {
    json children = json::array();
    for (const OperatorProfile& child : op.children) children.push_back(tree(child));
    json node{{"operator", op.name}, {"rows", op.rows}, {"estimatedRows", op.estimated_rows}};
    if (ran != nullptr) {
      // Its own time: what it spent less what its inputs spent.
      std::uint64_t inputs = 0;
      for (const OperatorProfile& child : op.children) inputs += child.ns;
      node["ns"] = op.ns > inputs ? op.ns - inputs : 0;
    }
    node["children"] = std::move(children);
    return node;
  };
  const OperatorProfile plan =
      ran != nullptr ? *ran : explain_statement(prepare_statement(ctx.t, ctx.live_target(), &ctx.engine.procedures()));
  json doc = tree(plan);
  doc["query"] = ctx.t;
  doc["ran"] = ran != nullptr;
  doc["rows"] = rows;
  doc["ns"] = ns == 0 ? json(0) : json(ns);
  doc["runtime"] = "CPU pipeline over typed CSR";
  return doc.dump();
}

bool cypher_parses(const std::string& text) {
  try {
    parse_statement(text);
    return true;
  } catch (const CypherError&) {
    return false;
  }
}

}  // namespace orvane
