// The GET table: read-only documents of the console (statistics, schema,
// help, metrics, the connection catalogue, …), the databases document, the
// search and node views, the cutover plan and retrieval. Paths are matched
// by exact equality in the table's order; "/schema" and "/metrics" are the
// short forms the console and scrapers use.
#include <array>

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

using GetHandler = HttpResponse (*)(Engine&, const HttpRequest&);

struct GetRoute {
  const char* path;
  GetHandler handler;
};

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
    GetRoute{"/v1/health", health},
    GetRoute{"/v1/schema", schema},
    GetRoute{"/schema", schema},
    GetRoute{"/v1/stats", engine_document<stats_document>},
    GetRoute{"/v1/cluster", engine_document<cluster_document>},
    GetRoute{"/v1/cdc", cdc},
    GetRoute{"/v1/cost", fixed_document<cost_document>},
    GetRoute{"/v1/databases", databases},
    GetRoute{"/v1/procedures", fixed_document<procedures_document>},
    GetRoute{"/v1/help", fixed_document<help_document>},
    GetRoute{"/v1/guides", guides},
    GetRoute{"/v1/config", engine_document<config_document>},
    GetRoute{"/v1/style", engine_document<style_document>},
    GetRoute{"/v1/queries", engine_document<query_log_document>},
    GetRoute{"/v1/indexes", engine_document<index_document>},
    GetRoute{"/v1/features", fixed_document<features_document>},
    GetRoute{"/v1/gds", gds},
    GetRoute{"/metrics", metrics},
    GetRoute{"/v1/metrics/prometheus", metrics},
    GetRoute{"/v1/cloud", engine_document<connection_catalogue_document>},
    GetRoute{"/v1/search", search},
    GetRoute{"/v1/node", node},
    GetRoute{"/v1/cutover", cutover},
    GetRoute{"/v1/rag", rag},
};

}  // namespace

bool answer_get(Engine& engine, const HttpRequest& request, HttpResponse& out) {
  for (const GetRoute& route : kGetRoutes) {
    if (request.path == route.path) {
      out = route.handler(engine, request);
      return true;
    }
  }
  return false;
}

}  // namespace orvane
