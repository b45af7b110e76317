// Wiring of an Engine into the HTTP core. The route table lives behind
// engine_routes so that the serve command, the tests and the routes
// themselves agree on one entry point; until the API routes are filled in,
// every request that is not a static file or OPTIONS is answered 404.
#include "http/serve_engine.h"

#include "console/engine.h"

namespace orvane {

HttpServerOptions engine_server_options(const Engine& engine, unsigned short port, bool public_binding) {
  HttpServerOptions options;
  options.port = port;
  options.public_binding = public_binding;
  options.web_root = engine.web_root;
  options.site_root = engine.site_root;
  return options;
}

RouteHandler engine_routes(Engine& engine) {
  return [&engine](const HttpRequest& request) {
    static_cast<void>(engine);
    return not_found_route(request);
  };
}

void serve_engine(Engine& engine, unsigned short port, std::atomic<bool>* stop, bool public_binding) {
  serve_http(engine_server_options(engine, port, public_binding), engine_routes(engine), stop);
}

}  // namespace orvane
