// The GET table: read-only documents of the console (statistics, schema,
// help, metrics, the connection catalogue, …), the databases document, the
// search and node views, the cutover plan and retrieval. Paths are matched
// by exact equality in the table's order; "/schema" and "/metrics" are the
// short forms the console and scrapers use.
#include <array>

#include "console/migration.h"
#include "console/api_operations.h"
#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/documents.h"
#include "console/engine.h"
#include "graph/json_text.h"
#include "http/routes.h"

namespace orvane {
namespace {

constexpr std::size_t kChangeEventsShown = 50;  // latest change events /v1/cdc lists

// A console statement answered in the console result form, always 200.
HttpResponse statement_document(Engine& engine, const char* statement) {
  ConsoleResult result;
  dispatch(result, engine, statement, "", nullptr);
  return json_answer(result_json(result));
}

HttpResponse health(Engine& engine, const HttpRequest&) {
  return json_answer("{\"engine\":\"orvane\",\"instance\":\"" + json_escape(engine.instance_id) + "\",\"ok\":true}");
}

HttpResponse schema(Engine& engine, const HttpRequest&) { return statement_document(engine, "CALL db.schema()"); }
HttpResponse gds(Engine& engine, const HttpRequest&) { return statement_document(engine, "CALL gds.pageRank()"); }

HttpResponse metrics(Engine& engine, const HttpRequest&) {
  HttpResponse response = json_answer(metrics_text(engine));
  response.content_type = "text/plain; version=0.0.4";
  return response;
}

HttpResponse search(Engine& engine, const HttpRequest& request) {
  std::string text = query_param(request.query_string, "q");
  if (text.empty()) text = body_field(request.body, "q");
  return json_answer(search_document(engine, text_field(text, "person"), kSearchHits));
}

HttpResponse node(Engine& engine, const HttpRequest& request) {
  const std::uint64_t id = unsigned_field(query_param(request.query_string, "id"), 0);
  return json_answer(node_document(engine, id, kNodeNeighbours));
}

HttpResponse cutover(Engine&, const HttpRequest& request) {
  const std::string& q = request.query_string;
  return json_answer(cutover_plan_document(query_param(q, "bolt"), query_param(q, "dump"), query_param(q, "host")));
}

HttpResponse databases(Engine& engine, const HttpRequest& request) {
  return json_answer(databases_document(engine, header_value(request.raw, "Host")));
}

template <std::string (*Document)(const Engine&)>
HttpResponse engine_document(Engine& engine, const HttpRequest&) {
  return json_answer(Document(engine));
}

template <std::string (*Document)()>
HttpResponse fixed_document(Engine&, const HttpRequest&) {
  return json_answer(Document());
}

HttpResponse cdc(Engine& engine, const HttpRequest&) {
  return json_answer(change_events_document(engine, kChangeEventsShown));
}

HttpResponse guides(Engine&, const HttpRequest& request) {
  return json_answer(guides_document(query_param(request.query_string, "topic")));
}

HttpResponse rag(Engine& engine, const HttpRequest& request) { return rag_route(engine, request); }

// In matching order.
constexpr std::array kGetRoutes = {
    Route{"/v1/health", health},
    Route{"/v1/schema", schema},
    Route{"/schema", schema},
    Route{"/v1/stats", engine_document<stats_document>},
    Route{"/v1/cluster", engine_document<cluster_document>},
    Route{"/v1/cdc", cdc},
    Route{"/v1/cost", fixed_document<cost_document>},
    Route{"/v1/databases", databases},
    Route{"/v1/procedures", fixed_document<procedures_document>},
    Route{"/v1/help", fixed_document<help_document>},
    Route{"/v1/guides", guides},
    Route{"/v1/config", engine_document<config_document>},
    Route{"/v1/style", engine_document<style_document>},
    Route{"/v1/queries", engine_document<query_log_document>},
    Route{"/v1/indexes", engine_document<index_document>},
    Route{"/v1/features", fixed_document<features_document>},
    Route{"/v1/gds", gds},
    Route{"/metrics", metrics},
    Route{"/v1/metrics/prometheus", metrics},
    Route{"/v1/cloud", engine_document<connection_catalogue_document>},
    Route{"/v1/search", search},
    Route{"/v1/node", node},
    Route{"/v1/cutover", cutover},
    Route{"/v1/rag", rag},
    Route{"/v1/migrate/progress", fixed_document<migration_progress_document>},
};

}  // namespace

bool answer_get(Engine& engine, const HttpRequest& request, HttpResponse& out) {
  return answer_from(kGetRoutes, engine, request, out);
}

}  // namespace orvane
