// Dispatch of a checked request. Only route handling takes the engine mutex;
// the response is built under it and sent by the caller after it is
// released, so a client that reads its answer slowly holds a worker but
// never the engine.
#include "http/dispatch.h"

#include <exception>

#include "http/static_files.h"

namespace orvane {

HttpResponse not_found_route(const HttpRequest&) { return error_response(404, "not found"); }

HttpResponse answer_request(const HttpRequest& request, const DispatchContext& context) {
  if (std::optional<HttpResponse> refusal = check_request(request, context.checks)) return *refusal;
  if (request.method == "OPTIONS") return {200, "{}", "application/json"};
  if (is_static_request(request.method, request.path)) {
    return serve_static_file(request.path, context.web_root, context.site_root);
  }
  std::unique_lock<std::mutex> engine;
  if (context.engine_mutex != nullptr) engine = std::unique_lock<std::mutex>(*context.engine_mutex);
  try {
    return context.routes(request);
  } catch (const std::exception& e) {
    return error_response(400, e.what());
  }
}

}  // namespace orvane
