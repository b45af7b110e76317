// The entropy lab and ladder: degrade a generated corpus's layout with the
// mess levels, time six traversal queries from identity 0, optimise, time
// them again, and report whether every count stayed the same together with
// the speed-up and the change in mean edge jump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout/layout_stats.h"

namespace orvane {

class Database;

struct LabQueryRow {
  std::string name;        // "hop3", "path2", "wedge", "triangle", "papers_followed", "mixed_authored"
  std::uint64_t count = 0; // the kernel's answer
  double time_ns = 0;      // mean nanoseconds per timed run
};

struct LabStep {
  LayoutStats stats;               // layout statistics of the step's graph
  std::vector<LabQueryRow> queries;  // the six rows of run_lab_queries
};

struct LabResult {
  std::int32_t mess_level = 0;
  std::uint64_t people = 0;  // requested
  std::uint64_t papers = 0;  // requested
  std::uint64_t nodes = 0;   // after the mess
  std::uint64_t edges = 0;   // compiled relationships after the mess
  LabStep before;
  LabStep after;
  bool counts_identical = true;
  double hop3_speedup = 1.0;       // before hop3 time / after hop3 time
  double layout_jump_ratio = 1.0;  // before mean_edge_jump / after mean_edge_jump
};

struct LadderResult {
  std::uint64_t people = 0;
  std::uint64_t papers = 0;
  std::uint64_t nodes = 0;  // of the final graph
  std::uint64_t edges = 0;  // of the final graph
  LabStep clean, mess1, mess2, mess3, optimized;
  bool counts_identical = true;
  double hop3_speedup_vs_mess3 = 1.0;
  double jump_ratio_vs_mess3 = 1.0;
};

// The six lab queries from identity `hub` over FOLLOWS and AUTHORED, in
// the order hop3, path2, wedge, triangle, papers_followed, mixed_authored.
// Each runs twice untimed, then `iterations` times on the monotonic clock
// (time = elapsed / max(iterations, 1)), then once more for its count. A hub
// that is not a node (kNoNode, or any graph without nodes) counts 0
// everywhere. Throws std::logic_error "query requires compiled physical
// graph" for an uncompiled graph.
std::vector<LabQueryRow> run_lab_queries(const Database& db, int iterations, std::uint32_t hub = 0);

// Generates the corpus, applies mess `level` (seed + 17), measures, runs
// the entropy worker and measures again (6 timed runs per query). The hub
// is identity 0 of the generated corpus; an empty corpus has no hub, so
// the junk nodes of mess level 3 never become one and every count is 0.
// Throws what generate_corpus throws.
LabResult entropy_lab(std::uint64_t people, std::uint64_t papers, std::uint32_t seed, std::int32_t level);

// clean → scatter (mess1) → mess 2 → mess 3 → optimised, measuring every
// step with 4 timed runs per query.
LadderResult entropy_ladder(std::uint64_t people, std::uint64_t papers, std::uint32_t seed);

// JSON texts in a fixed member order; doubles in default stream format.
std::string lab_json(const LabResult& result);
std::string ladder_json(const LadderResult& result);

}  // namespace orvane
