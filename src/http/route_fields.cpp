// Request readers the GET and POST tables share, and the retrieval route,
// which answers GET and POST alike. Numbers are converted with the standard
// base-10 conversions so that text which does not convert fails with the
// conversion's own name ("stoul", "stoi") as the whole message; a field sent
// as "" reads like a missing one and takes its default.
#include <algorithm>
#include <mutex>
#include <string>
#include <utility>

#include "console/api_operations.h"
#include "console/engine.h"
#include "http/routes.h"

namespace orvane {
namespace {

constexpr std::uint64_t kDefaultRagHits = 8;
constexpr std::uint64_t kMaxRagHits = 64;
constexpr int kDefaultRagHops = 3;
constexpr int kMaxRagHops = 6;

}  // namespace

std::uint64_t unsigned_field(const std::string& text, std::uint64_t fallback) {
  return text.empty() ? fallback : std::stoul(text);
}

int signed_field(const std::string& text, int fallback) { return text.empty() ? fallback : std::stoi(text); }

std::string text_field(const std::string& text, std::string_view fallback) {
  return text.empty() ? std::string(fallback) : text;
}

HttpResponse json_answer(std::string body) {
  HttpResponse response;
  response.body = std::move(body);
  return response;
}

HttpResponse rag_route(Engine& engine, const HttpRequest& request) {
  std::string text = body_field(request.body, "query");
  if (text.empty()) text = body_field(request.body, "q");
  if (text.empty()) text = query_param(request.query_string, "q");
  std::string k_text = body_field(request.body, "k");
  if (k_text.empty()) k_text = query_param(request.query_string, "k");
  std::string hops_text = body_field(request.body, "hops");
  if (hops_text.empty()) hops_text = query_param(request.query_string, "hops");
  const std::uint64_t k = std::clamp<std::uint64_t>(unsigned_field(k_text, kDefaultRagHits), 1, kMaxRagHits);
  // Below 0 there is nothing to expand, so a negative radius reads as 0.
  const int hops = std::clamp(signed_field(hops_text, kDefaultRagHops), 0, kMaxRagHops);
  return json_answer(retrieval_document(engine, text, k, hops));
}

bool answer_from(std::span<const Route> table, Engine& engine, const HttpRequest& request, HttpResponse& out) {
  for (const Route& route : table) {
    const std::string_view path = route.path;
    const bool prefix = path.size() > 1 && path.back() == '/';
    if (prefix ? request.path.size() > path.size() && request.path.starts_with(path) : request.path == path) {
      if (route.locking == Locking::kSelf) {
        out = route.handler(engine, request);
      } else {
        {
          // A commit's record reaches the disk after the lock is released
          // (group commit), and before the answer is sent.
          const std::lock_guard<EngineLock> lock(engine.mutex());
          const DeferredSyncScope deferred(engine);
          out = route.handler(engine, request);
        }
        engine.await_durable();
      }
      return true;
    }
  }
  return false;
}

}  // namespace orvane
