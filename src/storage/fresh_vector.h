// Large vectors the loader fills at once, backed by huge pages where the
// system offers them on request.
#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with transparent huge pages (madvise MADV_HUGEPAGE). Advice only: does
// nothing for a small range and ignores a refusal.
void advise_huge_pages(void* data, std::size_t bytes);

// A vector of `count` value-initialised elements whose memory was advised
// before its first touch, so that a block of hundreds of megabytes faults
// in 2 MiB at a time rather than 4 KiB at a time. Same contents as
// std::vector<T>(count).
template <typename T>
std::vector<T> fresh_vector(std::size_t count) {
  std::vector<T> v;
  v.reserve(count);
  advise_huge_pages(v.data(), count * sizeof(T));
  v.resize(count);
  return v;
}

}  // namespace orvane
