// TckEngine: what the conformance runner needs from a query engine, and
// the values that cross between them. The runner knows no engine; an
// adapter (console_engine.h) implements this interface over a real one.
//
// Everything here is self-contained data: a result holds TckValue trees,
// a snapshot holds copies of the graph's contents, so nothing refers back
// into the engine once a call returned.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tck/tck_value.h"

namespace orvane::tck {

// The rows of a successful query.
struct QueryResult {
  std::vector<std::string> columns;        // result column names, in the engine's order
  std::vector<std::vector<TckValue>> rows;  // each row one value per column, in column order
};

// A failed query, as classified by the engine.
struct QueryError {
  std::string error_class;  // "SyntaxError", "TypeError", ...; empty when the engine did not classify it
  std::string phase;        // "compile time" or "runtime"; empty when unknown
  std::string detail;       // "UnknownFunction", ...; empty when unknown
  std::string message;      // the complete message
};

struct QueryOutcome {
  bool ok = false;
  QueryResult result;  // when ok
  QueryError error;    // when !ok
};

// The contents of a graph at one moment, for side-effect accounting. Nodes
// and relationships are keyed by the engine's identities, which must stay
// stable while the graph lives (a deleted entity's identity may be reused
// only by a later query, as in any store that recycles identities).
struct SnapshotNode {
  std::set<std::string> labels;
  std::map<std::string, TckValue> properties;
};
struct SnapshotRelationship {
  std::string type;
  std::map<std::string, TckValue> properties;
};
struct GraphSnapshot {
  std::map<std::int64_t, SnapshotNode> nodes;                  // by node identity
  std::map<std::int64_t, SnapshotRelationship> relationships;  // by relationship identity
};

// A procedure a scenario declares ("And there exists a procedure
// test.my.proc(in :: INTEGER?) :: (out :: STRING?):") with the rows it
// answers: each row gives values for the inputs then the outputs, in the
// order of `parameters` then `outputs`.
struct ProcedureField {
  std::string name;
  std::string type;  // as written: "INTEGER?", "STRING?", "NUMBER?", ...
};
struct TestProcedure {
  std::string name;                         // dotted: "test.my.proc"
  std::vector<ProcedureField> parameters;   // inputs, in order
  std::vector<ProcedureField> outputs;      // outputs, in order; empty for a void procedure
  std::vector<std::vector<TckValue>> rows;  // parameters.size() + outputs.size() values each
};

// Procedures declared by the scenario being run.
struct ProcedureRegistry {
  std::vector<TestProcedure> procedures;  // in declaration order
};

// Parses the text of the declaring step after "there exists a procedure "
// (e.g. "test.my.proc(in :: INTEGER?) :: (out :: STRING?):") and its
// table (header: the field names; rows: value literals). Throws
// std::runtime_error naming the fault when either is malformed or the
// header does not name the fields in order.
TestProcedure parse_procedure(const std::string& signature, const std::vector<std::vector<std::string>>& table);

class TckEngine {
 public:
  virtual ~TckEngine() = default;

  // Drops everything: the graph is empty and no procedure is registered.
  virtual void reset() = 0;

  // Makes the registry's procedures callable from the next queries. Returns
  // false, with the reason in `why`, when the engine cannot register them.
  virtual bool install_procedures(const ProcedureRegistry& registry, std::string& why) = 0;

  // Runs one statement with `params` (name → value). Never throws for a
  // failing statement: the outcome carries the error.
  virtual QueryOutcome execute(const std::string& statement, const std::map<std::string, TckValue>& params) = 0;

  // The graph as it is now.
  virtual GraphSnapshot snapshot() const = 0;
};

}  // namespace orvane::tck
