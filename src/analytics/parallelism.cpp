// Team size of the analytics parallel sections (see parallelism.h).
#include "analytics/parallelism.h"

#include <omp.h>

#include <algorithm>

namespace orvane {
namespace {

int g_override = 0;  // 0: use the hardware thread count

}  // namespace

int kernel_threads() {
  if (g_override > 0) return g_override;
  return std::max(1, omp_get_num_procs());
}

void set_kernel_threads(int threads) { g_override = threads > 0 ? threads : 0; }

}  // namespace orvane
