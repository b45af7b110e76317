// The bound one execution of a statement runs under: how many steps it may
// take, how long it may run and how many bytes its operators may keep.
//
// A plain value, so that the console's settings and a request's options
// can hold one without the execution machinery (exec_context.h) that
// enforces it.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvane {

// The defaults are the engine's long-standing ones; a console setting or a
// request may raise or lower them (console/query_bounds.h).
struct WorkBound {
  std::uint64_t steps = 10'000'000;  // candidate rows operators consider, and list elements functions build
  std::chrono::milliseconds time{5000};  // wall-clock time from the start of execution
  std::uint64_t memory_bytes = std::uint64_t{1} << 30;  // what sort, aggregation, DISTINCT and path searches keep
  friend bool operator==(const WorkBound&, const WorkBound&) = default;
};

}  // namespace orvane
