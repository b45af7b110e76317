// Runs scenarios each in a forked copy of the runner, so that a scenario
// that crashes the engine, or runs a query that never ends, costs that one
// scenario and not the whole measurement. The child runs the scenario
// in-process against the engine, writes its verdict to a pipe and exits;
// the parent kills (by process id) any child still running at its deadline.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "tck/scenario_runner.h"

namespace orvane::tck {

struct IsolationLimits {
  int jobs = 1;                 // children running at once, at least 1
  double seconds = 10;          // wall time each child may take before it is killed
  std::size_t memory_mb = 4096; // address space of a child; 0 for no bound (sanitizer builds ignore it)
};

// The verdicts of task(0) … task(count−1), each computed in a child
// process, in index order. A child killed at its deadline fails with
// "timed out after N s", one ended by a signal with "crashed: signal N".
// `on_done` (may be empty) is called in the parent as each verdict arrives.
// Throws std::runtime_error when a pipe or a process cannot be created.
std::vector<Verdict> run_isolated(std::size_t count, const std::function<Verdict(std::size_t)>& task,
                                  const IsolationLimits& limits,
                                  const std::function<void(std::size_t, const Verdict&)>& on_done);

}  // namespace orvane::tck
