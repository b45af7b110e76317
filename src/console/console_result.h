// ConsoleResult: the outcome of one console statement, and result_json, the
// JSON form in which a server answers with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

struct ResultNode {
  std::uint64_t id = 0;  // the id users see (Database::node_id)
  std::string label;
  std::string name;
  std::uint32_t topic = 0;
};

struct ResultRel {
  std::uint64_t src = 0;  // the id users see of each end
  std::uint64_t dst = 0;
  std::string type;
};

struct ConsoleResult {
  bool ok = true;
  std::string error;        // the failure message when !ok, else empty
  std::string error_class;  // a query error's class ("SyntaxError", "TypeError", ...); empty for others
  std::string error_phase;  // its phase: "compile time" or "runtime"
  std::string error_detail; // its detail code ("UnknownFunction", ...); may be empty
  std::string kind;         // statement class: "count", "rows", "stats", "error", ...
  std::uint64_t count = 0;
  double ns = 0;            // elapsed nanoseconds
  std::string data;         // ready-made JSON text; empty when there is no document
  std::vector<ResultNode> nodes;  // filled only by neighbourhood views
  std::vector<ResultRel> rels;
  std::string query;        // the statement text, unchanged
};

// {"ok":…,"kind":…,"count":…,"ns":…,"error":…[,"errorClass":…,"phase":…,"detail":…],"query":…[,"data":…],
//  "nodes":[…],"rels":[…]}, the error's classification only for a query error that has one
// without blanks. `data` is inserted unchanged and only when non-empty, so
// it must already be valid JSON. Texts are escaped as messages (a carriage
// return is dropped, every other control byte escaped); `ns` uses the
// default double formatting (six significant digits).
std::string result_json(const ConsoleResult& result);

}  // namespace orvane
