// Memory checks: sysconf's page count times the page size is the machine's
// RAM. Swap is not counted: work that only fits with swap runs for hours.
#include "graph/memory_budget.h"

#include <unistd.h>

#include <limits>
#include <stdexcept>

namespace orvane {

std::uint64_t physical_memory_bytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return saturating_product(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(page_size));
}

void check_fits_in_memory(std::uint64_t bytes, const std::string& what) {
  const std::uint64_t available = physical_memory_bytes();
  if (available == 0 || bytes <= available) return;
  constexpr std::uint64_t kMiB = 1 << 20;
  throw std::runtime_error("out of memory: " + what + " needs at least " + std::to_string(bytes / kMiB) +
                           " MiB, more than the " + std::to_string(available / kMiB) +
                           " MiB of memory this machine has");
}

std::uint64_t saturating_product(std::uint64_t count, std::uint64_t each) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (each != 0 && count > kMax / each) return kMax;
  return count * each;
}

}  // namespace orvane
