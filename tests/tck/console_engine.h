// ConsoleEngine: the TckEngine of Halvex as it stands, over the console
// statement dispatcher (console/dispatcher.h) and a fresh in-memory Engine.
// It is the one piece of the conformance runner that knows the product.
//
// Statements go through dispatch() exactly as a console or server request
// does, and the answer is read back from its JSON form (result_json): the
// rows from `data` ({"columns": [...], "rows": [[...]]}), the failure from
// `error` and, when the engine classifies it, `errorClass`, `phase` and
// `detail`. A statement that succeeds with no row document (a CREATE today)
// reads as a result with no columns and no rows. Snapshots read the
// engine's current Database directly.
//
// Test procedures join the Engine's procedure registry, each answering
// the rows of its table whose inputs equal the arguments.
#pragma once

#include <memory>

#include "tck/tck_engine.h"

namespace orvane {
class Engine;
}

namespace orvane::tck {

class ConsoleEngine : public TckEngine {
 public:
  ConsoleEngine();  // starts with an empty graph
  ~ConsoleEngine() override;

  void reset() override;
  bool install_procedures(const ProcedureRegistry& registry, std::string& why) override;
  QueryOutcome execute(const std::string& statement, const std::map<std::string, TckValue>& params) override;
  GraphSnapshot snapshot() const override;

 private:
  std::unique_ptr<Engine> engine_;
};

// The outcome written in `answer`, the JSON text of a console result
// (result_json). Throws nothing: an answer the runner cannot read becomes
// an unclassified error saying so.
QueryOutcome outcome_of_answer(const std::string& answer);

}  // namespace orvane::tck
