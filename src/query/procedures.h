// The procedure registry: what CALL can name. A procedure has a dotted
// name, typed inputs and outputs (Neo4j's signature types: "INTEGER?",
// "STRING?", "LIST? OF STRING?", ...), and a body that produces its rows
// from its arguments and the Database.
//
// The query library registers the procedures that only read the graph
// (db.labels, db.relationshipTypes, db.propertyKeys); whoever owns a
// registry adds its own (the console its orvane.* and gds.* procedures,
// the conformance runner each scenario's test procedures), so the query
// library needs nothing above the graph library.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "graph/cypher_value.h"

namespace orvane {

class Database;

struct ProcedureField {
  std::string name;
  std::string type;  // as Neo4j writes it: "INTEGER?", "STRING?", "ANY?", ...
};

// The body: given the arguments (one per input, in order) and the
// Database, calls `emit` with each row (one value per output, in order).
using ProcedureBody = std::function<void(std::span<const CypherValue> args, const Database& db,
                                         const std::function<void(std::vector<CypherValue>)>& emit)>;

struct Procedure {
  std::string name;
  std::vector<ProcedureField> inputs;
  std::vector<ProcedureField> outputs;  // empty for a procedure that returns nothing
  ProcedureBody body;
};

class ProcedureRegistry {
 public:
  // A registry holding the graph procedures db.labels, db.relationshipTypes
  // and db.propertyKeys.
  ProcedureRegistry();

  // Adds `procedure`, replacing one of the same name.
  void add(Procedure procedure);
  // The procedure called `name` (names compare exactly), or null.
  std::shared_ptr<const Procedure> find(std::string_view name) const;
  // Changes with every add: a plan bound against another version may call
  // a procedure that has been replaced.
  std::uint64_t version() const { return version_; }

 private:
  std::map<std::string, std::shared_ptr<const Procedure>, std::less<>> procedures_;
  std::uint64_t version_ = 0;
};

// The registry of the graph procedures alone, for callers without one.
const ProcedureRegistry& default_procedures();

// Whether `value` may be passed for a field of `type`: null for any
// nullable type ("…?"), INTEGER for NUMBER and FLOAT, any value for ANY.
bool fits_procedure_type(const CypherValue& value, std::string_view type);

}  // namespace orvane
