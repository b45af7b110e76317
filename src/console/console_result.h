// ConsoleResult: the outcome of one console statement, and result_json, the
// JSON form in which a server answers with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// A node of an answer's graph arrays (console/graph_arrays.h). The first
// four members are what the explore view has always drawn; the rest let a
// client draw any node as a row shows it.
struct ResultNode {
  std::uint64_t id = 0;  // the id users see (Database::node_id)
  std::string label;     // the first label, "Node" without one
  std::string name;      // display name (Database::names), the default caption
  std::uint32_t topic = 0;
  std::vector<std::string> labels;  // every label, the first first
  std::string properties = "{}";    // JSON object text, typed values in their typed JSON
};

// A relationship of an answer's graph arrays. Parallel relationships are
// distinct entries with distinct ids.
struct ResultRel {
  std::uint64_t src = 0;  // the id users see of each end: start node
  std::uint64_t dst = 0;  //   and end node
  std::string type;
  std::uint64_t id = 0;   // the relationship's own id (Database::relationship_id)
  std::string properties = "{}";  // JSON object text
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
  std::vector<ResultNode> nodes;  // the graph arrays: a neighbourhood view's, or the entities of
  std::vector<ResultRel> rels;    //   the rows (console/graph_arrays.h)
  bool graph_truncated = false;   // the rows hold more entities than the arrays may
  std::string query;        // the statement text, unchanged
};

// {"ok":…,"kind":…,"count":…,"ns":…,"error":…[,"errorClass":…,"phase":…,"detail":…],"query":…[,"data":…],
//  "nodes":[…],"rels":[…][,"graphTruncated":true]}, the error's classification only for a query error
// that has one, graphTruncated only when set, without blanks. A node is
// {"id","label","name","topic","elementId","labels","properties"}, a
// relationship {"src","dst","type","id","elementId","properties"}; element
// ids as in rows ("4:halvex:ID", "5:halvex:ID"). `data` is inserted
// unchanged and only when non-empty, so it must already be valid JSON, as
// must each entry's `properties`. Texts are escaped as messages (a carriage
// return is dropped, every other control byte escaped); `ns` uses the
// default double formatting (six significant digits).
std::string result_json(const ConsoleResult& result);

}  // namespace orvane
