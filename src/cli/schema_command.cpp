// orvane schema: what a client sees of a small generated graph, and one line
// about the hidden physical form.
#include <iostream>

#include "cli/commands.h"
#include "cli/options.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"

namespace orvane {

int run_schema(int argc, char** argv) {
  const std::uint64_t people = parse_unsigned(option_value(argc, argv, "--people", "8"), "--people");
  const std::uint64_t papers = parse_unsigned(option_value(argc, argv, "--papers", "4"), "--papers");
  const std::uint64_t seed = parse_unsigned(option_value(argc, argv, "--seed", "42"), "--seed");
  Database db;
  generate_corpus(db, people, papers, static_cast<std::uint32_t>(seed));
  optimize_layout(db);
  std::cout << "front-end schema (this is all a user or AI client sees)\n";
  std::cout << "  node types:\n";
  for (const std::string& label : db.node_types) std::cout << "    - " << label << '\n';
  std::cout << "  edge types:\n";
  for (const std::string& type : db.rel_types) std::cout << "    - " << type << '\n';
  std::cout << "physical engine hidden: nodes=" << db.graph.node_count
            << " csr_edges=" << db.graph.out_targets.size() << '\n';
  return 0;
}

}  // namespace orvane
