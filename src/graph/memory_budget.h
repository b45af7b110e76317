// Up-front memory checks for work whose size is known before it starts.
// A corpus of four billion persons or a sweep over a four-billion-wide
// matrix would otherwise run until the allocator gives up and surface as a
// bare "std::bad_alloc"; these checks refuse such a request at once and say
// how big it was and how much memory there is.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Physical memory of this machine in bytes (the pages the kernel reports);
// 0 when it cannot be told.
std::uint64_t physical_memory_bytes();

// Throws std::runtime_error "out of memory: WHAT needs at least N MiB, more
// than the M MiB of memory this machine has" when `bytes` exceeds the
// physical memory. Does nothing when the memory cannot be told. `bytes` is
// a lower bound of what the work allocates, so a refusal is never wrong.
void check_fits_in_memory(std::uint64_t bytes, const std::string& what);

// bytes = count × each, saturating at the largest value instead of
// wrapping, for sizes taken from the command line.
std::uint64_t saturating_product(std::uint64_t count, std::uint64_t each);

}  // namespace orvane
