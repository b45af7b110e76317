// Team size of the analytics parallel sections (see parallelism.h).
#include "analytics/parallelism.h"

#include <omp.h>

#include <algorithm>
#include <cstdlib>

namespace orvane {
namespace {

int g_override = 0;  // 0: follow OMP_NUM_THREADS or the hardware thread count

}  // namespace

int kernel_threads() {
  if (g_override > 0) return g_override;
  // The runtime has already parsed the variable (including forms such as
  // "4,2" for nested teams); its first level is what omp_get_max_threads()
  // answers outside a parallel region.
  const char* requested = std::getenv("OMP_NUM_THREADS");
  if (requested != nullptr && requested[0] != '\0') return std::max(1, omp_get_max_threads());
  return std::max(1, omp_get_num_procs());
}

void set_kernel_threads(int threads) { g_override = threads > 0 ? threads : 0; }

}  // namespace orvane
