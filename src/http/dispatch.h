// What the server does with a complete request: the check chain, then
// OPTIONS, the static files or the route table. The route table is a
// function handed in by whoever runs the server, so this core knows nothing
// of the engine it serves.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "http/http_message.h"
#include "http/request_checks.h"

namespace orvane {

// Answers one request that passed the checks and is neither OPTIONS nor a
// static file. Called with the engine mutex held when the server has one,
// so that route handlers never run concurrently; otherwise concurrently
// from every worker. An exception it throws becomes 400
// {"ok":false,"error":"<message>"}.
using RouteHandler = std::function<HttpResponse(const HttpRequest&)>;

// The route table of a server without routes: 404 {"ok":false,"error":"not
// found"} for every request.
HttpResponse not_found_route(const HttpRequest& request);

struct DispatchContext {
  CheckSettings checks;
  std::string web_root;      // "" means "web"
  std::string site_root;     // "" means "site"
  RouteHandler routes;       // never empty
  std::mutex* engine_mutex;  // serialises calls of `routes`; null: the routes lock for themselves
};

// The answer to `request`: the first failed check's answer; 200 "{}" for
// OPTIONS; the static file server's answer for a static request (without the
// engine mutex: files touch no engine state); otherwise the route table's
// answer, built under the engine mutex, which is released before this
// returns so that sending never holds it. A std::exception from the route
// table gives 400 with its message; anything else propagates.
HttpResponse answer_request(const HttpRequest& request, const DispatchContext& context);

}  // namespace orvane
