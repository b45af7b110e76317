// advise_huge_pages: transparent huge pages for the loader's big arrays.
//
// Many systems leave transparent huge pages to the program's request
// ("madvise" in /sys/kernel/mm/transparent_hugepage/enabled). Without the
// request a 180 MB embedding block takes some 45,000 page faults to come
// into being, each zeroing 4 KiB (and on a virtual machine each possibly a
// trip to the host); with it, under a hundred faults of 2 MiB. Loading a
// large snapshot measured the difference at more than half of the time spent
// merely allocating its arrays. The advice covers only whole 2 MiB pages
// inside the range, so memory outside the vector is never affected.
#include "storage/fresh_vector.h"

#include <sys/mman.h>

#include <cstdint>

namespace orvane {

void advise_huge_pages(void* data, std::size_t bytes) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (data == nullptr || last <= first) return;
  ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace orvane
