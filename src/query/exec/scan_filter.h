// The property tests a node scan applies itself (the planner pushes them
// down from WHERE and from the pattern's property map, plan/pushdown.cpp):
// each compares one property of the scanned node with a constant or a
// parameter (`n.k = $v`, `n.k >= 10`, ...) or tests it for null.
//
// A test reads the property through a PropertyKeyReader, so a value kept
// in a column is compared as its stored word (integers, floats and
// strings) without building a value; anything else takes the general
// comparison of evaluate.h, so a test answers exactly what the Filter it
// replaces would have answered.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/property_key_reader.h"
#include "query/exec/exec_context.h"
#include "query/parse/ast.h"

namespace orvane {

struct BoundExpr;

class ScanFilter {
 public:
  // Prepares the tests `predicates` (as plan/pushdown.h shapes them),
  // evaluating their constants and parameters once. Requires: `predicates`
  // and `context` outlive the filter.
  ScanFilter(const std::vector<std::shared_ptr<BoundExpr>>& predicates, ExecContext& context);

  bool empty() const { return tests_.empty(); }
  // The nodes of nodes[0 .. n) that pass every test, in their order, into
  // `out` (replacing what it held). One test at a time over the batch, so
  // each loop reads one column.
  void select(const std::uint32_t* nodes, std::size_t n, std::vector<std::uint32_t>& out);

 private:
  struct Test {
    PropertyKeyReader reader;
    ast::Op op;          // the property on the left; kIsNull / kIsNotNull tests for null
    CypherValue value;   // the other side
    bool null_test = false;
    bool is_null = false;  // for a null test: which answer passes
  };
  bool pass(Test& test, std::uint32_t node);

  ExecContext& context_;
  std::vector<Test> tests_;
};

}  // namespace orvane
