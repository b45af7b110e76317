// Documents about the engine itself: settings, activity counters, the query
// log and change events, statistics and metrics, and the connection
// catalogue.
//
// The style text is the one value inserted raw. It arrives from a console
// statement, so it is inserted only when it parses as one JSON value within
// the nesting bound; anything else is written as a JSON string, which keeps
// the document valid whatever was stored.
#include <algorithm>

#include <nlohmann/json.hpp>

#include "console/document_support.h"
#include "console/documents.h"
#include "console/engine.h"
#include "console/query_bounds.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"
#include "layout/layout_stats.h"

namespace orvane {
namespace {

bool is_json_value(const std::string& text) {
  try {
    parse_json_bounded(text);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The last `limit` elements of `list` as a JSON array, oldest first.
template <typename List, typename Write>
std::string tail_array(const List& list, std::size_t limit, Write write) {
  const std::size_t first = list.size() > limit ? list.size() - limit : 0;
  std::string out = "[";
  for (std::size_t i = first; i < list.size(); ++i) {
    if (i > first) out += ',';
    out += write(list[i]);
  }
  return out + "]";
}

}  // namespace

std::string params_document(const ParamTable& table) {
  JsonObjectText params;
  for (const auto& [name, value] : table) params.string(name, value);
  return JsonObjectText()
      .raw("params", params.text())
      .string("note", "Use a parameter as $name in a statement; set one with :param name => value.")
      .text();
}

std::string style_document(const Engine& engine) {
  const std::string style = is_json_value(engine.style()) ? engine.style() : json_string(engine.style());
  return JsonObjectText()
      .raw("style", style)
      .string("note", "A graph style sets the caption and the colour of each label and relationship type.")
      .text();
}

std::string config_document(const Engine& engine) {
  const Database& db = engine.database();
  JsonObjectText doc;
  doc.count("browser.maxFrames", 50)
      .boolean("dbms.security.auth_enabled", false)
      .string("dbms.default_database", engine.current_name())
      .string("dbms.memory.heap.max_size", std::to_string(db.graph.node_count * 64) + "B-soa")
      .raw("orvane.entropy.auto", std::to_string(engine.auto_entropy_every()))
      .string("orvane.web_root", engine.web_root)
      .count("orvane.params", engine.params().size());
  // The bounds statements run under, each in its unit (console/query_bounds.h).
  for (const BoundSetting& setting : bound_settings()) doc.count(setting.setting, bound_value(engine.query_bound(), setting));
  return doc
      .string("note", "Settings come from command-line options and console statements; there is no configuration file.")
      .text();
}

std::string server_status_document(const Engine& engine) {
  const Database& db = engine.database();
  return JsonObjectText()
      .string("address", "http://127.0.0.1")
      .string("protocol", engine.bolt_address.empty() ? "HTTP (Bolt optional, unused)" : "HTTP and Bolt")
      .string("version", "Halvex production")
      .string("database", engine.current_name())
      .count("nodes", db.graph.node_count)
      .count("edges", relationship_count(db))
      .count("queries", engine.statement_count())
      .count("databases", engine.databases().size())
      .string("note", "Clients send statements over HTTP as JSON; no handshake is needed.")
      .text();
}

std::string query_log_document(const Engine& engine) {
  const std::string entries = tail_array(engine.query_log(), kQueryLogShown, [](const QueryLogEntry& e) {
    return JsonObjectText().string("cypher", e.cypher).real("ns", e.ns).boolean("ok", e.ok).text();
  });
  return JsonObjectText().raw("queries", entries).text();
}

std::string change_events_document(const Engine& engine, std::size_t limit) {
  return tail_array(engine.changes(), limit, [](const ChangeEvent& e) {
    return JsonObjectText().string("op", e.op).string("detail", e.detail).text();
  });
}

std::string stats_document(const Engine& engine) {
  const Database& db = engine.database();
  const LayoutStats layout = compute_layout_stats(db.graph);
  const double avg = engine.statement_count() == 0
                         ? 0
                         : engine.total_statement_ns() / static_cast<double>(engine.statement_count());
  return JsonObjectText()
      .count("queries", engine.statement_count())
      .count("errors", engine.error_count())
      .real("avg_ns", avg)
      .count("nodes", db.graph.node_count)
      .count("edges", relationship_count(db))
      .real("degree_entropy", layout.degree_entropy)
      .real("mean_edge_jump", layout.mean_edge_jump)
      .count("databases", engine.databases().size())
      .count("cdc_events", engine.change_count())
      .text();
}

std::string metrics_text(const Engine& engine) {
  const Database& db = engine.database();
  return "# HELP orvane_queries_total Cypher/procedure executions\n"
         "# TYPE orvane_queries_total counter\n"
         "orvane_queries_total " + std::to_string(engine.statement_count()) + "\n"
         "# TYPE orvane_errors_total counter\n"
         "orvane_errors_total " + std::to_string(engine.error_count()) + "\n"
         "# TYPE orvane_nodes gauge\n"
         "orvane_nodes " + std::to_string(db.graph.node_count) + "\n"
         "# TYPE orvane_edges gauge\n"
         "orvane_edges " + std::to_string(relationship_count(db)) + "\n"
         "# TYPE orvane_databases gauge\n"
         "orvane_databases " + std::to_string(engine.databases().size()) + "\n";
}

std::string connection_catalogue_document(const Engine& engine) {
  return JsonObjectText().raw("catalog", remotes_json(engine.remotes())).raw("coming_soon", hosted_offering_json()).text();
}

}  // namespace orvane
