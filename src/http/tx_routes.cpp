// The transaction routes (routes.h): each answer is the console's answer
// of the statements run (statement_batch.h) with "tx", the transaction's
// id, and "open", whether it is still open (a failing statement rolls it
// back), or for commit and rollback {"ok": true, "tx": ID, "committed" or
// "rolledBack": true}.
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "console/engine.h"
#include "console/query_bounds.h"
#include "console/statement_batch.h"
#include "console/transactions.h"
#include "graph/json_text.h"
#include "http/routes.h"

namespace orvane {
namespace {

HttpResponse json_body(std::string body, int status = 200) {
  HttpResponse response = json_answer(std::move(body));
  response.status = status;
  return response;
}

// Runs the request's statements in transaction `id` and answers with them.
HttpResponse run_in(Engine& engine, const std::string& id, const StatementRequest& r) {
  const StatementBoundScope bound(engine, request_bound(engine.query_bound(), r.body));
  BatchAnswer answer;
  const bool open = engine.transactions().run(engine, id, r.query, r.has_params ? &r.params : nullptr, answer);
  std::string body = batch_json(answer);
  body.insert(1, "\"tx\":\"" + json_escape(id) + "\",\"open\":" + (open ? "true" : "false") + ",");
  return json_body(std::move(body), answer.ok() ? 200 : 400);
}

HttpResponse ended(const std::string& id, const char* how) {
  return json_body("{\"ok\":true,\"tx\":\"" + json_escape(id) + "\",\"" + how + "\":true}");
}

}  // namespace

HttpResponse transaction_begin(Engine& engine, const HttpRequest& request) {
  const StatementRequest r = read_statement_request(engine, request, false);
  const std::string id = engine.transactions().begin(engine, r.db);
  if (!r.query.empty()) return run_in(engine, id, r);
  return json_body("{\"ok\":true,\"tx\":\"" + json_escape(id) + "\",\"open\":true}");
}

HttpResponse transaction_step(Engine& engine, const HttpRequest& request) {
  std::string id = request.path.substr(std::string("/v1/tx/").size());
  std::string action;
  if (const auto slash = id.find('/'); slash != std::string::npos) {
    action = id.substr(slash + 1);
    id.resize(slash);
  }
  if (action.empty()) return run_in(engine, id, read_statement_request(engine, request, true));
  if (action == "rollback") {
    engine.transactions().rollback(id);
    return ended(id, "rolledBack");
  }
  if (action != "commit") throw std::runtime_error("unknown transaction action: " + action);
  const StatementRequest r = read_statement_request(engine, request, false);
  if (!r.query.empty()) {
    HttpResponse answer = run_in(engine, id, r);
    if (answer.status != 200) return answer;
  }
  engine.transactions().commit(engine, id);
  return ended(id, "committed");
}

}  // namespace orvane
