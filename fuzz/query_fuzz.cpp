// Fuzz target: the query pipeline on arbitrary bytes: prepare (parse, bind,
// plan), then run whatever prepares on a small fixed graph, read-only and
// under a small work bound. Any exception other than QlError (the
// pipeline's CypherError is one), a crash, a hang or a sanitizer report is
// a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/cypher_statement.h"
#include "query/ql_error.h"

namespace {

const orvane::Database& fixed_graph() {
  static const orvane::Database db = [] {
    orvane::Database g;
    for (int i = 0; i < 8; ++i) g.add_person("p" + std::to_string(i), static_cast<std::uint32_t>(i));
    for (int i = 0; i < 4; ++i) g.add_paper("q" + std::to_string(i), 0);
    const std::uint16_t knows = g.add_rel_type("KNOWS");
    for (std::uint32_t i = 0; i < 8; ++i) {
      g.add_follows(i, (i + 1) % 8);
      g.add_follows(i, (i * 3) % 8);
      g.add_authored(i, 8 + i % 4);
      g.graph.add_edge(i, i, knows);
    }
    g.set_property(2, "id", 7);
    g.set_property(3, "tags", nlohmann::json::array({1, "x", nullptr}));
    g.compile();
    return g;
  }();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::WorkBound bound;
  bound.steps = 100000;
  bound.memory_bytes = 16u << 20;
  try {
    const orvane::PreparedStatement prepared = orvane::prepare_statement(text, fixed_graph());
    std::size_t rows = 0;
    orvane::execute_statement(prepared, fixed_graph(), {}, bound,
                              [&rows](const std::vector<orvane::CypherValue>&) { return ++rows < 10000; });
  } catch (const orvane::QlError&) {
  }
  return 0;
}
