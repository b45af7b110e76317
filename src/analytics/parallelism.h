// The OpenMP team size of the analytics kernels.
//
// Every parallel section of the traversal kernels and of retrieval sets its
// team size explicitly from kernel_threads(). That follows OMP_NUM_THREADS
// when the user sets it, as OpenMP programs are expected to, and otherwise
// uses every hardware thread. Tests and benchmarks that compare one thread
// with several set an override here.
#pragma once

namespace orvane {

// The team size for the next parallel section: the override when one is
// set; else, when the environment variable OMP_NUM_THREADS is set and not
// empty (read at every call), the runtime's omp_get_max_threads(), which
// the variable sets at start-up; else the number of hardware threads. At
// least 1.
int kernel_threads();

// Sets the override; 0 (the default) returns to the rule above.
// Not thread-safe: call it while no kernel runs.
void set_kernel_threads(int threads);

}  // namespace orvane
