// Fuzz target: raw bytes through the HTTP request reader and the check
// chain, without sockets. The first byte picks the server's settings (public
// binding, a configured key) and the size of the pieces the rest arrives in.
// Findings, besides crashes, hangs and sanitizer reports:
//   - a different outcome when the same bytes arrive in other pieces (the
//     framing limits must not depend on segmentation), apart from bytes
//     after a complete request, which are refused only when they arrive
//     together with it;
//   - a complete request longer than the limits allow;
//   - an answer with a status the server never sends, or a JSON error body
//     that is not valid JSON;
//   - a Content-Length header that disagrees with the body sent.
// Routes read the request with query_param, header_value and body_field and
// may throw; static paths go to a small web root made once per process.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "http/dispatch.h"
#include "http/request_reader.h"

namespace {

using orvane::HttpRequest;
using orvane::HttpResponse;
using orvane::RequestReader;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

std::string make_web_root() {
  char pattern[] = "/tmp/http_fuzz_XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  if (dir == nullptr) fail("mkdtemp", "");
  const std::string root = dir;
  for (const char* name : {"index.html", "app.js", "style.css"}) {
    FILE* f = std::fopen((root + "/" + name).c_str(), "w");
    if (f == nullptr) fail("fopen", name);
    std::fputs("content", f);
    std::fclose(f);
  }
  return root;
}

HttpResponse fuzz_routes(const HttpRequest& request) {
  const std::string k = orvane::query_param(request.query_string, "k");
  const std::string accept = orvane::header_value(request.raw, "Accept");
  const std::string field = orvane::body_field(request.body, "query");  // may throw: answered 400
  return {200, "{\"k\":" + std::to_string(k.size() + accept.size() + field.size()) + "}", "application/json"};
}

void check_response(const HttpResponse& response) {
  switch (response.status) {
    case 200: case 400: case 401: case 403: case 404: case 413: case 415: case 500: case 503: break;
    default: fail("unexpected status", std::to_string(response.status));
  }
  if (response.content_type == "application/json" && response.status != 200 &&
      !nlohmann::json::accept(response.body)) {
    fail("error body is not JSON", response.body);
  }
  const std::string bytes = orvane::format_response(response);
  const std::string length = orvane::header_value(bytes, "Content-Length");
  if (length != std::to_string(bytes.size() - bytes.find("\r\n\r\n") - 4)) fail("Content-Length", length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string web_root = make_web_root();
  static std::mutex engine_mutex;
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t piece = 1 + (flags >> 2) * 97;  // 1 to 6112 bytes

  RequestReader whole;
  whole.feed(bytes);
  RequestReader pieces;
  size_t fed = 0;
  while (fed < bytes.size() && pieces.state() == RequestReader::State::kNeedMore) {
    pieces.feed(bytes.substr(fed, piece));
    fed += std::min(piece, bytes.size() - fed);
  }
  // Bytes after a complete request are the next request on a persistent
  // connection. Otherwise (a pipelined request or an overlong body) they are
  // refused when they arrive with it and never read when they come later.
  const bool early_complete = pieces.state() == RequestReader::State::kComplete && fed < bytes.size();
  const bool consistent =
      !early_complete ? whole.state() == pieces.state() && whole.rejection().body == pieces.rejection().body
      : pieces.keep_alive() ? whole.state() == RequestReader::State::kComplete
                            : whole.rejection().body == R"({"ok":false,"error":"invalid request framing"})";
  if (!consistent) {
    fail("outcome depends on segmentation", std::to_string(piece));
  }
  if (whole.state() == RequestReader::State::kRejected) {
    check_response(whole.rejection());
    return 0;
  }
  if (whole.state() != RequestReader::State::kComplete) return 0;

  const HttpRequest request = whole.request();
  if (request.body.size() > orvane::kMaxBodyBytes || bytes.find("\r\n\r\n") > orvane::kMaxHeaderOffset) {
    fail("complete request beyond the limits", std::to_string(bytes.size()));
  }
  orvane::DispatchContext context{{(flags & 2) ? std::string(32, 'k') : "", (flags & 1) != 0},
                                  web_root, web_root, fuzz_routes, &engine_mutex};
  check_response(orvane::answer_request(request, context));
  return 0;
}
