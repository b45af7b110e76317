// The API route table of an Engine, split by method: the GET table and the
// POST table, each matched by exact path equality in the documented order,
// and the request readers both tables share (number fields, the retrieval
// route that answers GET and POST alike).
//
// Handlers run with the engine mutex (Engine::mutex) held unless their row
// says otherwise, so they may read and change the Engine freely. A
// std::exception they throw becomes 400 with its message (the server's
// dispatcher does that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "console/dispatcher.h"
#include "http/http_message.h"

namespace orvane {

class Engine;

inline constexpr std::size_t kSearchHits = 12;     // hits a search route answers
inline constexpr std::size_t kNodeNeighbours = 16;  // neighbours a node route lists

// How a route uses the engine lock: most handlers run with it held
// exclusive; a handler that reads slow input (an import, a snapshot to
// restore) does that first without it and takes engine.mutex() only to
// install the result, so a slow or hostile source never stalls the other
// clients, and the statement route holds it shared for statements that
// only read.
enum class Locking { kHeld, kSelf };

// One row of a route table: an exact path and the handler that answers it;
// a path that ends with "/" is a prefix every longer path under it takes.
struct Route {
  const char* path;
  HttpResponse (*handler)(Engine&, const HttpRequest&);
  Locking locking = Locking::kHeld;
};

// The answer of the first row of `table` whose path is the request's, its
// handler called with engine.mutex() held unless the row locks for itself;
// or false when no row has the path (`out` is then untouched).
bool answer_from(std::span<const Route> table, Engine& engine, const HttpRequest& request, HttpResponse& out);

// The answer of the GET table to `request`, or false when no GET route has
// its path (`out` is then untouched).
bool answer_get(Engine& engine, const HttpRequest& request, HttpResponse& out);

// The answer of the POST table to `request`, or false when no POST route
// has its path (`out` is then untouched).
bool answer_post(Engine& engine, const HttpRequest& request, HttpResponse& out);

// The retrieval route: text from body `query`, else body `q`, else query
// string `q`; k (default 8) clamped to 1 … 64; hops (default 3) clamped to
// 0 … 6. Throws "stoul" / "stoi" for numbers that do not convert.
HttpResponse rag_route(Engine& engine, const HttpRequest& request);

// The members of a statement request's JSON body: "query" (required
// when `query_required`), "db" (an unknown one is refused), "params" (an
// object), and the body itself for the bound members. Throws "JSON object
// required", "query is required", "unknown database: NAME" or the JSON
// library's error.
struct StatementRequest {
  nlohmann::json body;
  std::string query;
  std::string db;
  ParamMap params;
  bool has_params = false;
};
StatementRequest read_statement_request(Engine& engine, const HttpRequest& request, bool query_required);

// Explicit transactions (tx_routes.cpp): POST /v1/tx opens one (and runs
// the body's "query" in it when given); POST /v1/tx/ID runs the body's
// statements in it; /v1/tx/ID/commit (after the body's statements, when
// given) and /v1/tx/ID/rollback end it.
HttpResponse transaction_begin(Engine& engine, const HttpRequest& request);
HttpResponse transaction_step(Engine& engine, const HttpRequest& request);

// `text` converted with std::stoul, or `fallback` when `text` is empty.
// Throws std::invalid_argument / std::out_of_range "stoul".
std::uint64_t unsigned_field(const std::string& text, std::uint64_t fallback);

// `text` converted with std::stoi, or `fallback` when `text` is empty.
// Throws std::invalid_argument / std::out_of_range "stoi".
int signed_field(const std::string& text, int fallback);

// `text`, or `fallback` when `text` is empty.
std::string text_field(const std::string& text, std::string_view fallback);

// A 200 JSON answer with `body`.
HttpResponse json_answer(std::string body);

}  // namespace orvane
