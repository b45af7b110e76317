// The POST table: the statement route, the views that take a body
// (search, node, explore, retrieval), and the operations that change the
// Engine — migration, pulls, export, backup and restore, remote
// registration, database selection and the entropy worker and lab. Paths
// are matched by exact equality in the table's order. Every operation
// answers only after it succeeded; its failure is the operation's own
// message, and the engine stays as the operation left it.
#include <algorithm>
#include <array>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "console/api_operations.h"
#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/document_support.h"
#include "console/documents.h"
#include "console/engine.h"
#include "console/migration.h"
#include "console/procedures.h"
#include "console/query_bounds.h"
#include "console/statement_batch.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"
#include "http/routes.h"

namespace orvane {
namespace {

std::string field(const HttpRequest& request, std::string_view name) { return body_field(request.body, name); }

// The first non-empty of two alternative fields.
std::string field_or(const HttpRequest& request, std::string_view name, std::string_view alternative) {
  std::string value = field(request, name);
  return value.empty() ? field(request, alternative) : value;
}

HttpResponse ok_answer() { return json_answer("{\"ok\":true}"); }

// A string member of the statement body: "" when absent; "invalid request
// field: NAME" for null, an object or an array, as for every body field;
// the JSON library's type error for a number or a boolean.
std::string string_member(const nlohmann::json& body, const char* name) {
  const auto it = body.find(name);
  if (it == body.end()) return std::string();
  if (it->is_null() || it->is_structured()) throw std::runtime_error(std::string("invalid request field: ") + name);
  return it->get<std::string>();
}

}  // namespace

StatementRequest read_statement_request(Engine& engine, const HttpRequest& request, bool query_required) {
  StatementRequest out;
  out.body = request.body.empty() ? nlohmann::json::object() : parse_json_bounded(request.body);
  const nlohmann::json& body = out.body;
  if (!body.is_object()) throw std::runtime_error("JSON object required");
  out.query = string_member(body, "query");
  if (out.query.empty() && query_required) throw std::runtime_error("query is required");
  out.db = string_member(body, "db");
  const auto params_member = body.find("params");
  out.has_params = params_member != body.end();
  if (out.has_params) {
    // nlohmann would turn an array of pairs into a map; only an object names parameters.
    if (!params_member->is_object()) {
      throw std::runtime_error(std::string("[json.exception.type_error.302] type must be object, but is ") +
                               params_member->type_name());
    }
    out.params = params_member->get<ParamMap>();
  }
  // The database applies to this statement only; USE and /v1/use select.
  // An unknown one is refused before any statement runs.
  if (!out.db.empty() && !engine.has_database(out.db)) throw std::runtime_error(unknown_database_message(out.db));
  return out;
}

namespace {

HttpResponse run_statements(Engine& engine, const StatementRequest& r) {
  // "timeout", "memory" and "steps" bound this request's statements only.
  const StatementBoundScope bound(engine, request_bound(engine.query_bound(), r.body));
  // One statement or several separated by ";" (console/statement_batch.h).
  BatchAnswer answer;
  dispatch_input(answer, engine, r.query, r.db, r.has_params ? &r.params : nullptr);
  HttpResponse response = json_answer(batch_json(answer));
  response.status = answer.ok() ? 200 : 400;
  return response;
}

// Statements that only read run with the engine lock shared, each on the
// version of its database published when it started; statements that
// write run in the lock's writer mode beside them, on the writer's copy,
// published when they end (exclusively while it has none ready); anything
// else takes the lock exclusive.
HttpResponse statement(Engine& engine, const HttpRequest& request) {
  InputAccess access = InputAccess::kExclusive;
  {
    const std::shared_lock<EngineLock> shared(engine.mutex());
    const ReadingScope reading(engine);
    const StatementRequest r = read_statement_request(engine, request, true);
    access = input_access(engine, r.query, r.db);
    if (access == InputAccess::kRead) return run_statements(engine, r);
  }
  HttpResponse response;
  if (access == InputAccess::kWrite) {
    // The writes' records reach the disk after the lock is released, so
    // that writers arriving meanwhile share the same fsync. What decided
    // the mode may have changed meanwhile: it is decided again.
    // A database without its writer's copy ready is written exclusively.
    const WriterModeGuard writer(engine.mutex());
    const StatementRequest r = read_statement_request(engine, request, true);
    access = InputAccess::kExclusive;
    if (input_access(engine, r.query, r.db) == InputAccess::kWrite) {
      const WritingScope writing(engine, r.db);
      if (writing.ready()) {
        const DeferredSyncScope deferred(engine);
        response = run_statements(engine, r);
        access = InputAccess::kWrite;
      }
    }
  }
  if (access != InputAccess::kWrite) {
    const std::lock_guard<EngineLock> exclusive(engine.mutex());
    const DeferredSyncScope deferred(engine);
    response = run_statements(engine, read_statement_request(engine, request, true));
  }
  engine.await_durable();
  return response;
}

HttpResponse search(Engine& engine, const HttpRequest& request) {
  return json_answer(search_document(engine, text_field(field(request, "q"), "person"), kSearchHits));
}

HttpResponse node(Engine& engine, const HttpRequest& request) {
  return json_answer(node_document(engine, unsigned_field(field(request, "id"), 0), kNodeNeighbours));
}

// "reduce", which once asked for a reduced import, is still accepted: every
// import is whole, and with "reduce": true the answer says that nothing was
// reduced ("reductions": [], io/reductions.h).
HttpResponse migrate(Engine& engine, const HttpRequest& request) {
  const std::string name = text_field(field(request, "name"), "migrated");
  // neo4j-admin's file groups as JSON.
  if (const nlohmann::json body = parse_json_bounded(request.body); body.contains("nodes")) {
    return json_answer(migrate_file_groups(engine, name, body));
  }
  const std::string reduce = field(request, "reduce");
  if (!reduce.empty() && reduce != "true" && reduce != "false") {
    throw std::runtime_error("reduce must be true or false");
  }
  PreparedGraph prepared = prepare_migration(text_field(field(request, "dir"), "data"), name);
  const std::vector<std::string> ignored = std::move(prepared.ignored);
  {
    const std::lock_guard<EngineLock> lock(engine.mutex());
    install_prepared(engine, std::move(prepared));
  }
  std::string answer = "{\"ok\":true,\"database\":\"" + json_escape(name) + "\"";
  if (reduce == "true") answer += ",\"reductions\":[]";
  // What the import did not read is said, never skipped silently.
  if (!ignored.empty()) answer += ",\"ignored\":" + json_string_array(ignored);
  return json_answer(answer + "}");
}

HttpResponse export_route(Engine& engine, const HttpRequest& request) {
  export_current(engine, field(request, "dir"), text_field(field(request, "format"), "csv"));
  const Database& db = engine.database();
  return json_answer("{\"edges\":" + std::to_string(relationship_count(db)) +
                     ",\"nodes\":" + std::to_string(db.graph.node_count) + ",\"ok\":true}");
}

HttpResponse load_neo4j(Engine& engine, const HttpRequest& request) {
  const std::string bolt = field_or(request, "bolt", "uri");
  if (bolt.empty()) throw std::runtime_error("bolt URI required");
  pull_from_neo4j(engine, bolt, text_field(field(request, "user"), kNeo4jDefaultUser),
                  text_field(field(request, "password"), kNeo4jDefaultPassword),
                  text_field(field(request, "database"), kNeo4jDefaultDatabase),
                  text_field(field(request, "dir"), kDefaultPullDirectory));
  return json_answer("{\"ok\":true,\"database\":\"migrated\",\"nodes\":" +
                     std::to_string(engine.database().graph.node_count) + ",\"gpu_load\":false}");
}

HttpResponse restore_route(Engine& engine, const HttpRequest& request) {
  PreparedGraph prepared = prepare_restore(text_field(field(request, "path"), "data/graph.orv"));
  const std::lock_guard<EngineLock> lock(engine.mutex());
  install_prepared(engine, std::move(prepared));
  return ok_answer();
}

HttpResponse cloud(Engine& engine, const HttpRequest& request) {
  RemoteFields fields;
  fields.connection = field_or(request, "connection", "connection_string");
  fields.name = field(request, "name");
  fields.url = field_or(request, "url", "host");
  fields.password = field(request, "password");
  fields.key_file = field_or(request, "key_file", "key");
  fields.database = field(request, "database");
  fields.port = field(request, "port");
  register_remote(engine, fields);
  return json_answer(connection_catalogue_document(engine));
}

HttpResponse cutover(Engine&, const HttpRequest& request) {
  return json_answer(cutover_plan_document(field_or(request, "bolt", "bolt_uri"), field_or(request, "dump", "dump_dir"),
                                           field_or(request, "host", "hostname")));
}

HttpResponse explore_route(Engine& engine, const HttpRequest& request) {
  const std::uint64_t id = unsigned_field(field(request, "id"), 0);
  const int hops = signed_field(field(request, "hops"), 2);
  ConsoleResult result = explore(engine, id, static_cast<std::uint32_t>(std::max(hops, 0)), kExploreNodeLimit);
  return json_answer(result_json(result));
}

HttpResponse ladder(Engine&, const HttpRequest& request) {
  return json_answer(console_ladder_document(unsigned_field(field(request, "people"), 4000),
                                             unsigned_field(field(request, "papers"), 1500)));
}

HttpResponse lab(Engine&, const HttpRequest& request) {
  return json_answer(console_lab_document(unsigned_field(field(request, "people"), 8000),
                                          unsigned_field(field(request, "papers"), 3000),
                                          signed_field(field(request, "mess"), 3)));
}

HttpResponse entropy_auto(Engine& engine, const HttpRequest& request) {
  const int every = signed_field(field(request, "every"), 1);
  engine.set_auto_entropy_every(every);
  entropy_optimize(engine);
  return json_answer("{\"ok\":true,\"auto_entropy_every\":" + std::to_string(engine.auto_entropy_every()) + "}");
}

HttpResponse entropy_optimize_route(Engine& engine, const HttpRequest&) {
  entropy_optimize(engine);
  return ok_answer();
}

HttpResponse backup_route(Engine& engine, const HttpRequest& request) {
  backup(engine, text_field(field(request, "path"), "data/graph.orv"));
  return ok_answer();
}

HttpResponse use(Engine& engine, const HttpRequest& request) {
  engine.use_database(field(request, "name"));
  return ok_answer();
}

// In matching order.
constexpr std::array kPostRoutes = {
    Route{"/v1/search", search},
    Route{"/v1/node", node},
    Route{"/v1/migrate", migrate, Locking::kSelf},
    Route{"/v1/export", export_route},
    Route{"/v1/load-neo4j", load_neo4j},
    Route{"/v1/restore", restore_route, Locking::kSelf},
    Route{"/v1/cloud", cloud},
    Route{"/v1/cutover", cutover},
    Route{"/v1/explore", explore_route},
    Route{"/v1/entropy/ladder", ladder},
    Route{"/v1/entropy/auto", entropy_auto},
    Route{"/v1/query", statement, Locking::kSelf},
    Route{"/v1/tx", transaction_begin},
    Route{"/v1/tx/", transaction_step},
    Route{"/query", statement, Locking::kSelf},
    Route{"/v1/rag", rag_route},
    Route{"/v1/entropy/lab", lab},
    Route{"/v1/entropy/optimize", entropy_optimize_route},
    Route{"/v1/backup", backup_route},
    Route{"/v1/use", use},
};

}  // namespace

bool answer_post(Engine& engine, const HttpRequest& request, HttpResponse& out) {
  return answer_from(kPostRoutes, engine, request, out);
}

}  // namespace orvane
