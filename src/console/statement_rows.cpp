// The statement rows that do more than return one document: settings
// (:param, :style), USE, restore, cutover, graph algorithms, explore, the
// entropy commands, retrieval and MATCH queries. CREATE has its own file.
//
// Every text a row writes into a document by hand goes through the JSON
// text writer: database names, parameter values and URIs come from users.
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "analytics/graph_algorithms.h"
#include "analytics/retrieval.h"
#include "console/console_result.h"
#include "console/documents.h"
#include "console/engine.h"
#include "graph/database.h"
#include "console/procedures.h"
#include "console/statement_rows.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"
#include "layout/layout_stats.h"
#include "remote/cutover.h"

namespace orvane {
namespace {

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// A value of two or more bytes between a matching pair of quotes loses them.
std::string unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The algorithm the first matching word of the statement names.
const char* algorithm_of(const std::string& l) {
  static const std::pair<const char*, const char*> kWords[] = {
      {"pagerank", "pagerank"},   {"degree", "degree"},          {"wcc", "wcc"},
      {"connected", "wcc"},       {"triangle", "trianglecount"}, {"label", "labelpropagation"},
      {"louvain", "louvain"},     {"shortest", "shortestpath"},
  };
  for (const auto& [word, algorithm] : kWords) {
    if (contains(l, word)) return algorithm;
  }
  return "all";
}

std::uint32_t clamp32(std::uint64_t value) {
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

}  // namespace

void run_param(StatementContext& ctx) {
  const std::string r = trim(std::string_view(ctx.t).substr(6));
  if (!r.empty() && r != "s") {
    std::size_t split = r.find("=>"), width = 2;
    if (split == std::string::npos) {
      split = r.find('=');
      width = 1;
    }
    if (split == std::string::npos) throw std::runtime_error(":param name => value");
    const std::string name = trim(std::string_view(r).substr(0, split));
    const std::string value = unquoted(trim(std::string_view(r).substr(split + width)));
    ctx.engine.set_param(name, value);
    ctx.engine.record_change("param", name + "=" + value);
    // The answer shows what was set, as Neo4j Browser does: its size never
    // depends on how many parameters were set before. :params lists them all.
    ctx.out.data = params_document({{name, value}});
    return;
  }
  ctx.out.data = params_document(ctx.engine.params());
}

void run_style(StatementContext& ctx) {
  const std::string arg = trim(std::string_view(ctx.t).substr(6));
  if (!arg.empty() && arg.front() == '{') {
    // The style document inserts the stored text raw, so only one whole
    // JSON object may be stored; anything else would break every later
    // style answer.
    bool object = false;
    try {
      object = parse_json_bounded(arg).is_object();
    } catch (const std::exception&) {
      object = false;
    }
    if (!object) throw std::runtime_error("style must be a JSON object");
    ctx.engine.set_style(arg);
  }
  ctx.out.data = style_document(ctx.engine);
}

void run_use(StatementContext& ctx) {
  const std::string name = trim(std::string_view(ctx.t).substr(4));
  ctx.engine.use_database(name);
  ctx.out.data = JsonObjectText().string("using", name).text();
}

void run_restore(StatementContext& ctx) {
  restore(ctx.engine, "data/graph.orv");
  ctx.out.data = JsonObjectText()
                     .boolean("restored", true)
                     .count("nodes", ctx.engine.database().graph.node_count)
                     .text();
}

void run_cutover(StatementContext& ctx) {
  CutoverOptions options;
  if (const auto bolt = quoted_arg(ctx.t); bolt && !bolt->empty()) options.bolt = *bolt;
  ctx.out.data = cutover_runbook(options);
}

void run_gds(StatementContext& ctx) {
  ctx.out.data = run_graph_algorithm(ctx.target(), algorithm_of(ctx.l), nth_number(ctx.t, 0, 0),
                                     nth_number(ctx.t, 1, 0));
}

void run_explore(StatementContext& ctx) {
  const std::uint64_t id = nth_number(ctx.t, 0, 0);
  std::uint64_t hops = nth_number(ctx.t, 1, 2);
  if (hops == 0) hops = 2;
  ConsoleResult view = explore(ctx.engine, id, clamp32(hops), kExploreNodeLimit);
  ctx.out.nodes = std::move(view.nodes);
  ctx.out.rels = std::move(view.rels);
  ctx.out.ok = view.ok;
}

void run_entropy(StatementContext& ctx) {
  const std::string& l = ctx.l;
  if (contains(l, "ladder") || contains(l, "progressive")) {
    const Database& db = ctx.target();
    ctx.out.data = console_ladder_document(db.people, db.papers);
  } else if (contains(l, "lab")) {
    const Database& db = ctx.target();
    ctx.out.data = console_lab_document(db.people, db.papers, 3);
  } else if (contains(l, "auto")) {
    ctx.engine.set_auto_entropy_every(1);
    entropy_optimize(ctx.engine);
    ctx.out.data = R"({"auto_entropy_every":1,"ran":true})";
  } else if (contains(l, "optimize")) {
    entropy_optimize(ctx.engine);
    const LayoutStats stats = compute_layout_stats(ctx.engine.database().graph);
    ctx.out.data = JsonObjectText()
                       .boolean("ok", true)
                       .real("mean_edge_jump", stats.mean_edge_jump)
                       .count("bandwidth", stats.layout_bandwidth)
                       .text();
  } else {
    const LayoutStats stats = compute_layout_stats(ctx.target().graph);
    ctx.out.data = JsonObjectText()
                       .real("degree_entropy", stats.degree_entropy)
                       .real("mean_edge_jump", stats.mean_edge_jump)
                       .count("bandwidth", stats.layout_bandwidth)
                       .count("core_nodes", stats.core_node_count)
                       .text();
  }
}

void run_rag(StatementContext& ctx) {
  const Database& db = ctx.target();
  std::vector<float> query(db.embedding_dim);
  seed_embedding(query.data(), query.size(), 0, 7);
  ctx.out.data = retrieval_document_json(db, query.data(), 10, 0);
}

}  // namespace orvane
