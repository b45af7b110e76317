// The check chain. Each check sees only headers of the raw request text
// through header_value, so what a check reads is exactly what a route would
// read. The JSON body check parses with the nesting bound of every outside
// JSON text: a body under the size limit can still nest deep enough to
// overflow the stack of whatever later walks the value.
#include "http/request_checks.h"

#include "base/text.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"

namespace orvane {
namespace {

bool host_allowed(std::string_view host, bool public_binding) {
  if (host == "127.0.0.1" || host == "localhost" || host.starts_with("127.0.0.1:") ||
      host.starts_with("localhost:")) {
    return true;
  }
  return public_binding && !host.empty();
}

bool is_json_object(std::string_view body) {
  try {
    return parse_json_bounded(body).is_object();
  } catch (...) {
    return false;
  }
}

}  // namespace

bool is_api_path(std::string_view path) {
  return path.starts_with("/v1/") || path == "/query" || path == "/metrics";
}

std::optional<HttpResponse> check_request(const HttpRequest& request, const CheckSettings& settings) {
  const std::string host = header_value(request.raw, "Host");
  if (!host_allowed(host, settings.public_binding)) return error_response(403, "host rejected");

  const char* configured_origin = std::getenv("ORVANE_HTTP_ORIGIN");
  const std::string allowed_origin =
      configured_origin != nullptr && *configured_origin != '\0' ? configured_origin : "http://" + host;
  const std::string origin = header_value(request.raw, "Origin");
  if (!origin.empty() && origin != allowed_origin) return error_response(403, "origin rejected");
  if (header_value(request.raw, "Sec-Fetch-Site") == "cross-site") return error_response(403, "origin rejected");

  const bool api = is_api_path(request.path);
  if (!settings.api_key.empty() && api && request.path != "/v1/health" &&
      !same_secret(header_value(request.raw, "Authorization"), "Bearer " + settings.api_key)) {
    return error_response(401, "API key required");
  }

  if (api && request.method == "POST") {
    const std::string type = header_value(request.raw, "Content-Type");
    if (type != "application/json" && type != "application/json; charset=utf-8") {
      return error_response(415, "JSON required");
    }
    if (!is_json_object(request.body)) return error_response(400, "invalid JSON object");
  }
  return std::nullopt;
}

}  // namespace orvane
