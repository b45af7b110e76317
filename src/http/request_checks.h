// The security checks every complete request passes before it reaches a
// route or a file, in this fixed order: Host allow-list, Origin, fetch site,
// API key, JSON body. They run on the workers in parallel, without the engine
// mutex, and look at nothing but the request and the server's fixed settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "http/http_message.h"

namespace orvane {

struct CheckSettings {
  std::string api_key;          // "" when no key is configured
  bool public_binding = false;  // listening on every interface
};

// Paths that carry the API: "/v1/..." , "/query" and "/metrics". Everything
// else (the console's web files, /site) is not an API path.
bool is_api_path(std::string_view path);

// The answer to a request that fails a check, or nullopt when it passes:
//   403 "host rejected": a Host other than 127.0.0.1 or localhost (with or
//       without a port), unless the binding is public and the Host non-empty;
//   403 "origin rejected": an Origin that differs from ORVANE_HTTP_ORIGIN
//       (read on every call) or else "http://" + Host, or a Sec-Fetch-Site
//       of "cross-site";
//   401 "API key required": a key is configured, the path is an API path
//       other than /v1/health, and Authorization is not "Bearer " + key
//       (compared in time independent of where the texts differ);
//   415 "JSON required": a POST to an API path whose Content-Type is not
//       exactly "application/json" or "application/json; charset=utf-8";
//   400 "invalid JSON object": such a POST whose body is not a JSON object.
std::optional<HttpResponse> check_request(const HttpRequest& request, const CheckSettings& settings);

}  // namespace orvane
