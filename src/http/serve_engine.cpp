// Wiring of an Engine into the HTTP core. The route table lives behind
// engine_routes so that the serve command, the tests and the routes
// themselves agree on one entry point. GET requests go to the GET table,
// POST requests to the POST table; every other method and every path no
// table lists is answered 404 "not found".
#include "http/serve_engine.h"

#include "console/background_fold.h"
#include "console/engine.h"
#include "http/routes.h"

namespace orvane {

HttpServerOptions engine_server_options(const Engine& engine, unsigned short port, bool public_binding) {
  HttpServerOptions options;
  options.port = port;
  options.public_binding = public_binding;
  options.web_root = engine.web_root;
  options.site_root = engine.site_root;
  // The engine's routes take its mutex themselves (http/routes.h), most of
  // them for the whole request, imports only to install their result.
  options.serialize_routes = false;
  return options;
}

RouteHandler engine_routes(Engine& engine) {
  return [&engine](const HttpRequest& request) {
    HttpResponse response;
    if (request.method == "GET" && answer_get(engine, request, response)) return response;
    if (request.method == "POST" && answer_post(engine, request, response)) return response;
    return not_found_route(request);
  };
}

void serve_engine(Engine& engine, unsigned short port, std::atomic<bool>* stop, bool public_binding) {
  // Writes leave deltas that every read merges; folded while serving, they
  // cost the reads nothing once the writes pause.
  const BackgroundFold fold(engine);
  serve_http(engine_server_options(engine, port, public_binding), engine_routes(engine), stop);
}

}  // namespace orvane
