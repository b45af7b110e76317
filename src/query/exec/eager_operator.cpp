// Eager: every input row first, then the rows. The planner puts one
// between a write and a later clause that reads the graph's structure
// (a MATCH, a subquery): the scans and expansions after it read the
// compiled graph, which a write leaves stale, so once the writes before it
// have all run (and their inputs are exhausted, holding no view of the old
// arrays) Eager compiles the graph, and the reads after it see every
// change, as Neo4j's reads after writes do.
#include "graph/database.h"
#include "query/exec/operator.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

class Eager final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    rows_kept_.clear();
    memory_.clear();
    done_ = false;
    cursor_ = 0;
  }
  bool next(Row& row) override {
    if (!done_) {
      done_ = true;
      while (children_[0]->next(row)) {
        memory_.add(values_bytes(row));
        rows_kept_.push_back(row);
      }
      Database* db = context_.writable();
      if (db != nullptr && !db->graph.compiled) db->compile();
    }
    if (cursor_ >= rows_kept_.size()) return false;
    row = std::move(rows_kept_[cursor_++]);
    return produced();
  }

 private:
  std::vector<Row> rows_kept_;
  HeldMemory memory_{context_};  // what rows_kept_ holds
  bool done_ = false;
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_eager(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Eager>(op, context);
}

}  // namespace orvane
