// Console procedures that change the Engine: backup, restore, the entropy
// step, remote registration, and the read-only explore view that the same
// callers use. The demonstration engine lives in demo_engine.cpp.
//
// Each procedure does everything that can fail before it changes the Engine:
// restore loads (and saves) before it registers, backup checks the target
// and takes the lock before it writes, so a failure leaves the registry,
// the selection and the change list as they were.
#include "console/procedures.h"

#include <filesystem>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "console/engine.h"
#include "console/graph_arrays.h"
#include "console/migration.h"
#include "layout/entropy_lab.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "remote/remote_endpoint.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {
namespace {

// A double in the default stream formatting, whatever the global locale.
std::string stream_double(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

void check_lab_size(std::uint64_t people, std::uint64_t papers) {
  if (people > kMaxConsoleLabNodes || papers > kMaxConsoleLabNodes - people) {
    throw std::runtime_error("entropy lab allows at most " + std::to_string(kMaxConsoleLabNodes) + " nodes");
  }
}

}  // namespace

void backup(Engine& engine, const std::string& path) {
  const Database& db = engine.database();
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec) && !is_snapshot_file(path)) {
    throw std::runtime_error("refusing to replace " + path + ": it is not a Halvex snapshot");
  }
  // A file the engine keeps a database in is locked by this process
  // already (a second flock from here would conflict with our own lock),
  // and only the database that lives there may be written to it.
  const std::string kept = engine.database_in_file(path);
  if (!kept.empty()) {
    if (kept != engine.current_name()) {
      throw std::runtime_error("refusing to replace " + path + ": it holds the database " + kept);
    }
    engine.save();
    return;
  }
  const auto lock = GraphWriterLock::acquire(path);
  save_snapshot(db, path);
}

void restore(Engine& engine, const std::string& path) { install_prepared(engine, prepare_restore(path)); }

void entropy_optimize(Engine& engine) {
  // A new layout renumbers the graph: a new version, so that a reader
  // still reading the old one is not renumbered under its feet.
  Database db = engine.database();
  const LayoutStats before = compute_layout_stats(db.graph);
  optimize_layout(db);
  const LayoutStats after = compute_layout_stats(db.graph);
  engine.replace_folded(engine.effective_name(""), db);
  engine.record_change("entropy_optimize",
                       "jump " + stream_double(before.mean_edge_jump) + " -> " + stream_double(after.mean_edge_jump));
  engine.optimised();
}

ConsoleResult explore(const Engine& engine, std::uint64_t id, std::uint32_t hops, std::size_t limit) {
  const Database& db = engine.database();
  const PhysicalGraph& g = db.graph;
  ConsoleResult out;
  out.kind = "graph";
  const std::uint32_t start = db.node_of_id(id);
  if (start == kNoNode || limit == 0) return out;

  std::vector<bool> seen(g.node_count, false);
  const auto visit = [&](std::uint32_t node) {
    seen[node] = true;
    out.nodes.push_back(result_node(db, node));
  };
  visit(start);
  if (out.nodes.size() >= limit) return out;
  std::vector<std::uint32_t> level{start};
  for (std::uint32_t depth = 0; depth < hops && !level.empty(); ++depth) {
    std::vector<std::uint32_t> next;
    for (const std::uint32_t u : level) {
      const std::uint32_t position = g.to_physical[u];
      const NodeRun targets = g.out_neighbors(position);
      const RelRun rels = g.out_rel_ids(position);
      for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::uint32_t v = g.to_logical[targets[i]];
        if (!seen[v]) {
          visit(v);
          next.push_back(v);
        }
        out.rels.push_back(result_rel(db, rels[i]));
        if (out.nodes.size() >= limit) return out;
      }
    }
    level = std::move(next);
  }
  return out;
}

void add_remote_connection(Engine& engine, const RemoteEndpoint& endpoint) {
  // The "uri" member of the listing is the address a probe uses, written the
  // way every listing writes it.
  const std::string uri = nlohmann::json::parse(endpoint_json(endpoint)).at("uri").get<std::string>();
  engine.add_remote(endpoint);
  engine.record_change("remote", uri);
}

std::string console_lab_document(std::uint64_t people, std::uint64_t papers, std::int32_t level) {
  check_lab_size(people, papers);
  return lab_json(entropy_lab(people, papers, 42, level));
}

std::string console_ladder_document(std::uint64_t people, std::uint64_t papers) {
  check_lab_size(people, papers);
  return ladder_json(entropy_ladder(people, papers, 42));
}

}  // namespace orvane
