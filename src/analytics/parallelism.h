// The OpenMP team size of the analytics kernels.
//
// Every parallel section of the traversal kernels and of retrieval sets its
// team size explicitly instead of inheriting OMP_NUM_THREADS, so a command
// runs the same way whatever the environment says. Tests and benchmarks that
// compare one thread with several set an override here.
#pragma once

namespace orvane {

// The team size for the next parallel section: the override when one is
// set, otherwise the number of hardware threads (at least 1).
int kernel_threads();

// Sets the override; 0 (the default) returns to the hardware thread count.
// Not thread-safe: call it while no kernel runs.
void set_kernel_threads(int threads);

}  // namespace orvane
